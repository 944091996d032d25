// CueCatFilter: the input-server filter that tells the keys a CueCat types
// for a scan (F10, a scrambled record, Enter) from a person's keys. It
// swallows a scan's keys, hands the record to its processor thread, which
// decodes and repairs it, sends it to every subscriber and lists it in the
// viewer window; every key a person types passes on.
#ifndef CUECAT_FILTER_H
#define CUECAT_FILTER_H

#include <InputServerFilter.h>
#include <Locker.h>
#include <OS.h>

#include <deque>

class BList;
class BMessage;
class BString;
class StriaWindow;

class CueCatFilter : public BInputServerFilter {
public:
	// F10: its key-down opens a capture.
	static const int32 CAT_CALL_KEY = 11;
	// Enter of the main block: its key-up closes a capture.
	static const int32 CAT_TERM_KEY = 71;
	// Longest time from a capture's F10 key-down to any key of the capture.
	static const bigtime_t SCAN_TIME = 500000;
	// How long the timer thread waits for a capture's first character.
	static const bigtime_t FIRST_CHAR_TIME = 10000;
	// A rebuilt F10 key-down put in front of a key is stamped this much
	// earlier than the key.
	static const bigtime_t REPLAY_OFFSET = 100;
	// Thread-data code of a record handed to the processor thread; 0 stops
	// either thread.
	static const int32 SEND_CODE = 1;

	CueCatFilter();
	// firstCharTime: the timer's wait for a capture's first character.
	explicit CueCatFilter(bigtime_t firstCharTime);
	// Stops both threads (every record already handed off is processed
	// first), closes the viewer window, tells each subscriber
	// STRIA_SHUTDOWN, then frees the rest.
	~CueCatFilter() override;

	// B_OK once the semaphore and both threads exist.
	status_t InitCheck() override;
	filter_result Filter(BMessage* message, BList* outList) override;

	// Record -> decoded code, and the UPC-E repair; new strings the caller
	// owns.
	static BString* decode(const BString* record);
	static BString* fixCode(const BString* code);

	// Guards what the filter's threads share: the subscriber list, the timer's
	// tick requests and the window pointer. Held only to read or change
	// them, never while sending.
	BLocker* SharedLock() { return &sharedLock; }

protected:
	// What becomes of one repaired code, on the processor thread: the sends
	// to every subscriber, then the row on top of the viewer window (made
	// and shown when there is none). Takes ownership of code.
	virtual void process(BString* code);

	// Ends both threads; what was handed off before is processed first.
	// Idempotent; a subclass that overrides process calls it in its own
	// destructor, so that no thread runs into a half-destroyed object.
	void stopThreads();

private:
	void initCode(bigtime_t when);
	void abortCode();
	// Drops a capture that has part of a record but never got its Enter
	// (the scanner unplugged or stopped mid-scan), saying so once.
	void dropCutCode();
	// Whether message comes from the keyboard whose F10 opened the capture.
	bool fromCatCallKeyboard(const BMessage* message) const;
	bool insideCode(bigtime_t when);

	filter_result catCall(BMessage* message, bigtime_t when);
	filter_result keyDown(BMessage* message, bigtime_t when, BList* outList);
	filter_result keyUp(int32 key, bigtime_t when);
	filter_result replayTick(BList* outList);
	void subscribe(BMessage* message);
	// A new key-down rebuilt from the first F10 key-down ever seen.
	BMessage* rebuildCatCall(bigtime_t when) const;

	static status_t timer(void* filter);
	static status_t processor(void* filter);
	void timeFirstChar(bigtime_t captureWhen);
	void processRecord(const char* record);

	// The viewer's window; guarded by sharedLock.
	StriaWindow* win;
	// The capture buffer, present exactly while a capture is open.
	BString* barcode;
	// The "when" of the F10 key-down that opened the capture; 0 when none.
	bigtime_t whenCatCall;
	// STRIA_KEYBOARD_FIELD of that F10 (-1 without); only that keyboard's
	// keys belong to the capture.
	int32 catCallKeyboard;
	// "F10 Received": taken by an F10 key-down, given back by the capture's
	// first character or by the timer when that character is late.
	sem_id firstCharSem;
	// Flattened copy of the first F10 key-down ever seen.
	char* f10message;
	ssize_t f10messageSize;
	// StriaSubscriber objects, in arrival order; guarded by sharedLock.
	BList* subscribers;
	thread_id processor_tid;
	thread_id timer_tid;

	// The open capture's own F10 key-down, and whether it has reached
	// applications (at most once per capture).
	BMessage* catCallMessage;
	bool catCallDelivered;
	// The open capture grew past the longest record Stria takes.
	bool recordTooLong;

	bigtime_t firstCharTime;
	// Captures (by their whenCatCall) whose first character was late and
	// for which the timer asked the device for a replay tick, oldest first;
	// guarded by sharedLock.
	std::deque<bigtime_t> tickRequests;
	BLocker sharedLock;
	bool threadsStopped;
};

#endif // CUECAT_FILTER_H
