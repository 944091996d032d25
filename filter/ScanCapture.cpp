#include "ScanCapture.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>

#include <StriaProtocol.h>
#include <StriaTime.h>
#include <cuecat_constants.h>

#include <algorithm>
#include <ctype.h>

namespace {

using stria::Elapsed;
using stria::Shifted;

// Where a message comes from, as the input server marked it.
struct MessageSource {
	int32 id = 0;
	int32 kind = STRIA_SOURCE_KEYBOARD;
};

MessageSource SourceOf(const BMessage& message)
{
	MessageSource source;
	message.FindInt32(STRIA_SOURCE_FIELD, &source.id);
	message.FindInt32(STRIA_SOURCE_KIND_FIELD, &source.kind);
	return source;
}

std::unique_ptr<BMessage> CopyOf(const BMessage& message)
{
	return std::make_unique<BMessage>(message);
}

} // namespace

ScanCapture::ScanCapture(int64 firstToken) : fLastToken((int64)((uint64)firstToken - 1)) {}

ScanCapture::Step ScanCapture::Message(const BMessage& message, bigtime_t now)
{
	Step step;
	if (message.what == STRIA_INPUT_ENDED) {
		InputEnded(message, step);
		return step;
	}
	// "modifiers" takes no part: F10 and Enter count whatever modifier keys
	// are held.
	int32 key = -1;
	message.FindInt32("key", &key);
	// Only an F10 key-down opens a capture: with none open, everything else
	// passes at once.
	if (fCaptures.empty() && (message.what != B_KEY_DOWN || key != CAT_CALL_KEY))
		return step;

	// Keys a device add-on typed take no part in captures, and a message
	// without a stamp cannot be placed in time: both pass untouched.
	MessageSource source = SourceOf(message);
	bigtime_t when;
	if (source.kind == STRIA_SOURCE_ADD_ON || message.FindInt64("when", &when) != B_OK)
		return step;

	if (message.what == B_KEY_DOWN && key == CAT_CALL_KEY) {
		CatCall(message, source.id, source.kind == STRIA_SOURCE_RECORDED, when, now, step);
		return step;
	}

	// A capture is its source's: keys of any other pass untouched.
	Capture* capture = CaptureOf(source.id);
	if (capture == NULL)
		return step;

	switch (message.what) {
	case B_KEY_DOWN:
		KeyDown(message, *capture, when, step);
		break;
	case B_KEY_UP:
		KeyUp(message, *capture, key, when, step);
		break;
	default:
		// Modifier changes, unmapped keys, recorded input going quiet:
		// only their stamps count.
		DecidedByStamp(message, *capture, when, step);
		break;
	}
	return step;
}

ScanCapture::Step ScanCapture::Tick(int64 token)
{
	// Unless a key has decided meanwhile, the F10 was a person's lone F10,
	// which goes on now with its own stamp; a full stop stamped within the
	// limit that arrives later still starts a record.
	Step step;
	step.verdict = B_SKIP_MESSAGE;
	for (Capture& capture : fCaptures) {
		if (capture.token == token && capture.state == WAITING) {
			capture.state = REVEALED;
			capture.armed = false;
			step.verdict = B_DISPATCH_MESSAGE;
			step.passOn.push_back(CopyOf(*capture.catCall));
			break;
		}
	}
	return step;
}

ScanCapture::Step ScanCapture::Replay(bigtime_t realTime)
{
	// Before any F10 the request itself travels on.
	Step step;
	if (fFirstCatCall) {
		std::unique_ptr<BMessage> rebuilt = CopyOf(*fFirstCatCall);
		rebuilt->ReplaceInt64("when", realTime);
		step.passOn.push_back(std::move(rebuilt));
	}
	return step;
}

void ScanCapture::CatCall(const BMessage& message, int32 source, bool recorded, bigtime_t when,
                          bigtime_t now, Step& step)
{
	// Held back: it goes on only when something shows it was a person's.
	step.verdict = B_SKIP_MESSAGE;
	if (Capture* earlier = CaptureOf(source)) {
		// An earlier F10 of this source still held back, and this one
		// stamped past its first-character limit: the earlier one was a
		// person's and goes on first. Within the limit it is dropped, and
		// a record the capture collected is discarded.
		if (earlier->state == WAITING && Elapsed(earlier->whenCatCall, when) > FIRST_CHAR_TIME) {
			step.verdict = B_DISPATCH_MESSAGE;
			step.passOn.push_back(CopyOf(*earlier->catCall));
		}
		DropCut(*earlier, step);
	}

	if (!fFirstCatCall)
		fFirstCatCall = CopyOf(message);

	Capture capture;
	capture.source = source;
	fLastToken = (int64)((uint64)fLastToken + 1);
	capture.token = fLastToken;
	capture.state = WAITING;
	capture.whenCatCall = when;
	capture.catCall = CopyOf(message);
	capture.tooLong = false;
	// Recorded input is decided by its own stamps alone: it says when it
	// goes quiet. For a keyboard, stamps and now are on one clock; an F10
	// that arrives late gets the whole wait from its arrival, for the keys
	// the reader is still catching up with.
	capture.armed = !recorded;
	if (capture.armed)
		step.timer.push_back({capture.token, Shifted(std::max(when, now), FIRST_CHAR_TIME)});
	fCaptures.push_back(std::move(capture));
}

