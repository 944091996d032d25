#include "Typist.h"

#include "DesktopLayout.h"
#include "LayoutKeys.h"
#include "TypeableCode.h"
#include "TypedKeys.h"
#include "TypedText.h"

#include <AppDefs.h>
#include <KeyMessage.h>
#include <KeyboardState.h>
#include <Message.h>
#include <StriaClock.h>
#include <StriaProtocol.h>
#include <StriaTime.h>
#include <printable_code.h>

#include <algorithm>
#include <cstdio>

Typist::Typist(Sink sink, Logger log, StriaClock* clock, const TyperSettings& settings,
               Layouts layouts)
    : fSink(std::move(sink)), fLog(std::move(log)), fClock(clock), fLayouts(std::move(layouts)),
      fSettings(settings)
{
	if (!fLayouts) {
		auto fixed = std::make_shared<DesktopLayout>(DesktopLayout::Sources{});
		fLayouts = [fixed](const TyperSettings& settings, std::string* error) {
			return fixed->For(settings, error);
		};
	}
	fThread = std::thread(&Typist::_Loop, this);
}

Typist::~Typist()
{
	Finish();
	if (fThread.joinable())
		fThread.join();
}

void Typist::Type(const std::string& code, bool checkFailed)
{
	std::unique_lock lock(fLock);
	// With nothing to type there is nothing to say about a scan left out.
	if (fFinishing && fSettings.type == TypedKind::Off)
		return;
	if (fFinishing) {
		lock.unlock();
		fLog("the input server stops; scan not typed: " + printable_code(code));
		return;
	}
	if (fWaiting.size() >= QUEUE_SIZE) {
		lock.unlock();
		fLog(std::to_string(QUEUE_SIZE) +
		     " scans wait to be typed already; scan not typed: " + printable_code(code));
		return;
	}
	if (fWaiting.empty() && !fTyping && fSettings.keyDelay == 0) {
		_TypeInTurn(lock, {code, checkFailed});
		return;
	}
	fWaiting.push_back({code, checkFailed});
	fWork.notify_one();
}

TyperSettings Typist::Settings() const
{
	std::lock_guard lock(fLock);
	return fSettings;
}

void Typist::SetSettings(const TyperSettings& settings)
{
	std::lock_guard lock(fLock);
	fSettings = settings;
	if (settings.type != TypedKind::Off)
		return;
	// Off means now: not after the code being typed, nor after those
	// waiting for their turn.
	fStops++;
	fWaiting.clear();
	fStop.notify_all();
	fChanged.notify_all();
}

void Typist::Finish()
{
	std::unique_lock lock(fLock);
	fFinishing = true;
	fStops++;
	fWaiting.clear();
	fWork.notify_one();
	fStop.notify_all();
	fChanged.notify_all();
	fChanged.wait(lock, [this] { return !fTyping; });
}

bool Typist::IsFinishing() const
{
	std::lock_guard lock(fLock);
	return fFinishing;
}

void Typist::WaitUntilIdle()
{
	std::unique_lock lock(fLock);
	fChanged.wait(lock, [this] { return fFinishing || (fWaiting.empty() && !fTyping); });
}

void Typist::_Loop()
{
	std::unique_lock lock(fLock);
	// The layout is made ready before the first scan, which would wait for
	// it otherwise (the X server's keymap takes a while to read and
	// compile). A code typed meanwhile waits for it and is typed as usual.
	if (fSettings.type != TypedKind::Off && !fFinishing) {
		const TyperSettings settings = fSettings;
		lock.unlock();
		{
			std::lock_guard layoutLock(fLayoutLock);
			std::string why;
			fLayouts(settings, &why);
		}
		lock.lock();
	}
	while (true) {
		// A code typed right away on a caller's thread is let finish.
		fWork.wait(lock, [this] { return fFinishing || (!fWaiting.empty() && !fTyping); });
		if (fFinishing)
			return;
		Scan scan = std::move(fWaiting.front());
		fWaiting.pop_front();
		_TypeInTurn(lock, scan);
	}
}

void Typist::_TypeInTurn(std::unique_lock<std::mutex>& lock, const Scan& scan)
{
	const TyperSettings settings = fSettings;
	const uint64 stops = fStops;
	const int64 number = ++fLastCode;
	fTyping = true;
	lock.unlock();
	_TypeCode(scan, settings, number, stops);
	lock.lock();
	fTyping = false;
	// The typist's thread is woken only when a code waits for it.
	if (!fWaiting.empty())
		fWork.notify_one();
	fChanged.notify_all();
}

