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

// The modifier keys that are held, as against the locks, which toggle.
const uint32 kHeldModifiers = B_SHIFT_KEY | B_COMMAND_KEY | B_CONTROL_KEY | B_OPTION_KEY |
                              B_MENU_KEY | B_LEFT_SHIFT_KEY | B_RIGHT_SHIFT_KEY |
                              B_LEFT_COMMAND_KEY | B_RIGHT_COMMAND_KEY | B_LEFT_CONTROL_KEY |
                              B_RIGHT_CONTROL_KEY | B_LEFT_OPTION_KEY | B_RIGHT_OPTION_KEY;

bool IsKeyDown(uint32 what)
{
	return what == B_KEY_DOWN || what == B_UNMAPPED_KEY_DOWN;
}

bool IsKeyUp(uint32 what)
{
	return what == B_KEY_UP || what == B_UNMAPPED_KEY_UP;
}

// An auto-repeat of a key held down.
bool IsRepeat(const BMessage& keyDown)
{
	int32 repeat;
	return keyDown.FindInt32("be:key_repeat", &repeat) == B_OK;
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
	if (message.what == STRIA_INPUT_DROPPED) {
		InputDropped(message, step);
		Settle(message, step);
		return step;
	}
	// "modifiers" takes no part: F10 and Enter count whatever modifier keys
	// are held.
	int32 key = -1;
	message.FindInt32("key", &key);
	// Only an F10 key-down or a modifier press opens a capture: with none
	// open and no key-up to swallow, everything else passes at once.
	if (IsIdle() && message.what != B_MODIFIERS_CHANGED &&
	    (message.what != B_KEY_DOWN || key != CAT_CALL_KEY))
		return step;

	// Keys a device add-on typed take no part in captures, and a message
	// without a stamp cannot be placed in time: both pass untouched.
	MessageSource source = SourceOf(message);
	bigtime_t when;
	if (source.kind == STRIA_SOURCE_ADD_ON || message.FindInt64("when", &when) != B_OK)
		return step;
	bool recorded = source.kind == STRIA_SOURCE_RECORDED;

	// Stamped past its source's open capture's time, the message decides it
	// as the tick would have, and is then taken as if nothing were open: it
	// may be the next scan's Alt.
	std::vector<std::unique_ptr<BMessage>> released;
	Capture* capture = CaptureOf(source.id);
	if (capture != NULL && TimeIsUp(*capture, when)) {
		Expire(*capture, step);
		released = std::move(step.passOn);
		step.passOn.clear();
	}

	Dispatch(message, source.id, recorded, key, when, now, step);
	if (message.what == B_MODIFIERS_CHANGED) {
		int32 modifiers = 0;
		message.FindInt32("modifiers", &modifiers);
		fModifiers[source.id] = (uint32)modifiers;
	}

	if (!released.empty()) {
		if (step.verdict == B_DISPATCH_MESSAGE && step.passOn.empty())
			step.passOn.push_back(CopyOf(message));
		step.passOn.insert(step.passOn.begin(), std::make_move_iterator(released.begin()),
		                   std::make_move_iterator(released.end()));
	}
	Settle(message, step);
	return step;
}

void ScanCapture::Settle(const BMessage& input, Step& step)
{
	// Whatever goes in the input's place makes the verdict a dispatch.
	if (!step.passOn.empty())
		step.verdict = B_DISPATCH_MESSAGE;
	bool alone = false;
	if (step.verdict == B_DISPATCH_MESSAGE && step.passOn.empty()) {
		if (input.what != B_MODIFIERS_CHANGED && !IsKeyDown(input.what) && !IsKeyUp(input.what))
			return;
		step.passOn.push_back(CopyOf(input));
		alone = true;
	}
	// The modifiers applications have been shown, for each source, as the
	// messages go on in order. A key's "modifiers" say what its keyboard
	// holds; those the capture kept from applications (the scanner's Alt)
	// are left out, or the key would press them.
	bool rewritten = false;
	for (std::unique_ptr<BMessage>& message : step.passOn) {
		MessageSource source = SourceOf(*message);
		int32 modifiers;
		if (source.kind == STRIA_SOURCE_ADD_ON ||
		    message->FindInt32("modifiers", &modifiers) != B_OK)
			continue;
		// A key that goes on down goes on up, whatever became of an
		// earlier key-down of it.
		if (IsKeyDown(message->what))
			fSwallowed.erase({source.id, message->GetInt32("key", -1)});
		uint32& shown = fShown[source.id];
		if (message->what == B_MODIFIERS_CHANGED) {
			shown = (uint32)modifiers & kHeldModifiers;
			continue;
		}
		uint32 hidden = fModifiers[source.id] & kHeldModifiers & ~shown;
		if (((uint32)modifiers & hidden) != 0) {
			message->ReplaceInt32("modifiers", (int32)((uint32)modifiers & ~hidden));
			rewritten = true;
		}
	}
	// Nothing changed: the input goes on itself, uncopied.
	if (alone && !rewritten)
		step.passOn.clear();
}

