// Types the keyboard messages that reach applications as Linux key events:
// Be key codes back to Linux key codes, modifier changes as the modifier
// keys' own events, every event followed by SYN_REPORT.
//
// It never types the release of a key it has not pressed (the key-ups of a
// scan's characters pass the filter while their key-downs do not), and
// holds back a modifier press for a moment: when the keys pressed under the
// modifier turn out to have been taken by a filter (their key-ups come
// without key-downs), the modifier is not typed at all, so that the Alt and
// Shift of a scan never reach the desktop (where a lone Alt would open a
// menu). A modifier that is still held when the moment has passed, or a
// key typed under it, types it; one let go of as its keyboard goes away is
// not typed at all. The moment passes by the messages' own stamps: a later
// message of the same keyboard stamped past it; for live keyboards also by
// the steady clock, when no such message comes. Recorded input is never
// decided by the steady clock, so a loaded machine that delivers a
// recording slowly types the same keys as one that delivers it fast.
//
// Keys a device add-on types (a scan typed as text) carry their own
// modifiers: the modifier keys other keyboards hold are let go of around
// each such key and pressed again after it, so that a person's held Shift
// does not turn a typed digit into a symbol.
#ifndef STRIA_VIRTUAL_KEYBOARD_H
#define STRIA_VIRTUAL_KEYBOARD_H

#include "EventRecord.h"

#include <SupportDefs.h>

#include <bitset>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <vector>

class BMessage;

namespace stria {

// Where the typed records go.
class EventWriter {
public:
	virtual ~EventWriter() = default;
	// One key event and its SYN_REPORT, or several; false on failure.
	virtual bool Write(std::span<const EventRecord> records) = 0;
};

class VirtualKeyboard {
public:
	struct Options {
		// How long a modifier press is held back (steady clock).
		bigtime_t modifierDelay = 50000;
		// A modifier pressed and let go of alone is typed as a tap when it
		// was down at least this long ("when"): a person's tap, not the
		// Shift a scanner holds for a capital whose key was cut off.
		bigtime_t shortestTap = 10000;
		// A key-down this close (in "when") to a key-up of the same key that
		// came without key-down is typed as a press and release: the filter
		// put back a key-down whose key-up has already passed.
		bigtime_t lateKeyDownWindow = 500000;
	};

	VirtualKeyboard(EventWriter& writer, const Options& options);

	// Types one message; now is the steady clock in microseconds.
	void Deliver(const BMessage& message, bigtime_t now);

	// Types the held-back modifiers whose moment has passed.
	void Tick(bigtime_t now);
	// When Tick has something to do next, if ever.
	std::optional<bigtime_t> NextDeadline() const;

	// Releases every key still pressed and forgets held-back modifiers.
	void ReleaseAll();

	bool IsPressed(int linuxCode) const;
	// False once a write has failed; nothing more is written then.
	bool Healthy() const { return fHealthy; }

private:
	struct Pending {
		uint16 code;
		int32 keyboard;
		bigtime_t when;
		// Steady-clock moment to type it; none for recorded input.
		std::optional<bigtime_t> deadline;
		bool spoiled;
	};

	// keyboard: the message's STRIA_SOURCE_FIELD, -1 without.
	void KeyDown(int32 keyboard, int32 key, bigtime_t when);
	void KeyUp(int32 keyboard, int32 key, bigtime_t when);
	void SyncModifiers(int32 keyboard, uint32 modifiers, bigtime_t when,
	                   std::optional<bigtime_t> deadline);
	// Types keyboard's held-back modifiers whose moment had passed by when.
	void TypeOverdue(int32 keyboard, bigtime_t when);
	void ToggleLocks(uint32 changed, bigtime_t when);
	// Types the modifiers keyboard holds back, for a key it types.
	void FlushPending(int32 keyboard);
	// Types the held-back modifiers that due picks, each at its own time.
	void TypePendingIf(const std::function<bool(const Pending&)>& due);
	// keyboard's held-back modifiers are not to be typed alone.
	void Spoil(int32 keyboard);
	bool HeldByAnother(uint16 code, int32 keyboard) const;
	bool IsPending(uint16 code) const;
	// Around a key an add-on types: lets go of the modifier keys only other
	// keyboards hold, and presses them again.
	void SetAsideOthersModifiers(int32 keyboard, bigtime_t when);
	void RestoreSetAside(bigtime_t when);

	void Press(uint16 code, bigtime_t when);
	void Release(uint16 code, bigtime_t when);
	void Repeat(uint16 code, bigtime_t when);
	void Emit(uint16 code, int32 value, bigtime_t when);

	EventWriter& fWriter;
	Options fOptions;
	std::bitset<1024> fPressed;
	std::vector<Pending> fPending;
	std::map<uint16, bigtime_t> fOrphanKeyUps;
	// Each keyboard's modifier bits, and the modifier keys they hold.
	std::map<int32, std::optional<uint32>> fModifiers;
	std::map<int32, std::vector<uint16>> fHeld;
	std::vector<uint16> fSetAside;
	bigtime_t fLastWhen = 0;
	bool fHealthy = true;
};

} // namespace stria

#endif // STRIA_VIRTUAL_KEYBOARD_H
