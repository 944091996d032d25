// Playing a replay script.
#include "ReplayDevice.h"

#include "KeyMessage.h"
#include "RelativeStamps.h"
#include "StatusText.h"

#include <AppDefs.h>
#include <Message.h>
#include <OS.h>
#include <StriaProtocol.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>

namespace stria {

namespace {

// Longest single wait, so that a time far off never overflows the standard
// library's time arithmetic.
constexpr bigtime_t kLongestWait = 3600000000LL;

} // namespace

ReplayDevice::ReplayDevice(std::string name, std::vector<ReplayEvent> events, bool fast,
                           std::optional<BMessenger> subscriber)
    : fName(std::move(name)), fEvents(std::move(events)), fFast(fast),
      fSubscriber(std::move(subscriber))
{
}

std::string ReplayDevice::Name() const
{
	return "replay " + fName;
}

void ReplayDevice::Run(InputSink& sink, std::stop_token stop)
{
	if (fEvents.empty())
		return;

	std::mutex lock;
	std::condition_variable_any never;
	RelativeStamps stamps(sink.InputStart());
	KeyStates states{};
	for (const ReplayEvent& event : fEvents) {
		if (stop.stop_requested())
			return;
		const bigtime_t when = stamps.OnServerClock(event.when);
		if (!fFast && when > system_time()) {
			sink.Quiet(when);
			std::unique_lock held(lock);
			for (bigtime_t left = when - system_time(); left > 0 && !stop.stop_requested();
			     left = when - system_time()) {
				never.wait_for(held, stop, std::chrono::microseconds(std::min(left, kLongestWait)),
				               [] { return false; });
			}
			if (stop.stop_requested())
				return;
		}

		std::unique_ptr<BMessage> message;
		std::string bytes;
		if (event.byte)
			bytes.assign(1, (char)*event.byte);
		switch (event.kind) {
		case ReplayEvent::Kind::KeyDown:
			SetKeyState(states, event.key, true);
			message = KeyMessage::Key(B_KEY_DOWN, when, event.key, event.modifiers, bytes, states);
			break;
		case ReplayEvent::Kind::KeyUp:
			SetKeyState(states, event.key, false);
			message = event.byte ? KeyMessage::Key(B_KEY_UP, when, event.key, event.modifiers,
			                                       bytes, states)
			                     : KeyMessage::UsKey(B_KEY_UP, when, event.key, event.modifiers,
			                                         states);
			break;
		case ReplayEvent::Kind::Modifiers:
			message =
			        KeyMessage::ModifiersChanged(when, event.modifiers, event.oldModifiers, states);
			break;
		case ReplayEvent::Kind::Control:
			Play(event, sink);
			break;
		}
		if (message)
			sink.Enqueue(std::move(message));
	}
}

void ReplayDevice::Play(const ReplayEvent& event, InputSink& sink)
{
	BMessage control;
	BMessage* argument = nullptr;
	switch (event.controlMessage) {
	case ReplayEvent::ControlMessage::None:
		break;
	case ReplayEvent::ControlMessage::Empty:
		argument = &control;
		break;
	case ReplayEvent::ControlMessage::Subscribe:
		if (fSubscriber)
			control.AddMessenger(STRIA_MESSENGER_FIELD, *fSubscriber);
		argument = &control;
		break;
	}
	status_t status = sink.Control(STRIA_DEVICE_NAME, event.code, argument);
	if (status != B_OK) {
		char code[16];
		std::snprintf(code, sizeof(code), "0x%08x", (unsigned)event.code);
		sink.Log(fName + ":" + std::to_string(event.line) + ": control " + code + " on \"" +
		         STRIA_DEVICE_NAME + "\": " + StatusText(status));
	}
}

} // namespace stria
