#include "CueCatFilter.h"

#include "StriaClock.h"

#include <AppDefs.h>
#include <Autolock.h>
#include <Input.h>
#include <InterfaceDefs.h>
#include <List.h>
#include <Message.h>
#include <String.h>

#include <StriaCode.h>
#include <StriaProtocol.h>
#include <StriaWindow.h>
#include <code_text.h>
#include <cuecat_constants.h>

#include <algorithm>
#include <ctype.h>
#include <limits>
#include <memory>
#include <new>
#include <random>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string_view>
#include <vector>

namespace {

// How long the subscribers get, once the filter goes, to take the scans
// still queued for them and the shutdown notice.
const bigtime_t kShutdownGrace = 2000000;

const bigtime_t kLatest = std::numeric_limits<bigtime_t>::max();
const bigtime_t kEarliest = std::numeric_limits<bigtime_t>::min();

// to - from, kept within range.
bigtime_t Elapsed(bigtime_t from, bigtime_t to)
{
	bigtime_t elapsed;
	if (__builtin_sub_overflow(to, from, &elapsed))
		return to > from ? kLatest : kEarliest;
	return elapsed;
}

// when + span, kept within range.
bigtime_t Shifted(bigtime_t when, bigtime_t span)
{
	bigtime_t shifted;
	if (__builtin_add_overflow(when, span, &shifted))
		return span > 0 ? kLatest : kEarliest;
	return shifted;
}

// Where a message comes from, as the input server marked it.
struct MessageSource {
	int32 id = 0;
	int32 kind = STRIA_SOURCE_KEYBOARD;
};

MessageSource SourceOf(const BMessage* message)
{
	MessageSource source;
	message->FindInt32(STRIA_SOURCE_FIELD, &source.id);
	message->FindInt32(STRIA_SOURCE_KIND_FIELD, &source.kind);
	return source;
}

// Tokens start at a random point, so that a tick an application makes up
// cannot pass for the timer's.
int64 FirstToken()
{
	std::random_device random;
	return ((int64)random() << 31) ^ (int64)random();
}

} // namespace

CueCatFilter::CueCatFilter() : CueCatFilter(StriaClock::System()) {}

CueCatFilter::CueCatFilter(StriaClock* clock, bigtime_t windowCloseTime)
    : BInputServerFilter(), win(NULL), f10message(NULL), f10messageSize(0),
      subscribers(StriaClock::System()), processor_tid(-1), viewer_tid(-1), lastToken(FirstToken()),
      clock(clock), timer(clock, [this](int64 capture) { requestTick(capture); }),
      records(RECORD_QUEUE_SIZE), rows(ROW_QUEUE_SIZE), windowCloseTime(windowCloseTime),
      viewerDeadline(B_INFINITE_TIMEOUT), sharedLock("CueCatFilter shared"), threadsStopped(false),
      recordsDropped(0)
{
	processor_tid = spawn_thread(processor, "CueCodeProcessor", B_NORMAL_PRIORITY, this);
	if (processor_tid >= 0)
		resume_thread(processor_tid);

	viewer_tid = spawn_thread(viewer, "CueCatViewer", B_NORMAL_PRIORITY, this);
	if (viewer_tid >= 0)
		resume_thread(viewer_tid);
}

CueCatFilter::~CueCatFilter()
{
	stopThreads();
	endRecordDrops();

	// Here, with no thread of the filter left to reach it, the viewer's
	// window closes: before the subscribers hear of the shutdown. What the
	// last rows left of the time is the window's to close in.
	bigtime_t left = viewerDeadline.load() - system_time();
	StriaWindow::closeWindow(&win, &sharedLock, left > 0 ? left : 0);

	// Every subscriber gets its queued scans and then STRIA_SHUTDOWN; the
	// queues drain side by side, so a slow one delays only itself.
	subscribers.Shutdown(StriaClock::System()->Now() + kShutdownGrace);

	free(f10message);
}

status_t CueCatFilter::InitCheck()
{
	if (!timer.IsRunning() || !subscribers.IsRunning())
		return B_NO_MORE_THREADS;
	if (processor_tid < 0)
		return processor_tid;
	if (viewer_tid < 0)
		return viewer_tid;
	return B_OK;
}

void CueCatFilter::stopThreads()
{
	if (threadsStopped)
		return;
	threadsStopped = true;

	timer.Stop();

	// The processor takes the records handed to it before the queue closed.
	records.Close();
	status_t result;
	if (processor_tid >= 0)
		wait_for_thread(processor_tid, &result);

	// The viewer shows the rows still queued, as long as the window lets
	// it within the close time.
	viewerDeadline = system_time() + windowCloseTime;
	rows.Close();
	if (viewer_tid >= 0)
		wait_for_thread(viewer_tid, &result);
}

