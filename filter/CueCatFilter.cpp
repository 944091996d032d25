#include "CueCatFilter.h"

#include "StriaSubscriber.h"

#include <AppDefs.h>
#include <Autolock.h>
#include <Input.h>
#include <List.h>
#include <Message.h>
#include <String.h>

#include <StriaCode.h>
#include <StriaProtocol.h>
#include <StriaWindow.h>
#include <code_text.h>
#include <cuecat_constants.h>

#include <ctype.h>
#include <memory>
#include <new>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string_view>
#include <vector>

namespace {

// How long the subscribers get, once the filter goes, to take the scans
// still queued for them and the shutdown notice.
const bigtime_t kShutdownGrace = 2000000;

} // namespace

CueCatFilter::CueCatFilter() : CueCatFilter(FIRST_CHAR_TIME) {}

CueCatFilter::CueCatFilter(bigtime_t firstCharTime)
    : BInputServerFilter(), win(NULL), barcode(NULL), whenCatCall(0), catCallKeyboard(-1),
      firstCharSem(-1), f10message(NULL), f10messageSize(0), subscribers(new BList(5)),
      processor_tid(-1), timer_tid(-1), catCallMessage(NULL), catCallDelivered(false),
      recordTooLong(false), firstCharTime(firstCharTime), sharedLock("CueCatFilter shared"),
      threadsStopped(false)
{
	firstCharSem = create_sem(1, "F10 Received");

	timer_tid = spawn_thread(timer, "timer", B_NORMAL_PRIORITY, this);
	if (timer_tid >= 0)
		resume_thread(timer_tid);

	processor_tid = spawn_thread(processor, "CueCodeProcessor", B_NORMAL_PRIORITY, this);
	if (processor_tid >= 0)
		resume_thread(processor_tid);
}

CueCatFilter::~CueCatFilter()
{
	stopThreads();

	// Here, with no thread of the filter left to reach it, the viewer's
	// window closes: before the subscribers hear of the shutdown.
	StriaWindow::closeWindow(&win, &sharedLock);

	// Every subscriber gets its queued scans and then STRIA_SHUTDOWN; the
	// queues drain side by side, so a slow one delays only itself.
	const bigtime_t deadline = system_time() + kShutdownGrace;
	for (int32 i = 0; i < subscribers->CountItems(); i++)
		((StriaSubscriber*)subscribers->ItemAt(i))->QueueShutdown(deadline);
	for (int32 i = 0; i < subscribers->CountItems(); i++) {
		StriaSubscriber* subscriber = (StriaSubscriber*)subscribers->ItemAt(i);
		subscriber->WaitForDelivery();
		delete subscriber;
	}
	delete subscribers;
	subscribers = NULL;

	free(f10message);
	delete catCallMessage;
	delete barcode;
}

status_t CueCatFilter::InitCheck()
{
	if (firstCharSem < 0)
		return firstCharSem;
	if (timer_tid < 0)
		return timer_tid;
	if (processor_tid < 0)
		return processor_tid;
	return B_OK;
}

void CueCatFilter::stopThreads()
{
	if (threadsStopped)
		return;
	threadsStopped = true;

	// Deleting the semaphore first ends a timer wait for a first character
	// that will never come, so the stop code never waits behind it.
	delete_sem(firstCharSem);
	if (timer_tid >= 0)
		send_data(timer_tid, 0, NULL, 0);
	// The processor takes the records handed to it before the stop code.
	if (processor_tid >= 0)
		send_data(processor_tid, 0, NULL, 0);

	status_t result;
	if (timer_tid >= 0)
		wait_for_thread(timer_tid, &result);
	if (processor_tid >= 0)
		wait_for_thread(processor_tid, &result);
}

