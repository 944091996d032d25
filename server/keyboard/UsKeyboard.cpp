#include "UsKeyboard.h"

#include <InterfaceDefs.h>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>

namespace stria {

namespace {

constexpr uint32 kLeftShift = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
constexpr uint32 kRightShift = B_SHIFT_KEY | B_RIGHT_SHIFT_KEY;
constexpr uint32 kLeftControl = B_CONTROL_KEY | B_LEFT_CONTROL_KEY;
constexpr uint32 kRightControl = B_CONTROL_KEY | B_RIGHT_CONTROL_KEY;
constexpr uint32 kLeftCommand = B_COMMAND_KEY | B_LEFT_COMMAND_KEY;
constexpr uint32 kRightCommand = B_COMMAND_KEY | B_RIGHT_COMMAND_KEY;
constexpr uint32 kLeftOption = B_OPTION_KEY | B_LEFT_OPTION_KEY;
constexpr uint32 kRightOption = B_OPTION_KEY | B_RIGHT_OPTION_KEY;
constexpr uint32 kLocks = B_CAPS_LOCK | B_SCROLL_LOCK | B_NUM_LOCK;

constexpr uint8 kFn = B_FUNCTION_KEY;

// The keypad keys whose byte depends on Num Lock: the digit (or point)
// with Num Lock, the navigation byte without (0: none).
struct KeypadKey {
	int32 beKey;
	uint8 withNumLock;
	uint8 withoutNumLock;
};

constexpr std::array<KeypadKey, 11> kKeypad = {{
        {0x37, '7', B_HOME},
        {0x38, '8', B_UP_ARROW},
        {0x39, '9', B_PAGE_UP},
        {0x48, '4', B_LEFT_ARROW},
        {0x49, '5', 0},
        {0x4a, '6', B_RIGHT_ARROW},
        {0x58, '1', B_END},
        {0x59, '2', B_DOWN_ARROW},
        {0x5a, '3', B_PAGE_DOWN},
        {0x64, '0', B_INSERT},
        {0x65, '.', B_DELETE},
}};

// Keypad keys list their Num Lock byte here; BytesFor applies the lock.
constexpr std::array<UsKey, 105> kKeys = {{
        {0x01, KEY_ESC, B_ESCAPE, B_ESCAPE, 0, "Esc"},
        {0x02, KEY_F1, kFn, kFn, 0, "F1"},
        {0x03, KEY_F2, kFn, kFn, 0, "F2"},
        {0x04, KEY_F3, kFn, kFn, 0, "F3"},
        {0x05, KEY_F4, kFn, kFn, 0, "F4"},
        {0x06, KEY_F5, kFn, kFn, 0, "F5"},
        {0x07, KEY_F6, kFn, kFn, 0, "F6"},
        {0x08, KEY_F7, kFn, kFn, 0, "F7"},
        {0x09, KEY_F8, kFn, kFn, 0, "F8"},
        {0x0a, KEY_F9, kFn, kFn, 0, "F9"},
        {0x0b, KEY_F10, kFn, kFn, 0, "F10"},
        {0x0c, KEY_F11, kFn, kFn, 0, "F11"},
        {0x0d, KEY_F12, kFn, kFn, 0, "F12"},
        {0x0e, KEY_SYSRQ, kFn, kFn, 0, "PrintScreen"},
        {0x0f, KEY_SCROLLLOCK, 0, 0, B_SCROLL_LOCK, "ScrollLock"},
        {0x10, KEY_PAUSE, kFn, kFn, 0, "Pause"},

        {0x11, KEY_GRAVE, '`', '~', 0, "`"},
        {0x12, KEY_1, '1', '!', 0, "1"},
        {0x13, KEY_2, '2', '@', 0, "2"},
        {0x14, KEY_3, '3', '#', 0, "3"},
        {0x15, KEY_4, '4', '$', 0, "4"},
        {0x16, KEY_5, '5', '%', 0, "5"},
        {0x17, KEY_6, '6', '^', 0, "6"},
        {0x18, KEY_7, '7', '&', 0, "7"},
        {0x19, KEY_8, '8', '*', 0, "8"},
        {0x1a, KEY_9, '9', '(', 0, "9"},
        {0x1b, KEY_0, '0', ')', 0, "0"},
        {0x1c, KEY_MINUS, '-', '_', 0, "-"},
        {0x1d, KEY_EQUAL, '=', '+', 0, "="},
        {0x1e, KEY_BACKSPACE, B_BACKSPACE, B_BACKSPACE, 0, "Backspace"},
        {0x1f, KEY_INSERT, B_INSERT, B_INSERT, 0, "Insert"},
        {0x20, KEY_HOME, B_HOME, B_HOME, 0, "Home"},
        {0x21, KEY_PAGEUP, B_PAGE_UP, B_PAGE_UP, 0, "PageUp"},
        {0x22, KEY_NUMLOCK, 0, 0, B_NUM_LOCK, "NumLock"},
        {0x23, KEY_KPSLASH, '/', '/', 0, "Keypad/"},
        {0x24, KEY_KPASTERISK, '*', '*', 0, "Keypad*"},
        {0x25, KEY_KPMINUS, '-', '-', 0, "Keypad-"},

        {0x26, KEY_TAB, B_TAB, B_TAB, 0, "Tab"},
        {0x27, KEY_Q, 'q', 'Q', 0, "Q"},
        {0x28, KEY_W, 'w', 'W', 0, "W"},
        {0x29, KEY_E, 'e', 'E', 0, "E"},
        {0x2a, KEY_R, 'r', 'R', 0, "R"},
        {0x2b, KEY_T, 't', 'T', 0, "T"},
        {0x2c, KEY_Y, 'y', 'Y', 0, "Y"},
        {0x2d, KEY_U, 'u', 'U', 0, "U"},
        {0x2e, KEY_I, 'i', 'I', 0, "I"},
        {0x2f, KEY_O, 'o', 'O', 0, "O"},
        {0x30, KEY_P, 'p', 'P', 0, "P"},
        {0x31, KEY_LEFTBRACE, '[', '{', 0, "["},
        {0x32, KEY_RIGHTBRACE, ']', '}', 0, "]"},
        {0x33, KEY_BACKSLASH, '\\', '|', 0, "\\"},
        {0x34, KEY_DELETE, B_DELETE, B_DELETE, 0, "Delete"},
        {0x35, KEY_END, B_END, B_END, 0, "End"},
        {0x36, KEY_PAGEDOWN, B_PAGE_DOWN, B_PAGE_DOWN, 0, "PageDown"},
        {0x37, KEY_KP7, '7', '7', 0, "Keypad7"},
        {0x38, KEY_KP8, '8', '8', 0, "Keypad8"},
        {0x39, KEY_KP9, '9', '9', 0, "Keypad9"},
        {0x3a, KEY_KPPLUS, '+', '+', 0, "Keypad+"},

        {0x3b, KEY_CAPSLOCK, 0, 0, B_CAPS_LOCK, "CapsLock"},
        {0x3c, KEY_A, 'a', 'A', 0, "A"},
        {0x3d, KEY_S, 's', 'S', 0, "S"},
        {0x3e, KEY_D, 'd', 'D', 0, "D"},
        {0x3f, KEY_F, 'f', 'F', 0, "F"},
        {0x40, KEY_G, 'g', 'G', 0, "G"},
        {0x41, KEY_H, 'h', 'H', 0, "H"},
        {0x42, KEY_J, 'j', 'J', 0, "J"},
        {0x43, KEY_K, 'k', 'K', 0, "K"},
        {0x44, KEY_L, 'l', 'L', 0, "L"},
        {0x45, KEY_SEMICOLON, ';', ':', 0, ";"},
        {0x46, KEY_APOSTROPHE, '\'', '"', 0, "'"},
        {0x47, KEY_ENTER, B_ENTER, B_ENTER, 0, "Enter"},
        {0x48, KEY_KP4, '4', '4', 0, "Keypad4"},
        {0x49, KEY_KP5, '5', '5', 0, "Keypad5"},
        {0x4a, KEY_KP6, '6', '6', 0, "Keypad6"},

        {0x4b, KEY_LEFTSHIFT, 0, 0, kLeftShift, "LeftShift"},
        {0x4c, KEY_Z, 'z', 'Z', 0, "Z"},
        {0x4d, KEY_X, 'x', 'X', 0, "X"},
        {0x4e, KEY_C, 'c', 'C', 0, "C"},
        {0x4f, KEY_V, 'v', 'V', 0, "V"},
        {0x50, KEY_B, 'b', 'B', 0, "B"},
        {0x51, KEY_N, 'n', 'N', 0, "N"},
        {0x52, KEY_M, 'm', 'M', 0, "M"},
        {0x53, KEY_COMMA, ',', '<', 0, ","},
        {0x54, KEY_DOT, '.', '>', 0, "."},
        {0x55, KEY_SLASH, '/', '?', 0, "/"},
        {0x56, KEY_RIGHTSHIFT, 0, 0, kRightShift, "RightShift"},
        {0x57, KEY_UP, B_UP_ARROW, B_UP_ARROW, 0, "Up"},
        {0x58, KEY_KP1, '1', '1', 0, "Keypad1"},
        {0x59, KEY_KP2, '2', '2', 0, "Keypad2"},
        {0x5a, KEY_KP3, '3', '3', 0, "Keypad3"},

        {0x5b, KEY_KPENTER, B_ENTER, B_ENTER, 0, "KeypadEnter"},
        {0x5c, KEY_LEFTCTRL, 0, 0, kLeftControl, "LeftControl"},
        {0x5d, KEY_LEFTALT, 0, 0, kLeftCommand, "LeftAlt"},
        {0x5e, KEY_SPACE, ' ', ' ', 0, "Space"},
        {0x5f, KEY_RIGHTALT, 0, 0, kRightCommand, "RightAlt"},
        {0x60, KEY_RIGHTCTRL, 0, 0, kRightControl, "RightControl"},
        {0x61, KEY_LEFT, B_LEFT_ARROW, B_LEFT_ARROW, 0, "Left"},
        {0x62, KEY_DOWN, B_DOWN_ARROW, B_DOWN_ARROW, 0, "Down"},
        {0x63, KEY_RIGHT, B_RIGHT_ARROW, B_RIGHT_ARROW, 0, "Right"},
        {0x64, KEY_KP0, '0', '0', 0, "Keypad0"},
        {0x65, KEY_KPDOT, '.', '.', 0, "Keypad."},
        {0x66, KEY_LEFTMETA, 0, 0, kLeftOption, "LeftWindows"},
        {0x67, KEY_RIGHTMETA, 0, 0, kRightOption, "RightWindows"},
        {0x68, KEY_COMPOSE, 0, 0, B_MENU_KEY, "Menu"},
        {0x69, KEY_102ND, '\\', '|', 0, "102nd"},
}};

// Direct look-up tables, built once from kKeys.
constexpr int kMaxLinuxCode = KEY_COMPOSE;
constexpr int kMaxBeKey = 0x7f;

struct Index {
	std::array<int8, kMaxLinuxCode + 1> byLinux{};
	std::array<int8, kMaxBeKey + 1> byBe{};

