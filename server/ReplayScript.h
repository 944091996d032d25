// Replay scripts: text that describes keyboard input, one event a line.
//
//	<when> down <key> <byte> [<modifiers>]   a key goes down
//	<when> up <key> [<modifiers>]            a key comes up
//	<when> modifiers <modifiers>             the modifiers change
//	<when> control <code> [empty|subscribe]  a Control call on the scanner's device
//	<when> scan <record>                     what the scanner types for one record
//	<when> type <text>                       what a person types for text
//
// Times are microseconds and never go back; numbers are decimal or 0x hex;
// a byte may also be a character in single quotes. Blank lines and lines
// starting with '#' are skipped. Lines and scripts are bounded (below).
#ifndef STRIA_REPLAY_SCRIPT_H
#define STRIA_REPLAY_SCRIPT_H

#include <SupportDefs.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace stria {

struct ReplayEvent {
	enum class Kind { KeyDown, KeyUp, Modifiers, Control };
	// What a control event hands to Control: nothing, an empty message, or
	// one holding the messenger of the server's own subscriber.
	enum class ControlMessage { None, Empty, Subscribe };

	Kind kind = Kind::KeyDown;
	int line = 0; // where the event comes from, for messages
	bigtime_t when = 0;
	int32 key = 0;
	std::optional<uint8> byte; // key-downs always have one
	uint32 modifiers = 0;
	uint32 oldModifiers = 0; // Modifiers: the value before this change
	uint32 code = 0;         // Control
	ControlMessage controlMessage = ControlMessage::None;

	bool operator==(const ReplayEvent&) const = default;
};

struct ReplayScriptError {
	int line = 0;
	std::string message;
};

struct ReplayScript {
	std::vector<ReplayEvent> events;
	std::optional<ReplayScriptError> error; // set: the script is refused as a whole
};

// Timing of scan and type lines, in microseconds.
inline constexpr bigtime_t kReplayKeyUpDelay = 1000;    // a key's key-up after its key-down
inline constexpr bigtime_t kReplayCharacterStep = 2000; // one character's key-down to the next

// Limits that keep a wrong or hostile script from filling memory: the
// bytes of one line, the bytes of a whole script (its reader checks that),
// and the key events a script may describe (a scan or type line makes two
// for each character).
inline constexpr size_t kMaxReplayLineBytes = 64 * 1024;
inline constexpr size_t kMaxReplayScriptBytes = 16 * 1024 * 1024;
inline constexpr size_t kMaxReplayEvents = 1024 * 1024;

// Key codes and bytes a scan line uses.
inline constexpr int32 kReplayScanStartKey = 0x0b; // F10
inline constexpr int32 kReplayScanEndKey = 0x47;   // Enter

ReplayScript ParseReplayScript(std::string_view text);

} // namespace stria

#endif // STRIA_REPLAY_SCRIPT_H
