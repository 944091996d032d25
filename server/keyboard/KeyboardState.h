// What a keyboard holds down and which locks are on, and the keyboard
// messages each key event gives, as the platform's keyboard driver sends
// them.
#ifndef STRIA_KEYBOARD_STATE_H
#define STRIA_KEYBOARD_STATE_H

#include "KeyMessage.h"

#include <memory>
#include <vector>

class BMessage;

namespace stria {

class KeyboardState {
public:
	using Messages = std::vector<std::unique_ptr<BMessage>>;

	// locks: the lock bits (B_CAPS_LOCK, B_NUM_LOCK, B_SCROLL_LOCK) that
	// are on at the start, for example from the keyboard's lights.
	explicit KeyboardState(uint32 locks = 0);

	// A key goes down: a modifier key gives B_MODIFIERS_CHANGED (when its
	// bits change) and B_UNMAPPED_KEY_DOWN; any other key B_KEY_DOWN with
	// the bytes it types under the current modifiers. repeat: the key is
	// held and the keyboard repeats it; a repeated modifier key gives
	// nothing.
	void KeyDown(int32 key, bigtime_t when, bool repeat, Messages& out);
	// A key comes up: B_MODIFIERS_CHANGED (when the bits change) and
	// B_UNMAPPED_KEY_UP for a modifier key, B_KEY_UP for any other.
	void KeyUp(int32 key, bigtime_t when, Messages& out);

	uint32 Modifiers() const { return fHeldModifiers | fLocks; }
	const KeyStates& States() const { return fStates; }
	bool IsDown(int32 key) const;

private:
	void SetDown(int32 key, bool down);
	uint32 HeldModifiers() const;

	KeyStates fStates{};
	uint32 fHeldModifiers = 0;
	uint32 fLocks;
};

} // namespace stria

#endif // STRIA_KEYBOARD_STATE_H
