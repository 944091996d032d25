#include "KeyEventTranslator.h"

#include "UsKeyboard.h"

#include <Message.h>
#include <StriaProtocol.h>

#include <linux/input-event-codes.h>

#include <algorithm>

namespace stria {

KeyEventTranslator::KeyEventTranslator(uint32 locks) : fState(locks) {}

void KeyEventTranslator::Translate(const EventRecord& record, KeyboardState::Messages& out)
{
	if (record.type == EV_SYN) {
		if (record.code == SYN_DROPPED) {
			// The filters hear of it: a scan the drop cut into is damaged.
			if (!fDropping && record.When()) {
				auto dropped = std::make_unique<BMessage>(STRIA_INPUT_DROPPED);
				dropped->AddInt64("when", *record.When());
				out.push_back(std::move(dropped));
			}
			fDropping = true;
		} else if (record.code == SYN_REPORT && fDropping) {
			fDropping = false;
			fNeedsResync = true;
		}
		return;
	}
	if (fDropping || record.type != EV_KEY)
		return;
	const std::optional<bigtime_t> when = record.When();
	if (!when)
		return;
	const int32 key = UsKeyboard::BeKeyFromLinux(record.code);
	if (key == 0) {
		fUnknownKeys++;
		return;
	}
	switch (record.value) {
	case 0:
		fState.KeyUp(key, *when, out);
		break;
	case 1:
		fState.KeyDown(key, *when, fState.IsDown(key), out);
		break;
	case 2:
		fState.KeyDown(key, *when, true, out);
		break;
	default:
		break;
	}
}

void KeyEventTranslator::Resync(std::span<const uint16> keysDown, bigtime_t when,
                                KeyboardState::Messages& out)
{
	fNeedsResync = false;
	for (const UsKey& key : UsKeyboard::Keys()) {
		const bool down =
		        std::find(keysDown.begin(), keysDown.end(), key.linuxCode) != keysDown.end();
		if (fState.IsDown(key.beKey) && !down)
			fState.KeyUp(key.beKey, when, out);
	}
	for (const UsKey& key : UsKeyboard::Keys()) {
		const bool down =
		        std::find(keysDown.begin(), keysDown.end(), key.linuxCode) != keysDown.end();
		if (!fState.IsDown(key.beKey) && down)
			fState.KeyDown(key.beKey, when, false, out);
	}
}

void KeyEventTranslator::ReleaseAll(bigtime_t when, KeyboardState::Messages& out)
{
	Resync({}, when, out);
}

} // namespace stria