filter_result CueCatFilter::Filter(BMessage* message, BList* outList)
{
	switch (message->what) {
	case STRIA_SUBSCRIBE:
		subscribe(message);
		return B_SKIP_MESSAGE;
	case STRIA_ALTF10_WHAT:
		return replayTick(message, outList);
	case STRIA_INPUT_ENDED:
		return inputEnded(message, outList);
	case B_KEY_DOWN:
		break;
	default:
		// Only a key-down opens a capture.
		if (captures.empty())
			return B_DISPATCH_MESSAGE;
		break;
	}

	// Keys a device add-on typed take no part in captures, and a message
	// without a stamp cannot be placed in time: both pass untouched.
	MessageSource source = SourceOf(message);
	bigtime_t when;
	if (source.kind == STRIA_SOURCE_ADD_ON || message->FindInt64("when", &when) != B_OK)
		return B_DISPATCH_MESSAGE;

	// "modifiers" takes no part: F10 and Enter count whatever modifier keys
	// are held.
	int32 key = -1;
	message->FindInt32("key", &key);
	if (message->what == B_KEY_DOWN && key == CAT_CALL_KEY)
		return catCall(message, source.id, source.kind == STRIA_SOURCE_RECORDED, when, outList);

	// A capture is its source's: keys of any other pass untouched.
	Capture* capture = captureOf(source.id);
	if (capture == NULL)
		return B_DISPATCH_MESSAGE;

	filter_result verdict = B_DISPATCH_MESSAGE;
	switch (message->what) {
	case B_KEY_DOWN:
		return keyDown(message, *capture, when, outList);
	case B_KEY_UP:
		return keyUp(message, *capture, key, when, outList);
	default:
		decidedByStamp(message, *capture, when, outList, &verdict);
		return verdict;
	}
}

BString* CueCatFilter::decode(const BString* record)
{
	return new BString(decode_record(std::string_view(record->String(), record->Length())).c_str());
}

BString* CueCatFilter::fixCode(const BString* code)
{
	return new BString(repair_upce(std::string_view(code->String(), code->Length())).c_str());
}

CueCatFilter::Capture& CueCatFilter::initCode(int32 source, bool recorded, BMessage* catCall,
                                              bigtime_t when)
{
	Capture capture;
	capture.source = source;
	lastToken = (int64)((uint64)lastToken + 1);
	capture.token = lastToken;
	capture.state = CAPTURE_WAITING;
	capture.whenCatCall = when;
	capture.catCallMessage.reset(new BMessage(*catCall));
	capture.barcode.reset(new BString());
	capture.recordTooLong = false;
	captures.push_back(std::move(capture));
	// Recorded input is decided by its own stamps alone: it says when it
	// goes quiet. For a keyboard, stamps and the timer's clock are one (the
	// input server puts every stamp on it); an F10 that arrives late gets
	// the whole wait from its arrival, for the keys the reader is still
	// catching up with.
	if (!recorded)
		timer.Arm(captures.back().token, Shifted(std::max(when, clock->Now()), FIRST_CHAR_TIME));
	return captures.back();
}

void CueCatFilter::abortCode(const Capture& capture)
{
	timer.Disarm(capture.token);
	int64 token = capture.token;
	std::erase_if(captures, [token](const Capture& open) { return open.token == token; });
}

void CueCatFilter::dropCutCode(const Capture& capture)
{
	int32 length = capture.barcode->Length();
	if (length > 0) {
		fprintf(stderr, "StriaFilter: scan cut off after %d character%s; dropped\n", (int)length,
		        length == 1 ? "" : "s");
	}
	abortCode(capture);
}

bool CueCatFilter::insideCode(const Capture& capture, bigtime_t when)
{
	if (Elapsed(capture.whenCatCall, when) > SCAN_TIME) {
		dropCutCode(capture);
		return false;
	}
	return true;
}

CueCatFilter::Capture* CueCatFilter::captureOf(int32 source)
{
	for (Capture& capture : captures) {
		if (capture.source == source)
			return &capture;
	}
	return NULL;
}

filter_result CueCatFilter::catCall(BMessage* message, int32 source, bool recorded, bigtime_t when,
                                    BList* outList)
{
	bool earlierGoesOn = false;
	if (Capture* earlier = captureOf(source)) {
		// An earlier F10 of this source still held back, and this one
		// stamped past its first-character limit: the earlier one was a
		// person's and goes on first. Within the limit it is dropped, and
		// a record the capture collected is discarded.
		if (earlier->state == CAPTURE_WAITING &&
		    Elapsed(earlier->whenCatCall, when) > FIRST_CHAR_TIME) {
			outList->AddItem(new BMessage(*earlier->catCallMessage));
			earlierGoesOn = true;
		}
		dropCutCode(*earlier);
	}

	if (f10message == NULL) {
		ssize_t size = message->FlattenedSize();
		char* flat = size > 0 ? (char*)malloc(size) : NULL;
		if (flat != NULL && message->Flatten(flat, size) == B_OK) {
			f10message = flat;
			f10messageSize = size;
		} else
			free(flat);
	}

	initCode(source, recorded, message, when);
	// Held back: with an out-list of its own the message does not go on.
	return earlierGoesOn ? B_DISPATCH_MESSAGE : B_SKIP_MESSAGE;
}

