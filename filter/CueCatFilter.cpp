#include "CueCatFilter.h"

#include <StriaClock.h>
#include <StriaLog.h>

#include <AppDefs.h>
#include <List.h>
#include <Message.h>
#include <String.h>
#include <private/InputServerHost.h>

#include <StriaCode.h>
#include <StriaProtocol.h>
#include <StriaWindow.h>
#include <scan_check.h>

#include <algorithm>
#include <new>
#include <random>
#include <stdio.h>
#include <variant>

namespace {

// How long the subscribers get, once the filter goes, to take the scans
// still queued for them and the shutdown notice.
const bigtime_t kShutdownGrace = 2000000;

// Tokens start at a random point, so that a tick made up elsewhere cannot
// pass for the timer's.
int64 FirstToken()
{
	std::random_device random;
	return ((int64)random() << 31) ^ (int64)random();
}

CueCatFilter::Options WithDefaults(CueCatFilter::Options options)
{
	if (options.clock == NULL)
		options.clock = StriaClock::System();
	return options;
}

} // namespace

CueCatFilter::CueCatFilter() : CueCatFilter(Options()) {}

CueCatFilter::CueCatFilter(const Options& options)
    : BInputServerFilter(), fOptions(WithDefaults(options)), fCapture(FirstToken()),
      fTimer(fOptions.clock, [this](int64 capture) { _RequestTick(capture); }),
      fSubscribers(StriaClock::System()), fRecords(RECORD_QUEUE_SIZE), fRows(ROW_QUEUE_SIZE),
      fViewerDeadline(B_INFINITE_TIMEOUT), fProcessorThread(-1), fViewerThread(-1),
      fThreadsStopped(false)
{
	fProcessorThread = spawn_thread(_Processor, "CueCodeProcessor", B_NORMAL_PRIORITY, this);
	if (fProcessorThread >= 0)
		resume_thread(fProcessorThread);

	fViewerThread = spawn_thread(_Viewer, "CueCatViewer", B_NORMAL_PRIORITY, this);
	if (fViewerThread >= 0)
		resume_thread(fViewerThread);
}

CueCatFilter::~CueCatFilter()
{
	StopThreads();
	_EndRecordDrops();

	// Here, with no thread of the filter left to reach it, the viewer's
	// window closes: before the subscribers hear of the shutdown. What the
	// last rows left of the time is the window's to close in.
	bigtime_t left = fViewerDeadline.load() - system_time();
	StriaWindow::CloseWindow(&fWindow, left > 0 ? left : 0);

	// Every subscriber gets its queued scans and then STRIA_SHUTDOWN; the
	// queues drain side by side, so a slow one delays only itself.
	fSubscribers.Shutdown(StriaClock::System()->Now() + kShutdownGrace);
}

status_t CueCatFilter::InitCheck()
{
	if (!fTimer.IsRunning() || !fSubscribers.IsRunning())
		return B_NO_MORE_THREADS;
	if (fProcessorThread < 0)
		return fProcessorThread;
	if (fViewerThread < 0)
		return fViewerThread;
	return B_OK;
}

void CueCatFilter::StopThreads()
{
	if (fThreadsStopped)
		return;
	fThreadsStopped = true;

	fTimer.Stop();

	// The processor takes the records handed to it before the queue closed.
	fRecords.Close();
	status_t result;
	if (fProcessorThread >= 0)
		wait_for_thread(fProcessorThread, &result);

	// The viewer shows the rows still queued, as long as the window lets
	// it within the close time.
	fViewerDeadline = system_time() + fOptions.windowCloseTime;
	fRows.Close();
	if (fViewerThread >= 0)
		wait_for_thread(fViewerThread, &result);
}

filter_result CueCatFilter::Filter(BMessage* message, BList* outList)
{
	switch (message->what) {
	case STRIA_SUBSCRIBE:
		// A messenger subscribed already is not added twice; past the
		// limit the list refuses and tells the messenger so.
		fSubscribers.Add(*message);
		return B_SKIP_MESSAGE;
	case STRIA_CAPTURE_TICK: {
		// Never an application's: ticks the timer did not ask for name no
		// open capture, and none reaches applications.
		int64 capture;
		if (message->FindInt64(STRIA_CAPTURE_FIELD, &capture) != B_OK)
			return B_SKIP_MESSAGE;
		ScanCapture::Step step = fCapture.Tick(capture);
		return _Apply(step, outList);
	}
	case STRIA_ALTF10_WHAT: {
		ScanCapture::Step step = fCapture.Replay(real_time_clock_usecs());
		return _Apply(step, outList);
	}
	case B_KEY_DOWN:
	case B_MODIFIERS_CHANGED:
	case STRIA_INPUT_ENDED:
	case STRIA_INPUT_DROPPED:
		break;
	default:
		// A person's keys and everything else pass at once while no
		// capture is open and no key-up is to be swallowed.
		if (fCapture.IsIdle())
			return B_DISPATCH_MESSAGE;
		break;
	}
	ScanCapture::Step step = fCapture.Message(*message, fOptions.clock->Now());
	return _Apply(step, outList);
}

