// ScanCapture: every rule about which keys of the input stream make a scan.
// A CueCat types F10 (under Alt), a scrambled record that starts with a full
// stop (with Shift for its capitals), and Enter; everything else is a
// person's and passes on. None of a scan's keys reach applications: not its
// key-downs, not their key-ups, not the modifier keys the scanner holds.
//
// The class has no threads, reads no clock and calls no add-on: each input
// comes with the time it needs, and each step says what became of it (the
// verdict, the messages that go on in its place, the records to hand off,
// the timer requests and the lines to log). CueCatFilter runs it on the
// input server's thread and does what the steps say.
//
// Whether the keys after an F10 are a scan's is decided on their "when"
// stamps, never on when they arrived: a full stop stamped within
// FIRST_CHAR_TIME of the F10 starts a record however late it comes, a key
// stamped later is a person's. A keyboard's F10 that no later key has
// decided yet is decided by the timer's tick; recorded input says itself
// when it goes quiet. Each input source (see StriaProtocol.h) has captures
// of its own; keys a device add-on typed take no part.
//
// A modifier press is held back for MODIFIER_TIME, since the scanner's Alt
// comes before its F10: an F10 under it takes it into the capture, any
// other key passes it on first, and so does the tick or a later stamp once
// the time is up. Let go of alone within SHORTEST_TAP it was a machine's
// (the Shift of a capital whose key the kernel dropped) and goes nowhere.
// A key whose key-down was held back or swallowed has its key-up held back
// or swallowed with it, so applications never see a key go up that never
// went down.
//
// When the kernel dropped keys of a source (STRIA_INPUT_DROPPED), a scan it
// cut into is dropped whole, and the keys that follow at a scanner's pace
// (each within TAIL_GAP of the one before, by stamps) up to the next Enter
// are taken for the rest of a scan whose F10 may have been lost: they go
// nowhere either.
#ifndef SCAN_CAPTURE_H
#define SCAN_CAPTURE_H