bool ScanCapture::HidesModifiers() const
{
	for (const auto& [source, modifiers] : fModifiers) {
		auto shown = fShown.find(source);
		uint32 seen = shown == fShown.end() ? 0 : shown->second;
		if ((modifiers & kHeldModifiers & ~seen) != 0)
			return true;
	}
	return false;
}

void ScanCapture::Dispatch(const BMessage& message, int32 source, bool recorded, int32 key,
                           bigtime_t when, bigtime_t now, Step& step)
{
	// A scanner's F10 never repeats: a held F10's repeats are a person's.
	if (message.what == B_KEY_DOWN && key == CAT_CALL_KEY && !IsRepeat(message)) {
		CatCall(message, source, recorded, when, now, step);
		return;
	}

	Capture* capture = CaptureOf(source);
	if (capture == NULL) {
		if (IsKeyUp(message.what) && Swallowed(source, key))
			step.verdict = B_SKIP_MESSAGE;
		else if (message.what == B_MODIFIERS_CHANGED)
			MaybeHold(message, source, recorded, when, now, step);
		return;
	}
	// The key-up of a key held back with the capture joins it; that of a
	// key whose key-down went nowhere goes nowhere.
	if (IsKeyUp(message.what)) {
		auto held = std::find(capture->heldKeys.begin(), capture->heldKeys.end(), key);
		if (held != capture->heldKeys.end()) {
			capture->heldKeys.erase(held);
			capture->held.push_back(CopyOf(message));
			step.verdict = B_SKIP_MESSAGE;
			return;
		}
		if (Swallowed(source, key)) {
			// The key-up of the Enter the record took closes the scan.
			KeyUp(*capture, key, step);
			step.verdict = B_SKIP_MESSAGE;
			return;
		}
	}

	if (capture->state == HOLDING) {
		Holding(message, *capture, key, when, step);
		return;
	}
	if (capture->state == TAIL) {
		Tail(message, *capture, key, when, step);
		return;
	}
	switch (message.what) {
	case B_KEY_DOWN:
		KeyDown(message, *capture, when, step);
		break;
	case B_KEY_UP:
		// A key pressed before the capture (an Enter too) goes up as it
		// went down.
		break;
	case B_MODIFIERS_CHANGED:
	case B_UNMAPPED_KEY_DOWN:
	case B_UNMAPPED_KEY_UP:
		ModifierKey(message, *capture, key, step);
		break;
	default:
		// Recorded input going quiet and anything else with a stamp: only
		// the stamp counts, and it was within the time.
		break;
	}
}

bool ScanCapture::TimeIsUp(const Capture& capture, bigtime_t when) const
{
	bigtime_t elapsed = Elapsed(capture.whenOpened, when);
	switch (capture.state) {
	case HOLDING:
		return elapsed > MODIFIER_TIME;
	case COLLECTING:
		return elapsed > SCAN_TIME;
	case TAIL:
		return Elapsed(capture.lastKey, when) > TAIL_GAP;
	default:
		return elapsed > FIRST_CHAR_TIME;
	}
}

void ScanCapture::Expire(Capture& capture, Step& step)
{
	// A modifier held that long, or an F10 with no first character within
	// the limit, was a person's and goes on with its own stamp; a record
	// not finished within the scan's time is dropped.
	if (capture.state == HOLDING || capture.state == WAITING)
		Release(capture, step);
	DropCut(capture, step);
}

