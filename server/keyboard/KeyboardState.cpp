#include "KeyboardState.h"

#include "UsKeyboard.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>

namespace stria {

namespace {

constexpr uint32 kLocks = B_CAPS_LOCK | B_SCROLL_LOCK | B_NUM_LOCK;

} // namespace

KeyboardState::KeyboardState(uint32 locks) : fLocks(locks & kLocks) {}

bool KeyboardState::IsDown(int32 key) const
{
	return KeyStateOf(fStates, key);
}

void KeyboardState::SetDown(int32 key, bool down)
{
	SetKeyState(fStates, key, down);
	fHeldModifiers = HeldModifiers();
}

// The held bits follow from the keys down, so that releasing one Shift key
// while the other is held keeps B_SHIFT_KEY.
uint32 KeyboardState::HeldModifiers() const
{
	uint32 bits = 0;
	for (const UsKey& key : UsKeyboard::Keys()) {
		if ((key.modifier & ~kLocks) != 0 && KeyStateOf(fStates, key.beKey))
			bits |= key.modifier;
	}
	return bits;
}

void KeyboardState::KeyDown(int32 key, bigtime_t when, bool repeat, Messages& out)
{
	if (UsKeyboard::IsModifier(key)) {
		if (repeat || IsDown(key))
			return;
		const uint32 before = Modifiers();
		SetDown(key, true);
		if (UsKeyboard::IsLock(key))
			fLocks ^= UsKeyboard::ModifierBits(key);
		if (Modifiers() != before)
			out.push_back(KeyMessage::ModifiersChanged(when, Modifiers(), before, fStates));
		out.push_back(KeyMessage::Unmapped(B_UNMAPPED_KEY_DOWN, when, key, Modifiers(), fStates));
		return;
	}
	// An auto-repeat says so, as the key-downs of Be's keyboards do.
	const bool again = repeat || IsDown(key);
	SetDown(key, true);
	std::unique_ptr<BMessage> message =
	        KeyMessage::UsKey(B_KEY_DOWN, when, key, Modifiers(), fStates);
	if (again)
		message->AddInt32("be:key_repeat", 1);
	out.push_back(std::move(message));
}

void KeyboardState::KeyUp(int32 key, bigtime_t when, Messages& out)
{
	if (UsKeyboard::IsModifier(key)) {
		const uint32 before = Modifiers();
		SetDown(key, false);
		if (Modifiers() != before)
			out.push_back(KeyMessage::ModifiersChanged(when, Modifiers(), before, fStates));
		out.push_back(KeyMessage::Unmapped(B_UNMAPPED_KEY_UP, when, key, Modifiers(), fStates));
		return;
	}
	SetDown(key, false);
	out.push_back(KeyMessage::UsKey(B_KEY_UP, when, key, Modifiers(), fStates));
}

} // namespace stria