#include <InputServerFilter.h>
#include <Message.h>
#include <SupportDefs.h>

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class ScanCapture {
public:
	// F10: its key-down opens a capture.
	static const int32 CAT_CALL_KEY = 11;
	// Enter of the main block: its key-up closes a capture.
	static const int32 CAT_TERM_KEY = 71;
	// Longest time from a capture's F10 key-down to any key of the capture.
	static const bigtime_t SCAN_TIME = 500000;
	// Longest time from a capture's F10 key-down to its first character, by
	// their stamps; also how long after the F10's stamp (or its arrival,
	// when that is later) the tick for a keyboard's F10 is due.
	static const bigtime_t FIRST_CHAR_TIME = 10000;
	// A rebuilt F10 key-down put in front of a key is stamped this much
	// earlier than the key, and so is what was held back behind the F10.
	static const bigtime_t REPLAY_OFFSET = 100;
	// Longest time a modifier press is held back waiting to see whether an
	// F10 comes under it, by stamps; for a keyboard also by the tick.
	static const bigtime_t MODIFIER_TIME = 50000;
	// A modifier pressed and let go of alone at least this long is a
	// person's tap and goes on; a shorter one is not passed on.
	static const bigtime_t SHORTEST_TAP = 10000;
	// Longest gap between two keys of a scanner, by stamps, after keys
	// were lost.
	static const bigtime_t TAIL_GAP = 10000;

	// Arms the tick of a capture (due set), or disarms it (due empty).
	struct TimerRequest {
		int64 capture;
		std::optional<bigtime_t> due;

		bool operator==(const TimerRequest&) const = default;
	};

	// What became of one input.
	struct Step {
		// B_SKIP_MESSAGE: the input goes no further, and passOn is empty.
		filter_result verdict = B_DISPATCH_MESSAGE;
		// With B_DISPATCH_MESSAGE: when empty the input itself goes on;
		// otherwise these go on in its place, in order.
		std::vector<std::unique_ptr<BMessage>> passOn;
		// Complete records (without their Enter), oldest first.
		std::vector<std::string> records;
		std::vector<TimerRequest> timer;
		// Lines for the log, without a prefix.
		std::vector<std::string> notices;
	};

	// firstToken: the number the first capture's tick is named after
	// (counting up from there); the filter starts at a random one, so that a
	// tick made up elsewhere cannot pass for its own.
	explicit ScanCapture(int64 firstToken = 1);

	ScanCapture(const ScanCapture&) = delete;
	ScanCapture& operator=(const ScanCapture&) = delete;

	// A message of the input stream: keys, modifier changes and whatever
	// else passes the filter. now: the clock every keyboard stamp is on
	// (system_time in the input server), which times a keyboard's F10.
	Step Message(const BMessage& message, bigtime_t now);
	// The timer's tick for capture: nothing came within the first-character
	// limit of its F10, or within MODIFIER_TIME of its modifier press.
	Step Tick(int64 capture);
	// An application asked for a replay: the first F10 ever seen goes on,
	// stamped realTime.
	Step Replay(bigtime_t realTime);

	// True while no capture is open, no key-up is due to be swallowed and
	// no source holds a modifier applications were not shown: then only a
	// key-down or a modifier change can change anything.
	bool IsIdle() const { return fCaptures.empty() && fSwallowed.empty() && !HidesModifiers(); }

private:
	enum State {
		// A modifier press is held back; no F10 has come under it yet.
		HOLDING,
		// The F10 is held back; nothing has decided yet.
		WAITING,
		// The F10 went on (a person's key or the tick revealed it); a full
		// stop stamped within FIRST_CHAR_TIME still starts a record.
		REVEALED,
		// The record is being collected.
		COLLECTING,
		// Keys were lost: what follows at a scanner's pace up to an Enter
		// goes nowhere.
		TAIL
	};

	// One open capture: the keys of one source after one F10 key-down, or
	// the modifier changes held back in case an F10 comes.
	struct Capture {
		int32 source;
		int64 token;
		State state;
		// HOLDING: the stamp of the modifier press; otherwise that of the
		// F10 key-down that opened the capture.
		bigtime_t whenOpened;
		// HOLDING: the modifiers held before the press.
		uint32 base = 0;
		// What is held back, in order; from catCallAt on, the F10 key-down
		// and what came behind it.
		std::vector<std::unique_ptr<BMessage>> held;
		size_t catCallAt = 0;
		// Keys whose key-down is held back and whose key-up has not come.
		std::vector<int32> heldKeys;
		// The record so far.
		std::string record;
		// The capture grew past the longest record Stria takes.
		bool tooLong = false;
		// TAIL: the stamp of the last key taken, how many key-downs were
		// taken, and whether the Enter's key-down was one.
		bigtime_t lastKey = 0;
		size_t tailKeys = 0;
		bool tailEnter = false;
		// TAIL: the scan the keys were lost from was logged already.
		bool told = false;
		// Its tick is armed.
		bool armed = false;
	};

	// A key of a source whose key-down went nowhere: its key-up goes
	// nowhere either.
	struct SourceKey {
		int32 source;
		int32 key;

		auto operator<=>(const SourceKey&) const = default;
	};

	void Dispatch(const BMessage& message, int32 source, bool recorded, int32 key, bigtime_t when,
	              bigtime_t now, Step& step);
	void CatCall(const BMessage& message, int32 source, bool recorded, bigtime_t when,
	             bigtime_t now, Step& step);
	void KeyDown(const BMessage& message, Capture& capture, bigtime_t when, Step& step);
	void KeyUp(Capture& capture, int32 key, Step& step);
	// Modifier changes and keys without a character of a capture's source.
	void ModifierKey(const BMessage& message, Capture& capture, int32 key, Step& step);
	void Holding(const BMessage& message, Capture& capture, int32 key, bigtime_t when, Step& step);
	void InputEnded(const BMessage& message, Step& step);
	void InputDropped(const BMessage& message, Step& step);
	// A TAIL capture's message: swallowed, but for what undoes keys
	// applications were shown going down.
	void Tail(const BMessage& message, Capture& capture, int32 key, bigtime_t when, Step& step);
	// The part of a modifier change that lets go of modifiers applications
	// were shown pressed, if any.
	std::unique_ptr<BMessage> ShownReleased(const BMessage& message, int32 source);
	// Opens a HOLDING capture when message presses a modifier.
	void MaybeHold(const BMessage& message, int32 source, bool recorded, bigtime_t when,
	               bigtime_t now, Step& step);
	// A message of the capture's source stamped when is past its time:
	// MODIFIER_TIME held, FIRST_CHAR_TIME without a first character, or
	// SCAN_TIME for the whole scan.
	bool TimeIsUp(const Capture& capture, bigtime_t when) const;
	// Closes a capture whose time is up, sending on what it held back.
	void Expire(Capture& capture, Step& step);
	void HandOff(const Capture& capture, Step& step);

	void Hold(Capture& capture, const BMessage& message, int32 key);
	// What the capture held back goes on, in order; restamped from the F10
	// on when given a stamp.
	void Release(Capture& capture, Step& step, std::optional<bigtime_t> restamp = std::nullopt);
	// What the capture held back goes nowhere, nor do the key-ups to come;
	// but for what undoes keys applications were shown going down.
	void Drop(Capture& capture, Step& step);
	// Final touches on a step: its verdict, the modifiers shown, and keys
	// that go on without the modifiers applications were not shown.
	void Settle(const BMessage& input, Step& step);
	bool HidesModifiers() const;
	// A key-down that goes nowhere: its key-up goes nowhere either.
	void Swallow(const BMessage& keyDown, int32 source);
	bool Swallowed(int32 source, int32 key);

	Capture* CaptureOf(int32 source);
	void Disarm(Capture& capture, Step& step);
	void Close(Capture& capture, Step& step);
	// Closes a capture that has part of a record but never got its Enter
	// (the scanner unplugged or stopped mid-scan), saying so once.
	void DropCut(Capture& capture, Step& step);

	// The open captures, at most one per source.
	std::vector<Capture> fCaptures;
	// Keys whose key-down went nowhere and whose key-up is still to come.
	std::set<SourceKey> fSwallowed;
	// Each source's modifiers, as its last modifier change gave them, and
	// the held ones applications were last shown.
	std::map<int32, uint32> fModifiers;
	std::map<int32, uint32> fShown;
	int64 fLastToken;
	// The first F10 key-down ever seen, for applications' replays.
	std::unique_ptr<BMessage> fFirstCatCall;
};

#endif // SCAN_CAPTURE_H