ScanCapture::Step ScanCapture::Tick(int64 token)
{
	// Unless a key has decided meanwhile, the F10 was a person's lone F10,
	// which goes on now with its own stamp; a full stop stamped within the
	// limit that arrives later still starts a record. A modifier still held
	// back was a person's and goes on.
	Step step;
	step.verdict = B_SKIP_MESSAGE;
	for (Capture& capture : fCaptures) {
		if (capture.token != token || (capture.state != WAITING && capture.state != HOLDING))
			continue;
		capture.armed = false;
		step.verdict = B_DISPATCH_MESSAGE;
		Release(capture, step);
		if (capture.state == HOLDING)
			Close(capture, step);
		else
			capture.state = REVEALED;
		break;
	}
	Settle(BMessage(STRIA_CAPTURE_TICK), step);
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

void ScanCapture::MaybeHold(const BMessage& message, int32 source, bool recorded, bigtime_t when,
                            bigtime_t now, Step& step)
{
	int32 modifiers = 0;
	message.FindInt32("modifiers", &modifiers);
	int32 old;
	uint32 before =
	        message.FindInt32("be:old_modifiers", &old) == B_OK ? (uint32)old : fModifiers[source];
	uint32 pressed = (uint32)modifiers & kHeldModifiers & ~before;
	if (pressed == 0)
		return;

	Capture capture;
	capture.source = source;
	fLastToken = (int64)((uint64)fLastToken + 1);
	capture.token = fLastToken;
	capture.state = HOLDING;
	capture.whenOpened = when;
	capture.base = before & kHeldModifiers;
	Hold(capture, message, -1);
	capture.armed = !recorded;
	if (capture.armed)
		step.timer.push_back({capture.token, Shifted(std::max(when, now), MODIFIER_TIME)});
	fCaptures.push_back(std::move(capture));
	step.verdict = B_SKIP_MESSAGE;
}

void ScanCapture::Holding(const BMessage& message, Capture& capture, int32 key, bigtime_t when,
                          Step& step)
{
	bool gone = false;
	message.FindBool(STRIA_KEYBOARD_GONE_FIELD, &gone);
	if (gone) {
		// Let go of as its keyboard went away: it was pressed for nothing.
		Close(capture, step);
		step.verdict = B_SKIP_MESSAGE;
		return;
	}
	if (message.what == B_MODIFIERS_CHANGED) {
		int32 modifiers = 0;
		message.FindInt32("modifiers", &modifiers);
		if (((uint32)modifiers & kHeldModifiers) != capture.base) {
			Hold(capture, message, key);
			step.verdict = B_SKIP_MESSAGE;
			return;
		}
		// Let go of with no key under it: a person's tap goes on, a
		// machine's few milliseconds go nowhere.
		if (Elapsed(capture.whenOpened, when) < SHORTEST_TAP) {
			Close(capture, step);
			step.verdict = B_SKIP_MESSAGE;
			return;
		}
	} else if (message.what == B_UNMAPPED_KEY_DOWN || message.what == B_UNMAPPED_KEY_UP) {
		// The modifier keys themselves come as keys without a character.
		Hold(capture, message, key);
		step.verdict = B_SKIP_MESSAGE;
		return;
	} else if (message.what != B_KEY_DOWN && message.what != B_KEY_UP) {
		// Not a key: only its stamp counts, and that was within the time.
		return;
	}
	// A key under the modifier, or a tap long enough to be a person's: the
	// modifier goes on, and the message behind it.
	Release(capture, step);
	Close(capture, step);
	step.passOn.push_back(CopyOf(message));
}

void ScanCapture::CatCall(const BMessage& message, int32 source, bool recorded, bigtime_t when,
                          bigtime_t now, Step& step)
{
	// Held back: it goes on only when something shows it was a person's.
	step.verdict = B_SKIP_MESSAGE;
	Capture capture;
	if (Capture* earlier = CaptureOf(source)) {
		if (earlier->state == HOLDING) {
			// The modifiers held back were pressed for this F10.
			capture.held = std::move(earlier->held);
			capture.heldKeys = std::move(earlier->heldKeys);
			earlier->held.clear();
			earlier->heldKeys.clear();
			Close(*earlier, step);
		} else {
			// An earlier F10 of this source within its limit: it is
			// dropped, and a record the capture collected is discarded.
			DropCut(*earlier, step);
		}
	}

	if (!fFirstCatCall)
		fFirstCatCall = CopyOf(message);

	capture.source = source;
	fLastToken = (int64)((uint64)fLastToken + 1);
	capture.token = fLastToken;
	capture.state = WAITING;
	capture.whenOpened = when;
	capture.catCallAt = capture.held.size();
	Hold(capture, message, CAT_CALL_KEY);
	// Recorded input is decided by its own stamps alone: it says when it
	// goes quiet. For a keyboard, stamps and now are on one clock; an F10
	// that arrives late gets the whole wait from its arrival, for the keys
	// the reader is still catching up with.
	capture.armed = !recorded;
	if (capture.armed)
		step.timer.push_back({capture.token, Shifted(std::max(when, now), FIRST_CHAR_TIME)});
	fCaptures.push_back(std::move(capture));
}

void ScanCapture::KeyDown(const BMessage& message, Capture& capture, bigtime_t when, Step& step)
{
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
				Release(capture, step, Shifted(when, -REPLAY_OFFSET));
				step.passOn.push_back(CopyOf(message));
			}
			return;
		}
		// The record starts: the F10 and the modifiers it came under were
		// the scanner's.
		Disarm(capture, step);
		Drop(capture, step);
		capture.state = COLLECTING;
	}

	// Room for the longest record and the Enter's newline; beyond that the
	// capture is only marked, to be dropped when it closes.
	if (capture.record.size() >= (size_t)MAX_RECORD + 1)
		capture.tooLong = true;
	else
		capture.record.push_back((char)byte);
	Swallow(message, capture.source);
	step.verdict = B_SKIP_MESSAGE;
}