bool Typist::_Pause(bigtime_t delay, uint64 stops)
{
	std::unique_lock lock(fLock);
	const bigtime_t due = stria::Shifted(fClock->Now(), delay);
	while (_StopReason(stops) == NULL && fClock->Now() < due)
		fClock->WaitUntil(lock, fStop, due);
	return _StopReason(stops) == NULL;
}

const char* Typist::_StopReason(uint64 stops) const
{
	if (fFinishing)
		return "the input server stops";
	if (fStops != stops)
		return "type was turned off";
	return NULL;
}

void Typist::_TypeCode(const Scan& scan, const TyperSettings& settings, int64 number, uint64 stops)
{
	if (settings.type == TypedKind::Off)
		return;
	if (std::optional<std::string> why =
	            WhyNotTyped(scan.code, scan.checkFailed, settings.freeText)) {
		fLog("scan not typed: " + *why + ": " + printable_code(scan.code));
		return;
	}
	const std::string text = TypedText(scan.code, settings.type);
	std::string why;
	std::shared_ptr<const LayoutKeys> layout;
	{
		std::lock_guard layoutLock(fLayoutLock);
		layout = fLayouts(settings, &why);
	}
	if (!layout) {
		fLog("scan not typed: " + why + ": " + printable_code(text));
		return;
	}
	std::optional<std::vector<TypedKey>> keys = TypedKeys(text, settings.end, *layout);
	if (!keys) {
		const unsigned char byte = *UntypeableByte(text, *layout);
		if (IsTypeableByte(byte)) {
			fLog("scan not typed: the keyboard layout " + layout->Name() + " has no key for '" +
			     std::string(1, (char)byte) + "': " + printable_code(text));
		} else {
			char hex[8];
			snprintf(hex, sizeof(hex), "0x%02x", (unsigned)byte);
			fLog(std::string("scan not typed: its text holds the byte ") + hex +
			     ", which is no printable ASCII character: " + printable_code(text));
		}
		return;
	}

	// A keyboard of the typer's own: its Shift is never a person's.
	stria::KeyboardState keyboard;
	stria::KeyboardState::Messages messages;
	// Keys down now, in the order they went down.
	std::vector<int32> held;
	auto send = [&](bool last) {
		for (const std::unique_ptr<BMessage>& message : messages)
			message->AddInt64(STRIA_TYPED_CODE_FIELD, number);
		if (last && !messages.empty())
			messages.back()->AddBool(STRIA_TYPED_CODE_END_FIELD, true);
		const bool taken = fSink(std::move(messages));
		messages.clear();
		return taken;
	};
	// With no delay the whole code goes into the stream at once, which
	// then takes its keys in a row; with one, each key at its time.
	const bool atOnce = settings.keyDelay == 0;
	for (size_t index = 0; index < keys->size(); index++) {
		if (!atOnce && index > 0 && !_Pause(settings.keyDelay, stops)) {
			// Let go of what is held, the last key pressed first, so that
			// nothing of the code stays down; holding nothing, the end is
			// told by a change to the modifiers held, which are none.
			const bigtime_t now = fClock->Now();
			for (auto key = held.rbegin(); key != held.rend(); key++)
				keyboard.KeyUp(*key, now, messages);
			if (messages.empty()) {
				messages.push_back(stria::KeyMessage::ModifiersChanged(
				        now, keyboard.Modifiers(), keyboard.Modifiers(), keyboard.States()));
			}
			const char* reason;
			{
				std::lock_guard lock(fLock);
				reason = _StopReason(stops);
			}
			send(true);
			fLog(std::string(reason) + "; scan typed in part: " + printable_code(text));
			return;
		}
		const TypedKey& key = (*keys)[index];
		const bigtime_t when = fClock->Now();
		if (key.down) {
			keyboard.KeyDown(key.key, when, false, messages);
			held.push_back(key.key);
		} else {
			keyboard.KeyUp(key.key, when, messages);
			std::erase(held, key.key);
		}
		// The bytes the layout types, not those a US keyboard would.
		if (!key.bytes.empty()) {
			messages.back() = stria::KeyMessage::Key(
			        B_KEY_DOWN, when, key.key, keyboard.Modifiers(), key.bytes, keyboard.States());
		}
		const bool last = index + 1 == keys->size();
		if (atOnce && !last)
			continue;
		if (!send(last)) {
			fLog(std::string("the input stream took no more keys; scan ") +
			     (atOnce || index == 0 ? "not typed: " : "typed in part: ") + printable_code(text));
			return;
		}
	}
}
