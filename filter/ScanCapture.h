// ScanCapture: every rule about which keys of the input stream make a scan.
// A CueCat types F10, a scrambled record that starts with a full stop, and
// Enter; everything else is a person's and passes on.
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
#ifndef SCAN_CAPTURE_H
#define SCAN_CAPTURE_H

#include <InputServerFilter.h>
#include <Message.h>
#include <SupportDefs.h>

#include <memory>
#include <optional>
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
	// earlier than the key.
	static const bigtime_t REPLAY_OFFSET = 100;

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
	// limit of its F10.
	Step Tick(int64 capture);
	// An application asked for a replay: the first F10 ever seen goes on,
	// stamped realTime.
	Step Replay(bigtime_t realTime);

	// True while no capture is open: only a key-down can change that.
	bool IsIdle() const { return fCaptures.empty(); }

private:
	enum State {
		// The F10 is held back; nothing has decided yet.
		WAITING,
		// The F10 went on (a person's key or the tick revealed it); a full
		// stop stamped within FIRST_CHAR_TIME still starts a record.
		REVEALED,
		// The record is being collected.
		COLLECTING
	};

	// One open capture: the keys of one source after one F10 key-down.
	struct Capture {
		int32 source;
		int64 token;
		State state;
		// The stamp of the F10 key-down that opened the capture.
		bigtime_t whenCatCall;
		// That F10 key-down itself.
		std::unique_ptr<BMessage> catCall;
		// The record so far.
		std::string record;
		// The capture grew past the longest record Stria takes.
		bool tooLong;
		// Its tick is armed.
		bool armed;
	};

	void CatCall(const BMessage& message, int32 source, bool recorded, bigtime_t when,
	             bigtime_t now, Step& step);
	void KeyDown(const BMessage& message, Capture& capture, bigtime_t when, Step& step);
	void KeyUp(const BMessage& message, Capture& capture, int32 key, bigtime_t when, Step& step);
	void InputEnded(const BMessage& message, Step& step);
	// Any message of the capture's source stamped past FIRST_CHAR_TIME
	// decides a capture still without a character; true then.
	bool DecidedByStamp(const BMessage& message, Capture& capture, bigtime_t when, Step& step);
	// False, with the capture dropped, when when lies past SCAN_TIME.
	bool InsideScan(Capture& capture, bigtime_t when, Step& step);
	void HandOff(const Capture& capture, Step& step);

	Capture* CaptureOf(int32 source);
	void Disarm(Capture& capture, Step& step);
	void Close(Capture& capture, Step& step);
	// Closes a capture that has part of a record but never got its Enter
	// (the scanner unplugged or stopped mid-scan), saying so once.
	void DropCut(Capture& capture, Step& step);

	// The open captures, at most one per source.
	std::vector<Capture> fCaptures;
	int64 fLastToken;
	// The first F10 key-down ever seen, for applications' replays.
	std::unique_ptr<BMessage> fFirstCatCall;
};

#endif // SCAN_CAPTURE_H