void ScanCapture::KeyUp(Capture& capture, int32 key, Step& step)
{
	if (key != CAT_TERM_KEY)
		return;
	if (capture.state == COLLECTING) {
		HandOff(capture, step);
		Close(capture, step);
		step.verdict = B_SKIP_MESSAGE;
	} else if (capture.state == TAIL && capture.tailEnter) {
		DropCut(capture, step);
		step.verdict = B_SKIP_MESSAGE;
	}
}

void ScanCapture::Tail(const BMessage& message, Capture& capture, int32 key, bigtime_t when,
                       Step& step)
{
	switch (message.what) {
	case B_KEY_DOWN:
	case B_UNMAPPED_KEY_DOWN:
		Swallow(message, capture.source);
		if (message.what == B_KEY_DOWN)
			capture.tailKeys++;
		if (key == CAT_TERM_KEY)
			capture.tailEnter = true;
		break;
	case B_MODIFIERS_CHANGED:
		if (std::unique_ptr<BMessage> release = ShownReleased(message, capture.source))
			step.passOn.push_back(std::move(release));
		break;
	default:
		// Key-ups of keys pressed before, and anything that is no key.
		return;
	}
	capture.lastKey = when;
	step.verdict = B_SKIP_MESSAGE;
}

std::unique_ptr<BMessage> ScanCapture::ShownReleased(const BMessage& message, int32 source)
{
	uint32 shown = fShown[source];
	uint32 modifiers = (uint32)message.GetInt32("modifiers", 0);
	if ((shown & ~modifiers) == 0)
		return NULL;
	std::unique_ptr<BMessage> release = CopyOf(message);
	release->ReplaceInt32("modifiers",
	                      (int32)((modifiers & ~kHeldModifiers) | (modifiers & shown)));
	release->RemoveName("be:old_modifiers");
	release->AddInt32("be:old_modifiers", (int32)shown);
	return release;
}

void ScanCapture::InputDropped(const BMessage& message, Step& step)
{
	// Keys of this source are lost: a scan they belonged to is damaged, and
	// what follows at a scanner's pace is the rest of one.
	MessageSource source = SourceOf(message);
	bigtime_t when;
	if (source.kind == STRIA_SOURCE_ADD_ON || message.FindInt64("when", &when) != B_OK)
		return;
	step.verdict = B_SKIP_MESSAGE;
	bool told = false;
	if (Capture* capture = CaptureOf(source.id)) {
		if (capture->state == TAIL) {
			capture->lastKey = std::max(capture->lastKey, when);
			return;
		}
		if (capture->state == COLLECTING || capture->state == WAITING) {
			step.notices.push_back("keys of a scan were lost (the input server read them too "
			                       "late); the scan is dropped");
			told = true;
		}
		Close(*capture, step);
	}
	Capture tail;
	tail.told = told;
	tail.source = source.id;
	fLastToken = (int64)((uint64)fLastToken + 1);
	tail.token = fLastToken;
	tail.state = TAIL;
	tail.whenOpened = when;
	tail.lastKey = when;
	fCaptures.push_back(std::move(tail));
}

void ScanCapture::ModifierKey(const BMessage& message, Capture& capture, int32 key, Step& step)
{
	if (capture.state == COLLECTING) {
		// The Shift a scanner holds for a capital goes nowhere; a key-up
		// that got here went down before the scan and goes on.
		if (message.what == B_UNMAPPED_KEY_UP)
			return;
		if (message.what == B_UNMAPPED_KEY_DOWN)
			Swallow(message, capture.source);
		step.verdict = B_SKIP_MESSAGE;
		if (message.what == B_MODIFIERS_CHANGED) {
			if (std::unique_ptr<BMessage> release = ShownReleased(message, capture.source))
				step.passOn.push_back(std::move(release));
		}
	} else if (capture.state == WAITING) {
		// Behind a held-back F10 they wait with it, in order.
		Hold(capture, message, key);
		step.verdict = B_SKIP_MESSAGE;
	}
}