filter_result CueCatFilter::Filter(BMessage* message, BList* outList)
{
	// "modifiers" takes no part: F10 and Enter count whatever modifier keys
	// are held.
	int32 key = -1;
	bigtime_t when = 0;

	switch (message->what) {
	case STRIA_SUBSCRIBE:
		subscribe(message);
		return B_SKIP_MESSAGE;

	case STRIA_ALTF10_WHAT:
		return replayTick(outList);

	case B_KEY_DOWN:
		message->FindInt32("key", &key);
		message->FindInt64("when", &when);
		// Another keyboard's keys pass beside an open capture, even its F10.
		if (!fromCatCallKeyboard(message) && insideCode(when))
			return B_DISPATCH_MESSAGE;
		if (key == CAT_CALL_KEY)
			return catCall(message, when);
		return keyDown(message, when, outList);

	case B_KEY_UP:
		message->FindInt32("key", &key);
		message->FindInt64("when", &when);
		if (!fromCatCallKeyboard(message))
			return B_DISPATCH_MESSAGE;
		return keyUp(key, when);

	default:
		return B_DISPATCH_MESSAGE;
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

void CueCatFilter::initCode(bigtime_t when)
{
	barcode = new BString();
	whenCatCall = when;
}

void CueCatFilter::abortCode()
{
	delete barcode;
	barcode = NULL;
	whenCatCall = 0;
	delete catCallMessage;
	catCallMessage = NULL;
	catCallDelivered = false;
	recordTooLong = false;
}

void CueCatFilter::dropCutCode()
{
	if (barcode != NULL && barcode->Length() > 0) {
		fprintf(stderr, "StriaFilter: scan cut off after %d character%s; dropped\n",
		        (int)barcode->Length(), barcode->Length() == 1 ? "" : "s");
	}
	abortCode();
}

bool CueCatFilter::fromCatCallKeyboard(const BMessage* message) const
{
	int32 keyboard = -1;
	message->FindInt32(STRIA_KEYBOARD_FIELD, &keyboard);
	return keyboard == catCallKeyboard;
}

bool CueCatFilter::insideCode(bigtime_t when)
{
	if (whenCatCall <= 0 || barcode == NULL)
		return false;
	if (when - whenCatCall > SCAN_TIME) {
		dropCutCode();
		return false;
	}
	return true;
}

filter_result CueCatFilter::catCall(BMessage* message, bigtime_t when)
{
	dropCutCode();

	if (f10message == NULL) {
		ssize_t size = message->FlattenedSize();
		char* flat = size > 0 ? (char*)malloc(size) : NULL;
		if (flat != NULL && message->Flatten(flat, size) == B_OK) {
			f10message = flat;
			f10messageSize = size;
		} else
			free(flat);
	}

	initCode(when);
	catCallKeyboard = -1;
	message->FindInt32(STRIA_KEYBOARD_FIELD, &catCallKeyboard);
	catCallMessage = new BMessage(*message);

	// Waits only while the timer still times an earlier capture's first
	// character (at most firstCharTime).
	acquire_sem(firstCharSem);
	// Counts left over from earlier captures (a first character that came
	// after the timer had given up) would let the timer's wait succeed
	// without this capture's first character; drop them.
	while (acquire_sem_etc(firstCharSem, 1, B_RELATIVE_TIMEOUT, 0) == B_OK) {
	}
	set_sem_owner(firstCharSem, timer_tid);
	send_data(timer_tid, 1, &when, sizeof(when));
	return B_SKIP_MESSAGE;
}

filter_result CueCatFilter::keyDown(BMessage* message, bigtime_t when, BList* outList)
{
	if (!insideCode(when))
		return B_DISPATCH_MESSAGE;

	int8 byte = -1;
	message->FindInt8("byte", &byte);
	// Caps Lock turns the case of letters; the record is what the scanner
	// typed, with Shift for its capitals.
	int32 modifiers = 0;
	message->FindInt32("modifiers", &modifiers);
	if ((modifiers & B_CAPS_LOCK) != 0 && isalpha((unsigned char)byte))
		byte ^= 0x20;

	if (barcode->Length() == 0) {
		// The first character: the timer stops waiting.
		set_sem_owner(firstCharSem, find_thread(NULL));
		release_sem(firstCharSem);
	}

	if (barcode->Length() > 0 || byte == '.') {
		// Room for the longest record and the Enter's newline; beyond that
		// the capture is only marked, to be dropped when it closes.
		if (barcode->Length() >= MAX_RECORD + 1)
			recordTooLong = true;
		else
			barcode->Append((char)byte, 1);
		return B_SKIP_MESSAGE;
	}

	// Not a scan: the F10 goes on in front of this key, once per capture.
	if (!catCallDelivered) {
		catCallDelivered = true;
		BMessage* rebuilt = rebuildCatCall(when - REPLAY_OFFSET);
		if (rebuilt != NULL)
			outList->AddItem(rebuilt);
		outList->AddItem(message);
	}
	return B_DISPATCH_MESSAGE;
}

filter_result CueCatFilter::keyUp(int32 key, bigtime_t when)
{
	if (key != CAT_TERM_KEY || !insideCode(when))
		return B_DISPATCH_MESSAGE;

	// F10 then Enter is not a scan: the key-up goes on with its key-down,
	// so that no key stays held down for applications.
	if (barcode->Length() == 0)
		return B_DISPATCH_MESSAGE;

	barcode->RemoveLast("\n");
	if (recordTooLong || barcode->Length() > MAX_RECORD) {
		fprintf(stderr, "StriaFilter: scanned record longer than %d characters; dropped\n",
		        MAX_RECORD);
	} else
		send_data(processor_tid, SEND_CODE, barcode->String(), barcode->Length() + 1);
	abortCode();
	return B_SKIP_MESSAGE;
}

filter_result CueCatFilter::replayTick(BList* outList)
{
	bool requested = false;
	bigtime_t noted = 0;
	{
		BAutolock lock(sharedLock);
		if (!tickRequests.empty()) {
			requested = true;
			noted = tickRequests.front();
			tickRequests.pop_front();
		}
	}

	if (requested) {
		// The timer's tick: a capture still waiting for its first character
		// was a person's lone F10, which goes on now with its own stamp.
		if (barcode != NULL && whenCatCall == noted && barcode->Length() == 0 &&
		    !catCallDelivered && catCallMessage != NULL) {
			outList->AddItem(new BMessage(*catCallMessage));
			abortCode();
			return B_DISPATCH_MESSAGE;
		}
		return B_SKIP_MESSAGE;
	}

	// Before any F10 the tick itself travels on.
	if (f10message == NULL)
		return B_DISPATCH_MESSAGE;
	BMessage* rebuilt = rebuildCatCall(real_time_clock_usecs());
	if (rebuilt != NULL)
		outList->AddItem(rebuilt);
	return B_DISPATCH_MESSAGE;
}

void CueCatFilter::subscribe(BMessage* message)
{
	int32 number;
	{
		BAutolock lock(sharedLock);
		number = subscribers->CountItems() + 1;
	}
	StriaSubscriber* subscriber = new StriaSubscriber(*message, number);
	BAutolock lock(sharedLock);
	subscribers->AddItem(subscriber);
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

status_t CueCatFilter::timer(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	for (;;) {
		thread_id sender;
		bigtime_t captureWhen = 0;
		int32 code = receive_data(&sender, &captureWhen, sizeof(captureWhen));
		if (code <= 0)
			return code < 0 ? code : B_OK;
		filter->timeFirstChar(captureWhen);
	}
}

void CueCatFilter::timeFirstChar(bigtime_t captureWhen)
{
	status_t status = acquire_sem_etc(firstCharSem, 1, B_RELATIVE_TIMEOUT, firstCharTime);
	if (status != B_OK && status != B_TIMED_OUT)
		return;

	// Either way the count goes back, so that the next F10 finds it.
	set_sem_owner(firstCharSem, find_thread(NULL));
	release_sem(firstCharSem);
	if (status != B_TIMED_OUT)
		return;

	// No first character in time: most likely a person's lone F10. A replay
	// tick through the device lets Filter deliver it, in stream order.
	{
		BAutolock lock(sharedLock);
		tickRequests.push_back(captureWhen);
	}
	BInputDevice* device = find_input_device(STRIA_DEVICE_NAME);
	status_t result = device != NULL ? device->Control(STRIA_ALTF10_WHAT, NULL) : B_NAME_NOT_FOUND;
	delete device;
	if (result != B_OK) {
		BAutolock lock(sharedLock);
		for (auto request = tickRequests.rbegin(); request != tickRequests.rend(); request++) {
			if (*request == captureWhen) {
				tickRequests.erase(std::next(request).base());
				break;
			}
		}
	}
}

status_t CueCatFilter::processor(void* data)
{
	CueCatFilter* filter = (CueCatFilter*)data;
	std::vector<char> record(MAX_RECORD + 1);
	for (;;) {
		memset(record.data(), 0, record.size());
		thread_id sender;
		int32 code = receive_data(&sender, record.data(), record.size());
		if (code <= 0)
			return code < 0 ? code : B_OK;
		record.back() = '\0';
		filter->processRecord(record.data());
	}
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

	// A snapshot of the list under the lock; the subscribers live until the
	// destructor, which runs after this thread has ended.
	std::vector<StriaSubscriber*> targets;
	{
		BAutolock lock(sharedLock);
		targets.reserve(subscribers->CountItems());
		for (int32 i = 0; i < subscribers->CountItems(); i++)
			targets.push_back((StriaSubscriber*)subscribers->ItemAt(i));
	}
	for (StriaSubscriber* subscriber : targets)
		subscriber->QueueScan(item->getrawcode()->String());

	// Then the window: made and shown at the first scan (and after it has
	// quit), the row on top and selected. sharedLock guards win only; it is
	// never held while the window is locked.
	StriaWindow::showCode(&win, &sharedLock, item, BRect(100, 100, 600, 400));
}
