// CueCatFilter: the input-server filter add-on around ScanCapture, which
// tells the keys a CueCat types for a scan from a person's. The filter runs
// the capture on the input server's thread and does what each of its steps
// says: passes messages on, arms the timer whose tick comes back through
// the input stream, and hands each record to its processor thread, which
// decodes and checks it, sends each whole, right scan to every subscriber
// and has the viewer thread list it in the window.
#ifndef CUECAT_FILTER_H
#define CUECAT_FILTER_H

#include "CaptureTimer.h"
#include "HandOffQueue.h"
#include "ScanCapture.h"
#include "SubscriberList.h"

#include <DropCounter.h>
#include <scan_check.h>

#include <InputServerFilter.h>
#include <Messenger.h>
#include <OS.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

class BList;
class BMessage;
class StriaClock;
class StriaCode;

class CueCatFilter : public BInputServerFilter {
public:
	// Records that may wait for the processor thread; beyond that a record
	// is dropped with a log line, so that the input thread never waits.
	static const int32 RECORD_QUEUE_SIZE = 64;
	// Rows that may wait for a viewer window that does not answer.
	static const int32 ROW_QUEUE_SIZE = 1000;
	// How long the destructor gives the viewer window for its last rows
	// and to close.
	static const bigtime_t WINDOW_CLOSE_TIME = 5000000;

	struct Options {
		// What the timer goes by: the clock of every keyboard's stamps.
		// Must outlive the filter.
		StriaClock* clock = NULL;
		bigtime_t windowCloseTime = WINDOW_CLOSE_TIME;
		// What becomes of each scan that passed its check, on the processor
		// thread; by default it goes to every subscriber and on top of the
		// viewer window.
		std::function<void(const ScanCode& scan)> processCode;
	};

	CueCatFilter();
	explicit CueCatFilter(const Options& options);
	// Stops the threads (every record already handed off is processed
	// first), closes the viewer window, tells each subscriber
	// STRIA_SHUTDOWN, then frees the rest.
	~CueCatFilter() override;

	// B_OK once the threads run.
	status_t InitCheck() override;
	filter_result Filter(BMessage* message, BList* outList) override;

	// Ends the threads; what was handed off before is processed first.
	// Idempotent; the destructor does it.
	void StopThreads();

private:
	// Does what a step of the capture says; returns its verdict.
	filter_result _Apply(ScanCapture::Step& step, BList* outList);
	void _HandOff(std::string& record);
	// Logs how many records the current run of drops lost after its first.
	void _EndRecordDrops();
	// Puts the timer's tick for capture into the input stream.
	void _RequestTick(int64 capture);

	static status_t _Processor(void* filter);
	static status_t _Viewer(void* filter);
	void _Process(const ScanCode& scan);
	void _ShowRow(StriaCode* item);

	Options fOptions;
	// Only the input server's thread touches the capture.
	ScanCapture fCapture;
	CaptureTimer fTimer;
	// The subscribers and their delivery threads; on the system clock
	// whatever clock the timer goes by.
	SubscriberList fSubscribers;
	// Records from the input thread to the processor thread.
	HandOffQueue<std::string> fRecords;
	// Rows from the processor thread to the viewer thread.
	HandOffQueue<std::unique_ptr<StriaCode>> fRows;
	// The viewer's window; only the viewer thread and, once it has ended,
	// the destructor touch it. It turns invalid when the window quits.
	BMessenger fWindow;
	// When (system_time) the viewer thread must be done once stopping;
	// B_INFINITE_TIMEOUT before.
	std::atomic<bigtime_t> fViewerDeadline;
	thread_id fProcessorThread;
	thread_id fViewerThread;
	bool fThreadsStopped;
	// Records the processor had no room for (only the input thread).
	stria::DropCounter fRecordDrops;
};

#endif // CUECAT_FILTER_H
