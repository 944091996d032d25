// The keys of a US PC keyboard: Be key codes, Linux evdev codes, the bytes
// each key types, and the modifier keys with their bits. The one table that
// every keyboard source of the server (replay scripts, evdev nodes, event
// files) and the uinput writer share.
#ifndef STRIA_US_KEYBOARD_H
#define STRIA_US_KEYBOARD_H

#include <SupportDefs.h>

#include <optional>
#include <span>
#include <string>

namespace stria {

// One key: its codes, the byte it types without and with Shift (0: the key
// types no character), and the modifier bits it holds down or toggles.
struct UsKey {
	int32 beKey;
	uint16 linuxCode;
	uint8 plain;
	uint8 shifted;
	uint32 modifier;
	const char* name;
};

// How a person types one character: the key, and whether Shift is held.
struct KeyStroke {
	int32 key;
	bool shift;
};

class UsKeyboard {
public:
	// Every key, in Be key code order.
	static std::span<const UsKey> Keys();

	// The key with this code, or nullptr.
	static const UsKey* FromBeKey(int32 key);
	static const UsKey* FromLinuxCode(int linuxCode);

	// Code conversions; 0 when the other side has no such key.
	static int32 BeKeyFromLinux(int linuxCode);
	static int LinuxFromBeKey(int32 key);

	// The key (and Shift) that types an ASCII character; none for
	// characters no key of the keyboard types (control bytes other than
	// Tab, Enter, Backspace and Escape, bytes above 0x7e).
	static std::optional<KeyStroke> StrokeFor(char character);

	// The bytes a key types under these modifiers: Shift, Caps Lock
	// (letters only), Num Lock (the keypad), Control (letters give control
	// bytes). Empty for modifier keys and unknown keys.
	static std::string BytesFor(int32 key, uint32 modifiers);

	// The byte the key types with no modifiers at all, 0 when none.
	static uint8 RawChar(int32 key);

	// Modifier keys: Shift, Control, Alt (command), Windows (option), Menu,
	// and the three locks.
	static bool IsModifier(int32 key);
	static bool IsLock(int32 key);
	// The bits a modifier key holds (for example B_SHIFT_KEY |
	// B_LEFT_SHIFT_KEY) or toggles (B_CAPS_LOCK); 0 for other keys.
	static uint32 ModifierBits(int32 key);
	// The modifier key that holds or toggles exactly these bits, 0 if none.
	static int32 KeyForModifier(uint32 bits);
};

} // namespace stria

#endif // STRIA_US_KEYBOARD_H