void ScanCapture::InputEnded(const BMessage& message, Step& step)
{
	// Nothing more comes from this source: an F10 still held back was a
	// person's, a modifier still held back was pressed for nothing, and a
	// record without its Enter is not a scan.
	int32 source = 0;
	message.FindInt32(STRIA_SOURCE_FIELD, &source);
	if (Capture* capture = CaptureOf(source)) {
		if (capture->state == WAITING)
			Release(*capture, step);
		DropCut(*capture, step);
	}
	// The notice itself goes on behind whatever goes on in front of it.
	if (!step.passOn.empty())
		step.passOn.push_back(CopyOf(message));
	// No key-up of it is still to come.
	std::erase_if(fSwallowed, [source](const SourceKey& key) { return key.source == source; });
	fModifiers.erase(source);
	fShown.erase(source);
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

void ScanCapture::Hold(Capture& capture, const BMessage& message, int32 key)
{
	capture.held.push_back(CopyOf(message));
	if (IsKeyDown(message.what) && key >= 0 &&
	    std::find(capture.heldKeys.begin(), capture.heldKeys.end(), key) == capture.heldKeys.end())
		capture.heldKeys.push_back(key);
}

void ScanCapture::Release(Capture& capture, Step& step, std::optional<bigtime_t> restamp)
{
	for (size_t i = 0; i < capture.held.size(); i++) {
		if (restamp && i >= capture.catCallAt)
			capture.held[i]->ReplaceInt64("when", *restamp);
		// Going on down, the key goes on up, whatever became of an
		// earlier key-down of it.
		if (IsKeyDown(capture.held[i]->what))
			fSwallowed.erase({capture.source, capture.held[i]->GetInt32("key", -1)});
		step.passOn.push_back(std::move(capture.held[i]));
	}
	capture.held.clear();
	capture.heldKeys.clear();
	capture.catCallAt = 0;
}

void ScanCapture::Drop(Capture& capture, Step& step)
{
	// What applications have seen go down goes up again: a key-up whose
	// key-down went on before the capture held anything, and the release
	// of a modifier they were shown pressed (the tick may have sent the
	// scanner's Alt on before its F10 came).
	std::vector<int32> pressed;
	const BMessage* lastModifiers = NULL;
	std::vector<const BMessage*> owed;
	for (const std::unique_ptr<BMessage>& message : capture.held) {
		int32 key = message->GetInt32("key", -1);
		if (IsKeyDown(message->what))
			pressed.push_back(key);
		else if (IsKeyUp(message->what) &&
		         std::find(pressed.begin(), pressed.end(), key) == pressed.end())
			owed.push_back(message.get());
		else if (message->what == B_MODIFIERS_CHANGED)
			lastModifiers = message.get();
	}
	if (lastModifiers != NULL) {
		if (std::unique_ptr<BMessage> release = ShownReleased(*lastModifiers, capture.source))
			step.passOn.push_back(std::move(release));
	}
	for (const BMessage* message : owed)
		step.passOn.push_back(CopyOf(*message));

	for (int32 key : capture.heldKeys)
		fSwallowed.insert({capture.source, key});
	capture.held.clear();
	capture.heldKeys.clear();
	capture.catCallAt = 0;
}

void ScanCapture::Swallow(const BMessage& keyDown, int32 source)
{
	// A repeat's key-up is its first key-down's: it goes where that went.
	if (!IsRepeat(keyDown))
		fSwallowed.insert({source, keyDown.GetInt32("key", -1)});
}

bool ScanCapture::Swallowed(int32 source, int32 key)
{
	return fSwallowed.erase({source, key}) > 0;
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
	Drop(capture, step);
	int64 token = capture.token;
	std::erase_if(fCaptures, [token](const Capture& open) { return open.token == token; });
}

void ScanCapture::DropCut(Capture& capture, Step& step)
{
	size_t length = capture.record.size();
	if (capture.state == TAIL && capture.tailKeys > 0 && !capture.told) {
		step.notices.push_back("keys were lost, and the " + std::to_string(capture.tailKeys) +
		                       " key" + (capture.tailKeys == 1 ? "" : "s") +
		                       " after them, typed at a scanner's pace, are dropped as the rest "
		                       "of a scan");
	} else if (length > 0) {
		step.notices.push_back("scan cut off after " + std::to_string(length) + " character" +
		                       (length == 1 ? "" : "s") + "; dropped");
	}
	Close(capture, step);
}