filter_result CueCatFilter::_Apply(ScanCapture::Step& step, BList* outList)
{
	for (const ScanCapture::TimerRequest& request : step.timer) {
		if (request.due)
			fTimer.Arm(request.capture, *request.due);
		else
			fTimer.Disarm(request.capture);
	}
	for (const std::string& notice : step.notices)
		stria::Log("StriaFilter", "%s", notice.c_str());
	for (std::string& record : step.records)
		_HandOff(record);
	for (std::unique_ptr<BMessage>& passed : step.passOn)
		outList->AddItem(passed.release());
	return step.verdict;
}

void CueCatFilter::_HandOff(std::string& record)
{
	// Never waits: a processor that far behind costs a record, not the
	// keyboard.
	if (fRecords.Push(record)) {
		_EndRecordDrops();
		return;
	}
	if (fRecordDrops.Drop()) {
		stria::Log("StriaFilter",
		           "%d scanned records wait for the processor already; "
		           "scan dropped (more drops are counted)",
		           RECORD_QUEUE_SIZE);
	}
}

void CueCatFilter::_EndRecordDrops()
{
	if (int64 more = fRecordDrops.EndRun()) {
		stria::Log("StriaFilter", "%lld more scanned record%s dropped", (long long)more,
		           more == 1 ? " was" : "s were");
	}
}

void CueCatFilter::_RequestTick(int64 capture)
{
	// Into the stream, so that the tick takes its place behind every key
	// already queued: those decide first.
	BMessage* tick = new (std::nothrow) BMessage(STRIA_CAPTURE_TICK);
	if (tick == NULL)
		return;
	tick->AddInt64(STRIA_CAPTURE_FIELD, capture);
	BPrivate::enqueue_filter_message(this, tick);
}

status_t CueCatFilter::_Processor(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	std::string record;
	while (filter->fRecords.Pop(record)) {
		// Nothing of a scan that is not whole and right is sent, shown or
		// typed; the log says why it went.
		std::variant<ScanCode, ScanRefusal> checked = check_scan(record);
		if (const ScanRefusal* refusal = std::get_if<ScanRefusal>(&checked)) {
			stria::Log("StriaFilter", "scan dropped: %s", refusal->reason.c_str());
			continue;
		}
		const ScanCode& scan = std::get<ScanCode>(checked);
		if (filter->fOptions.processCode)
			filter->fOptions.processCode(scan);
		else
			filter->_Process(scan);
	}
	return B_OK;
}

void CueCatFilter::_Process(const ScanCode& scan)
{
	fSubscribers.QueueScan(scan.code, scan.checkFailed);

	// Then the window, on the viewer thread: a window that does not answer
	// holds back only its own rows. The label marks a wrong check digit.
	std::unique_ptr<StriaCode> row(
	        new StriaCode(new BString(scan.code.c_str(), (int32)scan.code.size())));
	if (!fRows.Push(row)) {
		stria::Log("StriaFilter", "%d scans wait for the viewer window already; scan not shown: %s",
		           ROW_QUEUE_SIZE, row->Text());
	}
}

status_t CueCatFilter::_Viewer(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	std::unique_ptr<StriaCode> row;
	while (filter->fRows.Pop(row))
		filter->_ShowRow(row.release());
	return B_OK;
}

void CueCatFilter::_ShowRow(StriaCode* item)
{
	// Made and shown at the first scan (and after it has quit), the row on
	// top and selected. Once the filter is going, the rows left share the
	// close time.
	bigtime_t patience = StriaWindow::SHOW_CODE_PATIENCE;
	bigtime_t deadline = fViewerDeadline.load();
	if (deadline != B_INFINITE_TIMEOUT)
		patience = std::clamp(deadline - system_time(), bigtime_t(0), patience);
	StriaWindow::ShowCode(&fWindow, item, BRect(100, 100, 600, 400), patience);
}
