// Builds the platform's keyboard messages.
#ifndef STRIA_KEY_MESSAGE_H
#define STRIA_KEY_MESSAGE_H

#include <SupportDefs.h>

#include <array>
#include <memory>
#include <string_view>

class BMessage;

namespace stria {

// "states": one bit per Be key code, most significant bit first (key k is
// bit 7 - k % 8 of byte k / 8); in a message, one 16-byte B_UINT8_TYPE item.
using KeyStates = std::array<uint8, 16>;

void SetKeyState(KeyStates& states, int32 key, bool down);
bool KeyStateOf(const KeyStates& states, int32 key);

class KeyMessage {
public:
	// B_KEY_DOWN or B_KEY_UP with "when", "key", "modifiers", "states" and,
	// when bytes is not empty, one int8 "byte" per byte, "bytes" and
	// "raw_char" (the byte the key types with no modifiers).
	static std::unique_ptr<BMessage> Key(uint32 what, bigtime_t when, int32 key, uint32 modifiers,
	                                     std::string_view bytes, const KeyStates& states);
	// The same, with the bytes and raw_char the US keyboard gives for this
	// key under these modifiers.
	static std::unique_ptr<BMessage> UsKey(uint32 what, bigtime_t when, int32 key, uint32 modifiers,
	                                       const KeyStates& states);
	// B_UNMAPPED_KEY_DOWN or B_UNMAPPED_KEY_UP: "when", "key", "modifiers",
	// "states".
	static std::unique_ptr<BMessage> Unmapped(uint32 what, bigtime_t when, int32 key,
	                                          uint32 modifiers, const KeyStates& states);
	// B_MODIFIERS_CHANGED: "when", "modifiers", "be:old_modifiers", "states".
	static std::unique_ptr<BMessage> ModifiersChanged(bigtime_t when, uint32 modifiers,
	                                                  uint32 oldModifiers, const KeyStates& states);
};

} // namespace stria

#endif // STRIA_KEY_MESSAGE_H