bool CueCatFilter::decidedByStamp(BMessage* message, Capture& capture, bigtime_t when,
                                  BList* outList, filter_result* verdict)
{
	if (capture.state == CAPTURE_COLLECTING ||
	    Elapsed(capture.whenCatCall, when) <= FIRST_CHAR_TIME)
		return false;

	// Past the limit without a first character: the F10 was a person's. It
	// goes on with its own stamp, before this message, as the timer would
	// have sent it had this message come later.
	if (capture.state == CAPTURE_WAITING) {
		outList->AddItem(new BMessage(*capture.catCallMessage));
		outList->AddItem(message);
	}
	abortCode(capture);
	*verdict = B_DISPATCH_MESSAGE;
	return true;
}

filter_result CueCatFilter::keyDown(BMessage* message, Capture& capture, bigtime_t when,
                                    BList* outList)
{
	filter_result verdict;
	if (decidedByStamp(message, capture, when, outList, &verdict))
		return verdict;

	int8 byte = -1;
	message->FindInt8("byte", &byte);
	// Caps Lock turns the case of letters; the record is what the scanner
	// typed, with Shift for its capitals.
	int32 modifiers = 0;
	message->FindInt32("modifiers", &modifiers);
	if ((modifiers & B_CAPS_LOCK) != 0 && isalpha((unsigned char)byte))
		byte ^= 0x20;

	if (capture.state != CAPTURE_COLLECTING) {
		if (byte != '.') {
			// A person's key: the F10 goes on in front of it, once per
			// capture, as the capture's own key-down.
			if (capture.state == CAPTURE_WAITING) {
				capture.state = CAPTURE_REVEALED;
				timer.Disarm(capture.token);
				BMessage* rebuilt = new BMessage(*capture.catCallMessage);
				rebuilt->ReplaceInt64("when", Shifted(when, -REPLAY_OFFSET));
				outList->AddItem(rebuilt);
				outList->AddItem(message);
			}
			return B_DISPATCH_MESSAGE;
		}
		capture.state = CAPTURE_COLLECTING;
		timer.Disarm(capture.token);
	} else if (!insideCode(capture, when))
		return B_DISPATCH_MESSAGE;

	// Room for the longest record and the Enter's newline; beyond that the
	// capture is only marked, to be dropped when it closes.
	if (capture.barcode->Length() >= MAX_RECORD + 1)
		capture.recordTooLong = true;
	else
		capture.barcode->Append((char)byte, 1);
	return B_SKIP_MESSAGE;
}

filter_result CueCatFilter::keyUp(BMessage* message, Capture& capture, int32 key, bigtime_t when,
                                  BList* outList)
{
	if (capture.state == CAPTURE_COLLECTING) {
		// The key-ups of a scan's characters pass, so that no key stays
		// held down for applications.
		if (key != CAT_TERM_KEY || !insideCode(capture, when))
			return B_DISPATCH_MESSAGE;
		handOff(capture);
		abortCode(capture);
		return B_SKIP_MESSAGE;
	}

	// Without a record an Enter key-up goes on with its key-down: F10 then
	// Enter is not a scan.
	filter_result verdict = B_DISPATCH_MESSAGE;
	decidedByStamp(message, capture, when, outList, &verdict);
	return verdict;
}

void CueCatFilter::handOff(Capture& capture)
{
	BString* barcode = capture.barcode.get();
	barcode->RemoveLast("\n");
	if (capture.recordTooLong || barcode->Length() > MAX_RECORD) {
		fprintf(stderr, "StriaFilter: scanned record longer than %d characters; dropped\n",
		        MAX_RECORD);
		return;
	}
	// Never waits: a processor that far behind costs a record, not the
	// keyboard.
	std::string record(barcode->String(), barcode->Length());
	if (!records.Push(record)) {
		// The first of a run of drops is logged at once, the rest counted.
		if (recordsDropped++ == 0) {
			fprintf(stderr,
			        "StriaFilter: %d scanned records wait for the processor already; "
			        "scan dropped (more drops are counted)\n",
			        RECORD_QUEUE_SIZE);
		}
	} else
		endRecordDrops();
}