bool ScanCapture::DecidedByStamp(const BMessage& message, Capture& capture, bigtime_t when,
                                 Step& step)
{
	if (capture.state == COLLECTING || Elapsed(capture.whenCatCall, when) <= FIRST_CHAR_TIME)
		return false;

	// Past the limit without a first character: the F10 was a person's. It
	// goes on with its own stamp, before this message, as the tick would
	// have sent it had this message come later.
	if (capture.state == WAITING) {
		step.passOn.push_back(CopyOf(*capture.catCall));
		step.passOn.push_back(CopyOf(message));
	}
	Close(capture, step);
	return true;
}

void ScanCapture::KeyDown(const BMessage& message, Capture& capture, bigtime_t when, Step& step)
{
	if (DecidedByStamp(message, capture, when, step))
		return;

	int8 byte = -1;
	message.FindInt8("byte", &byte);
	// Caps Lock turns the case of letters; the record is what the scanner
	// typed, with Shift for its capitals.
	int32 modifiers = 0;
	message.FindInt32("modifiers", &modifiers);
	if ((modifiers & B_CAPS_LOCK) != 0 && isalpha((unsigned char)byte))
		byte ^= 0x20;

	if (capture.state != COLLECTING) {
		if (byte != '.') {
			// A person's key: the F10 goes on in front of it, once per
			// capture, as the capture's own key-down.
			if (capture.state == WAITING) {
				capture.state = REVEALED;
				Disarm(capture, step);
				std::unique_ptr<BMessage> rebuilt = CopyOf(*capture.catCall);
				rebuilt->ReplaceInt64("when", Shifted(when, -REPLAY_OFFSET));
				step.passOn.push_back(std::move(rebuilt));
				step.passOn.push_back(CopyOf(message));
			}
			return;
		}
		Disarm(capture, step);
		capture.state = COLLECTING;
	} else if (!InsideScan(capture, when, step))
		return;

	// Room for the longest record and the Enter's newline; beyond that the
	// capture is only marked, to be dropped when it closes.
	if (capture.record.size() >= (size_t)MAX_RECORD + 1)
		capture.tooLong = true;
	else
		capture.record.push_back((char)byte);
	step.verdict = B_SKIP_MESSAGE;
}

void ScanCapture::KeyUp(const BMessage& message, Capture& capture, int32 key, bigtime_t when,
                        Step& step)
{
	if (capture.state == COLLECTING) {
		// The key-ups of a scan's characters pass, so that no key stays
		// held down for applications.
		if (key != CAT_TERM_KEY || !InsideScan(capture, when, step))
			return;
		HandOff(capture, step);
		Close(capture, step);
		step.verdict = B_SKIP_MESSAGE;
		return;
	}

	// Without a record an Enter key-up goes on with its key-down: F10 then
	// Enter is not a scan.
	DecidedByStamp(message, capture, when, step);
}

void ScanCapture::InputEnded(const BMessage& message, Step& step)
{
	// Nothing more comes from this source: an F10 still held back was a
	// person's, and a record without its Enter is not a scan.
	int32 source = 0;
	message.FindInt32(STRIA_SOURCE_FIELD, &source);
	Capture* capture = CaptureOf(source);
	if (capture == NULL)
		return;
	if (capture->state == WAITING) {
		step.passOn.push_back(CopyOf(*capture->catCall));
		step.passOn.push_back(CopyOf(message));
	}
	DropCut(*capture, step);
}

bool ScanCapture::InsideScan(Capture& capture, bigtime_t when, Step& step)
{
	if (Elapsed(capture.whenCatCall, when) > SCAN_TIME) {
		DropCut(capture, step);
		return false;
	}
	return true;
}

void ScanCapture::HandOff(const Capture& capture, Step& step)
{
	// The Enter's newline goes; the record is what came before it.
	std::string record = capture.record;
	size_t newline = record.rfind('\n');
	if (newline != std::string::npos)
		record.erase(newline, 1);
	if (capture.tooLong || record.size() > (size_t)MAX_RECORD) {
		step.notices.push_back("scanned record longer than " + std::to_string(MAX_RECORD) +
		                       " characters; dropped");
		return;
	}
	step.records.push_back(std::move(record));
}

ScanCapture::Capture* ScanCapture::CaptureOf(int32 source)
{
	for (Capture& capture : fCaptures) {
		if (capture.source == source)
			return &capture;
	}
	return NULL;
}

void ScanCapture::Disarm(Capture& capture, Step& step)
{
	if (capture.armed)
		step.timer.push_back({capture.token, std::nullopt});
	capture.armed = false;
}

void ScanCapture::Close(Capture& capture, Step& step)
{
	Disarm(capture, step);
	int64 token = capture.token;
	std::erase_if(fCaptures, [token](const Capture& open) { return open.token == token; });
}

void ScanCapture::DropCut(Capture& capture, Step& step)
{
	size_t length = capture.record.size();
	if (length > 0) {
		step.notices.push_back("scan cut off after " + std::to_string(length) + " character" +
		                       (length == 1 ? "" : "s") + "; dropped");
	}
	Close(capture, step);
}
