#include "Typist.h"

#include "DesktopLayout.h"
#include "LayoutKeys.h"
#include "TypedKeys.h"
#include "TypedText.h"

#include <AppDefs.h>
#include <KeyboardState.h>
#include <Message.h>
#include <StriaClock.h>
#include <printable_code.h>

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

void Typist::Type(const std::string& code)
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
		fLog(std::to_string(QUEUE_SIZE) + " scans wait to be typed already; scan not typed: " +
		     printable_code(code));
		return;
	}
	if (fWaiting.empty() && !fTyping && fSettings.keyDelay == 0) {
		_TypeInTurn(lock, code);
		return;
	}
	fWaiting.push_back(code);
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
}

void Typist::Finish()
{
	std::unique_lock lock(fLock);
	fFinishing = true;
	fWaiting.clear();
	fWork.notify_one();
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
	while (true) {
		// A code typed right away on a caller's thread is let finish.
		fWork.wait(lock, [this] { return fFinishing || (!fWaiting.empty() && !fTyping); });
		if (fFinishing)
			return;
		std::string code = std::move(fWaiting.front());
		fWaiting.pop_front();
		_TypeInTurn(lock, code);
	}
}

void Typist::_TypeInTurn(std::unique_lock<std::mutex>& lock, const std::string& code)
{
	const TyperSettings settings = fSettings;
	fTyping = true;
	lock.unlock();
	_TypeCode(code, settings);
	lock.lock();
	fTyping = false;
	// The typist's thread is woken only when a code waits for it.
	if (!fWaiting.empty())
		fWork.notify_one();
	fChanged.notify_all();
}

void Typist::_TypeCode(const std::string& code, const TyperSettings& settings)
{
	if (settings.type == TypedKind::Off)
		return;
	const std::string text = TypedText(code, settings.type);
	std::string why;
	const std::shared_ptr<const LayoutKeys> layout = fLayouts(settings, &why);
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
	// With no delay the whole code goes into the stream at once, which
	// then takes its keys in a row; with one, each key at its time.
	const bool atOnce = settings.keyDelay == 0;
	for (size_t index = 0; index < keys->size(); index++) {
		if (index > 0)
			fClock->Sleep(settings.keyDelay);
		const TypedKey& key = (*keys)[index];
		const bigtime_t when = fClock->Now();
		if (key.down)
			keyboard.KeyDown(key.key, when, false, messages);
		else
			keyboard.KeyUp(key.key, when, messages);
		// The bytes the layout types, not those a US keyboard would.
		if (!key.bytes.empty()) {
			messages.back() = stria::KeyMessage::Key(B_KEY_DOWN, when, key.key,
			                                         keyboard.Modifiers(), key.bytes,
			                                         keyboard.States());
		}
		if (atOnce && index + 1 < keys->size())
			continue;
		if (!fSink(std::move(messages))) {
			fLog(std::string("the input stream took no more keys; scan ") +
			     (atOnce || index == 0 ? "not typed: " : "typed in part: ") + printable_code(text));
			return;
		}
		messages.clear();
	}
}