	constexpr Index()
	{
		byLinux.fill(-1);
		byBe.fill(-1);
		for (size_t i = 0; i < kKeys.size(); i++) {
			byLinux[kKeys[i].linuxCode] = static_cast<int8>(i);
			byBe[kKeys[i].beKey] = static_cast<int8>(i);
		}
	}
};

constexpr Index kIndex;

const KeypadKey* FindKeypad(int32 key)
{
	for (const KeypadKey& entry : kKeypad) {
		if (entry.beKey == key)
			return &entry;
	}
	return nullptr;
}

bool IsKeypad(int32 key)
{
	return FindKeypad(key) != nullptr || key == 0x23 || key == 0x24 || key == 0x25 || key == 0x3a ||
	       key == 0x5b;
}

bool IsLetter(uint8 byte)
{
	return byte >= 'a' && byte <= 'z';
}

} // namespace

std::span<const UsKey> UsKeyboard::Keys()
{
	return kKeys;
}

const UsKey* UsKeyboard::FromBeKey(int32 key)
{
	if (key < 0 || key > kMaxBeKey || kIndex.byBe[key] < 0)
		return nullptr;
	return &kKeys[kIndex.byBe[key]];
}

const UsKey* UsKeyboard::FromLinuxCode(int linuxCode)
{
	if (linuxCode < 0 || linuxCode > kMaxLinuxCode || kIndex.byLinux[linuxCode] < 0)
		return nullptr;
	return &kKeys[kIndex.byLinux[linuxCode]];
}

int32 UsKeyboard::BeKeyFromLinux(int linuxCode)
{
	const UsKey* key = FromLinuxCode(linuxCode);
	return key != nullptr ? key->beKey : 0;
}

int UsKeyboard::LinuxFromBeKey(int32 beKey)
{
	const UsKey* key = FromBeKey(beKey);
	return key != nullptr ? key->linuxCode : 0;
}

std::optional<KeyStroke> UsKeyboard::StrokeFor(char character)
{
	const uint8 byte = static_cast<uint8>(character);
	const bool typeable = (byte >= ' ' && byte <= '~') || byte == B_TAB || byte == B_ENTER ||
	                      byte == B_BACKSPACE || byte == B_ESCAPE || byte == B_DELETE;
	if (!typeable)
		return std::nullopt;
	// The first key in table order wins, which is the main block's key
	// rather than the keypad's or the 102nd key's duplicate.
	for (const UsKey& key : kKeys) {
		if (IsKeypad(key.beKey))
			continue;
		if (key.plain == byte)
			return KeyStroke{key.beKey, false};
		if (key.shifted == byte)
			return KeyStroke{key.beKey, true};
	}
	return std::nullopt;
}

std::string UsKeyboard::BytesFor(int32 beKey, uint32 modifiers)
{
	const UsKey* key = FromBeKey(beKey);
	if (key == nullptr || key->modifier != 0)
		return {};
	if (const KeypadKey* keypad = FindKeypad(beKey)) {
		const uint8 byte =
		        (modifiers & B_NUM_LOCK) != 0 ? keypad->withNumLock : keypad->withoutNumLock;
		return byte != 0 ? std::string(1, static_cast<char>(byte)) : std::string();
	}
	const bool shift = (modifiers & B_SHIFT_KEY) != 0;
	uint8 byte = shift ? key->shifted : key->plain;
	if (IsLetter(key->plain)) {
		// Caps Lock swaps the case of letters only; with Shift it undoes it.
		const bool capital = shift != ((modifiers & B_CAPS_LOCK) != 0);
		byte = capital ? key->shifted : key->plain;
		if ((modifiers & B_CONTROL_KEY) != 0)
			byte = static_cast<uint8>(key->plain - 'a' + 1);
	}
	return std::string(1, static_cast<char>(byte));
}

uint8 UsKeyboard::RawChar(int32 beKey)
{
	const std::string bytes = BytesFor(beKey, B_NUM_LOCK);
	return bytes.empty() ? 0 : static_cast<uint8>(bytes[0]);
}

bool UsKeyboard::IsModifier(int32 beKey)
{
	const UsKey* key = FromBeKey(beKey);
	return key != nullptr && key->modifier != 0;
}

bool UsKeyboard::IsLock(int32 beKey)
{
	return (ModifierBits(beKey) & kLocks) != 0;
}

uint32 UsKeyboard::ModifierBits(int32 beKey)
{
	const UsKey* key = FromBeKey(beKey);
	return key != nullptr ? key->modifier : 0;
}

int32 UsKeyboard::KeyForModifier(uint32 bits)
{
	for (const UsKey& key : kKeys) {
		if (key.modifier != 0 && key.modifier == bits)
			return key.beKey;
	}
	return 0;
}

} // namespace stria
