// CueCatFilter: the input-server filter that tells the keys a CueCat types
// for a scan (F10, a scrambled record, Enter) from a person's keys. It
// swallows a scan's keys, hands the record to its processor thread, which
// decodes and repairs it, sends it to every subscriber and lists it in the
// viewer window; every key a person types passes on.
//
// Whether the keys after an F10 are a scan's is decided on their "when"
// stamps, never on when a thread got to them: a full stop stamped within
// FIRST_CHAR_TIME of the F10 starts a record however late it arrives, a key
// stamped later is a person's. The timer only delivers a keyboard's F10
// that no later key has decided yet; recorded input says itself when it
// goes quiet. Each input source (see StriaProtocol.h) has captures of its
// own; keys a device add-on typed take no part.
#ifndef CUECAT_FILTER_H
#define CUECAT_FILTER_H

#include "CaptureTimer.h"
#include "HandOffQueue.h"
#include "SubscriberList.h"

#include <InputServerFilter.h>
#include <Locker.h>
#include <OS.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class BList;
class BMessage;
class BString;
class StriaClock;
class StriaCode;
class StriaWindow;

class CueCatFilter : public BInputServerFilter {
public:
	// F10: its key-down opens a capture.
	static const int32 CAT_CALL_KEY = 11;
	// Enter of the main block: its key-up closes a capture.
	static const int32 CAT_TERM_KEY = 71;
	// Longest time from a capture's F10 key-down to any key of the capture.
	static const bigtime_t SCAN_TIME = 500000;
	// Longest time from a capture's F10 key-down to its first character, by
	// their stamps; also how long after the F10's stamp (or its arrival,
	// when that is later) the timer delivers a keyboard's F10 that nothing
	// has decided.
	static const bigtime_t FIRST_CHAR_TIME = 10000;
	// A rebuilt F10 key-down put in front of a key is stamped this much
	// earlier than the key.
	static const bigtime_t REPLAY_OFFSET = 100;
	// Records that may wait for the processor thread; beyond that a record
	// is dropped with a log line, so that the input thread never waits.
	static const int32 RECORD_QUEUE_SIZE = 64;
	// Rows that may wait for a viewer window that does not answer.
	static const int32 ROW_QUEUE_SIZE = 1000;
	// How long the destructor gives the viewer window for its last rows
	// and to close.
	static const bigtime_t WINDOW_CLOSE_TIME = 5000000;

	CueCatFilter();
	// clock: what the timer goes by (by default the input server's clock,
	// system_time()); must outlive the filter. windowCloseTime: see
	// WINDOW_CLOSE_TIME.
	explicit CueCatFilter(StriaClock* clock, bigtime_t windowCloseTime = WINDOW_CLOSE_TIME);
	// Stops the threads (every record already handed off is processed
	// first), closes the viewer window, tells each subscriber
	// STRIA_SHUTDOWN, then frees the rest.
	~CueCatFilter() override;

	// B_OK once the threads run.
	status_t InitCheck() override;
	filter_result Filter(BMessage* message, BList* outList) override;

	// Record -> decoded code, and the UPC-E repair; new strings the caller
	// owns.
	static BString* decode(const BString* record);
	static BString* fixCode(const BString* code);

	// Guards the window pointer, which the filter's threads share. Held
	// only to read or change it, never while sending.
	BLocker* SharedLock() { return &sharedLock; }

protected:
	// What becomes of one repaired code, on the processor thread: the sends
	// to every subscriber, then the row on top of the viewer window (made
	// and shown when there is none, by a thread of its own). Takes
	// ownership of code.
	virtual void process(BString* code);

	// Ends the threads; what was handed off before is processed first.
	// Idempotent; a subclass that overrides process calls it in its own
	// destructor, so that no thread runs into a half-destroyed object.
	void stopThreads();

private:
	enum capture_state {
		// The F10 is held back; nothing has decided yet.
		CAPTURE_WAITING,
		// The F10 went on (a person's key or the timer revealed it); a full
		// stop stamped within FIRST_CHAR_TIME still starts a record.
		CAPTURE_REVEALED,
		// The record is being collected.
		CAPTURE_COLLECTING
	};

	// One open capture: the keys of one source after one F10 key-down.
	struct Capture {
		int32 source;
		// Names the capture in the timer's tick.
		int64 token;
		capture_state state;
		// The "when" of the F10 key-down that opened the capture.
		bigtime_t whenCatCall;
		// That F10 key-down itself.
		std::unique_ptr<BMessage> catCallMessage;
		// The capture buffer.
		std::unique_ptr<BString> barcode;
		// The capture grew past the longest record Stria takes.
		bool recordTooLong;
	};

	Capture& initCode(int32 source, bool recorded, BMessage* catCall, bigtime_t when);
	void abortCode(const Capture& capture);
	// Drops a capture that has part of a record but never got its Enter
	// (the scanner unplugged or stopped mid-scan), saying so once.
	void dropCutCode(const Capture& capture);
	bool insideCode(const Capture& capture, bigtime_t when);
	Capture* captureOf(int32 source);

	filter_result catCall(BMessage* message, int32 source, bool recorded, bigtime_t when,
	                      BList* outList);
	filter_result keyDown(BMessage* message, Capture& capture, bigtime_t when, BList* outList);
	filter_result keyUp(BMessage* message, Capture& capture, int32 key, bigtime_t when,
	                    BList* outList);
	// Any message of the capture's source stamped past FIRST_CHAR_TIME
	// decides a capture still without a character; true then, with the
	// verdict set.
	bool decidedByStamp(BMessage* message, Capture& capture, bigtime_t when, BList* outList,
	                    filter_result* verdict);
	filter_result replayTick(BMessage* message, BList* outList);
	filter_result inputEnded(BMessage* message, BList* outList);
	void handOff(Capture& capture);
	// Logs how many records the current run of drops lost after its first.
	void endRecordDrops();
	void subscribe(BMessage* message);
	// A new key-down rebuilt from the first F10 key-down ever seen.
	BMessage* rebuildCatCall(bigtime_t when) const;

	void requestTick(int64 capture);
	static status_t processor(void* filter);
	static status_t viewer(void* filter);
	void processRecord(const char* record);
	void showRow(StriaCode* item);

	// The viewer's window; guarded by sharedLock.
	StriaWindow* win;
	// Flattened copy of the first F10 key-down ever seen, for the replay
	// ticks of applications.
	char* f10message;
	ssize_t f10messageSize;
	// The subscribers and their delivery threads; on the system clock
	// whatever clock the timer goes by.
	SubscriberList subscribers;
	thread_id processor_tid;
	thread_id viewer_tid;

	// The open captures, at most one per source; only Filter's thread
	// touches them.
	std::vector<Capture> captures;
	int64 lastToken;

	StriaClock* clock;
	CaptureTimer timer;
	// Records from Filter's thread to the processor thread.
	HandOffQueue<std::string> records;
	// Rows from the processor thread to the viewer thread.
	HandOffQueue<std::unique_ptr<StriaCode>> rows;
	bigtime_t windowCloseTime;
	// When (system_time) the viewer thread must be done once stopping;
	// B_INFINITE_TIMEOUT before.
	std::atomic<bigtime_t> viewerDeadline;
	BLocker sharedLock;
	bool threadsStopped;
	// Records dropped in the current run (only Filter's thread).
	int64 recordsDropped;
};

#endif // CUECAT_FILTER_H