void CueCatFilter::endRecordDrops()
{
	if (recordsDropped > 1) {
		long long more = recordsDropped - 1;
		fprintf(stderr, "StriaFilter: %lld more scanned record%s dropped\n", more,
		        more == 1 ? " was" : "s were");
	}
	recordsDropped = 0;
}

filter_result CueCatFilter::replayTick(BMessage* message, BList* outList)
{
	int64 token;
	if (message->FindInt64(STRIA_CAPTURE_FIELD, &token) == B_OK) {
		// The timer's tick: nothing came within the first-character limit
		// of the capture's F10. Unless a key has decided meanwhile, it was
		// a person's lone F10, which goes on now with its own stamp; a full
		// stop stamped within the limit that arrives later still starts a
		// record.
		for (Capture& capture : captures) {
			if (capture.token == token && capture.state == CAPTURE_WAITING) {
				capture.state = CAPTURE_REVEALED;
				outList->AddItem(new BMessage(*capture.catCallMessage));
				return B_DISPATCH_MESSAGE;
			}
		}
		return B_SKIP_MESSAGE;
	}

	// An application's tick. Before any F10 the tick itself travels on.
	if (f10message == NULL)
		return B_DISPATCH_MESSAGE;
	BMessage* rebuilt = rebuildCatCall(real_time_clock_usecs());
	if (rebuilt != NULL)
		outList->AddItem(rebuilt);
	return B_DISPATCH_MESSAGE;
}

filter_result CueCatFilter::inputEnded(BMessage* message, BList* outList)
{
	// Nothing more comes from this source: an F10 still held back was a
	// person's, and a record without its Enter is not a scan.
	int32 source = 0;
	message->FindInt32(STRIA_SOURCE_FIELD, &source);
	Capture* capture = captureOf(source);
	if (capture == NULL)
		return B_DISPATCH_MESSAGE;
	if (capture->state == CAPTURE_WAITING) {
		outList->AddItem(new BMessage(*capture->catCallMessage));
		outList->AddItem(message);
	}
	dropCutCode(*capture);
	return B_DISPATCH_MESSAGE;
}

void CueCatFilter::subscribe(BMessage* message)
{
	// A messenger subscribed already is not added twice; past the limit
	// the list refuses and tells the messenger so.
	subscribers.Add(*message);
}

BMessage* CueCatFilter::rebuildCatCall(bigtime_t when) const
{
	if (f10message == NULL)
		return NULL;
	std::unique_ptr<BMessage> rebuilt(new (std::nothrow) BMessage());
	if (!rebuilt || rebuilt->Unflatten(f10message, f10messageSize) != B_OK)
		return NULL;
	rebuilt->ReplaceInt64("when", when);
	return rebuilt.release();
}

void CueCatFilter::requestTick(int64 capture)
{
	// Through the device, so that the tick takes its place in the stream
	// behind every key already queued: those decide first.
	BMessage request;
	request.AddInt64(STRIA_CAPTURE_FIELD, capture);
	std::unique_ptr<BInputDevice> device(find_input_device(STRIA_DEVICE_NAME));
	if (device)
		device->Control(STRIA_ALTF10_WHAT, &request);
}

status_t CueCatFilter::processor(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	std::string record;
	while (filter->records.Pop(record))
		filter->processRecord(record.c_str());
	return B_OK;
}

void CueCatFilter::processRecord(const char* record)
{
	BString raw(record);
	std::unique_ptr<BString> decoded(decode(&raw));
	process(fixCode(decoded.get()));
}

void CueCatFilter::process(BString* code)
{
	// The scan's list row; it keeps the code.
	StriaCode* item = new StriaCode(code);

	subscribers.QueueScan(item->getrawcode()->String());

	// Then the window, on the viewer thread: a window that does not answer
	// holds back only its own rows.
	std::unique_ptr<StriaCode> row(item);
	if (!rows.Push(row)) {
		fprintf(stderr, "stria: %d scans wait for the viewer window already; scan not shown: %s\n",
		        ROW_QUEUE_SIZE, row->Text());
	}
}

status_t CueCatFilter::viewer(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	std::unique_ptr<StriaCode> row;
	while (filter->rows.Pop(row))
		filter->showRow(row.release());
	return B_OK;
}

void CueCatFilter::showRow(StriaCode* item)
{
	// Made and shown at the first scan (and after it has quit), the row on
	// top and selected. Once the filter is going, the rows left share the
	// close time.
	bigtime_t patience = StriaWindow::SHOW_CODE_PATIENCE;
	bigtime_t deadline = viewerDeadline.load();
	if (deadline != B_INFINITE_TIMEOUT)
		patience = std::clamp(deadline - system_time(), bigtime_t(0), patience);
	StriaWindow::showCode(&win, &sharedLock, item, BRect(100, 100, 600, 400), patience);
}
