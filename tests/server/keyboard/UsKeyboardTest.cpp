// The US keyboard table against the platform's key codes and a US layout.
#include "UsKeyboard.h"

#include <InterfaceDefs.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <set>
#include <string>

using stria::KeyStroke;
using stria::UsKeyboard;

namespace {

struct CodePair {
	int linuxCode;
	int32 be;
};

// Known pairs: the scan-code order of codes 1 to 83 and every code from 84
// on that a PC keyboard has.
constexpr CodePair kKnownPairs[] = {
        {KEY_ESC, 0x01},        {KEY_1, 0x12},         {KEY_9, 0x1a},
        {KEY_0, 0x1b},          {KEY_MINUS, 0x1c},     {KEY_EQUAL, 0x1d},
        {KEY_BACKSPACE, 0x1e},  {KEY_TAB, 0x26},       {KEY_Q, 0x27},
        {KEY_P, 0x30},          {KEY_LEFTBRACE, 0x31}, {KEY_RIGHTBRACE, 0x32},
        {KEY_ENTER, 0x47},      {KEY_LEFTCTRL, 0x5c},  {KEY_A, 0x3c},
        {KEY_L, 0x44},          {KEY_SEMICOLON, 0x45}, {KEY_APOSTROPHE, 0x46},
        {KEY_GRAVE, 0x11},      {KEY_LEFTSHIFT, 0x4b}, {KEY_BACKSLASH, 0x33},
        {KEY_Z, 0x4c},          {KEY_M, 0x52},         {KEY_COMMA, 0x53},
        {KEY_DOT, 0x54},        {KEY_SLASH, 0x55},     {KEY_RIGHTSHIFT, 0x56},
        {KEY_KPASTERISK, 0x24}, {KEY_LEFTALT, 0x5d},   {KEY_SPACE, 0x5e},
        {KEY_CAPSLOCK, 0x3b},   {KEY_F1, 0x02},        {KEY_F5, 0x06},
        {KEY_F10, 0x0b},        {KEY_NUMLOCK, 0x22},   {KEY_SCROLLLOCK, 0x0f},
        {KEY_KP7, 0x37},        {KEY_KP8, 0x38},       {KEY_KP9, 0x39},
        {KEY_KPMINUS, 0x25},    {KEY_KP4, 0x48},       {KEY_KP5, 0x49},
        {KEY_KP6, 0x4a},        {KEY_KPPLUS, 0x3a},    {KEY_KP1, 0x58},
        {KEY_KP2, 0x59},        {KEY_KP3, 0x5a},       {KEY_KP0, 0x64},
        {KEY_KPDOT, 0x65},      {KEY_102ND, 0x69},     {KEY_F11, 0x0c},
        {KEY_F12, 0x0d},        {KEY_KPENTER, 0x5b},   {KEY_RIGHTCTRL, 0x60},
        {KEY_KPSLASH, 0x23},    {KEY_SYSRQ, 0x0e},     {KEY_RIGHTALT, 0x5f},
        {KEY_HOME, 0x20},       {KEY_UP, 0x57},        {KEY_PAGEUP, 0x21},
        {KEY_LEFT, 0x61},       {KEY_RIGHT, 0x63},     {KEY_END, 0x35},
        {KEY_DOWN, 0x62},       {KEY_PAGEDOWN, 0x36},  {KEY_INSERT, 0x1f},
        {KEY_DELETE, 0x34},     {KEY_PAUSE, 0x10},     {KEY_LEFTMETA, 0x66},
        {KEY_RIGHTMETA, 0x67},  {KEY_COMPOSE, 0x68},
};

TEST(UsKeyboard, KnownLinuxCodesMapBothWays)
{
	for (const CodePair& pair : kKnownPairs) {
		SCOPED_TRACE(pair.linuxCode);
		EXPECT_EQ(UsKeyboard::BeKeyFromLinux(pair.linuxCode), pair.be);
		EXPECT_EQ(UsKeyboard::LinuxFromBeKey(pair.be), pair.linuxCode);
	}
}

TEST(UsKeyboard, EveryBeKeyOfThePcKeyboardOnceAndOnlyOnce)
{
	std::set<int32> beKeys;
	std::set<int> linuxCodes;
	for (const stria::UsKey& key : UsKeyboard::Keys()) {
		EXPECT_TRUE(beKeys.insert(key.beKey).second) << "Be key twice: " << key.beKey;
		EXPECT_TRUE(linuxCodes.insert(key.linuxCode).second) << "Linux code twice: " << key.name;
	}
	for (int32 be = 0x01; be <= 0x69; be++)
		EXPECT_EQ(beKeys.count(be), 1u) << "missing Be key " << be;
	EXPECT_EQ(beKeys.size(), 0x69u);
}

TEST(UsKeyboard, CodesOutsideTheKeyboardMapToNothing)
{
	for (int code : {0, KEY_MUTE, KEY_VOLUMEUP, BTN_LEFT, KEY_MAX, -1, 100000})
		EXPECT_EQ(UsKeyboard::BeKeyFromLinux(code), 0) << code;
	for (int32 be : {0, 0x6a, 0x7f, 0x80, -1})
		EXPECT_EQ(UsKeyboard::LinuxFromBeKey(be), 0) << be;
}

// The US layout written out row by row, independent of the table: each
// row's keys are consecutive Be key codes.
struct LayoutRow {
	int32 firstKey;
	const char* plain;
	const char* shifted;
};

constexpr LayoutRow kLayout[] = {
        {0x11, "`1234567890-=", "~!@#$%^&*()_+"},
        {0x27, "qwertyuiop[]\\", "QWERTYUIOP{}|"},
        {0x3c, "asdfghjkl;'", "ASDFGHJKL:\""},
        {0x4c, "zxcvbnm,./", "ZXCVBNM<>?"},
        {0x5e, " ", ""},
};

TEST(UsKeyboard, EveryPrintableCharacterHasItsKeyAndBytes)
{
	std::set<char> covered;
	for (const LayoutRow& row : kLayout) {
		for (int shift = 0; shift < 2; shift++) {
			const std::string characters = shift ? row.shifted : row.plain;
			for (size_t i = 0; i < characters.size(); i++) {
				const char c = characters[i];
				const int32 key = row.firstKey + static_cast<int32>(i);
				SCOPED_TRACE(std::string("character '") + c + "'");
				std::optional<KeyStroke> stroke = UsKeyboard::StrokeFor(c);
				ASSERT_TRUE(stroke.has_value());
				EXPECT_EQ(stroke->key, key);
				EXPECT_EQ(stroke->shift, shift == 1);
				const uint32 modifiers = shift ? B_SHIFT_KEY | B_LEFT_SHIFT_KEY : 0;
				EXPECT_EQ(UsKeyboard::BytesFor(key, modifiers), std::string(1, c));
				covered.insert(c);
			}
		}
	}
	EXPECT_EQ(covered.size(), 0x7fu - 0x20u) << "the layout rows cover all of ASCII 0x20-0x7e";
}

TEST(UsKeyboard, ControlCharactersThatKeysType)
{
	const struct {
		char character;
		int32 key;
	} cases[] = {{'\n', 0x47}, {'\t', 0x26}, {'\b', 0x1e}, {'\x1b', 0x01}, {'\x7f', 0x34}};
	for (const auto& c : cases) {
		std::optional<KeyStroke> stroke = UsKeyboard::StrokeFor(c.character);
		ASSERT_TRUE(stroke.has_value()) << int(c.character);
		EXPECT_EQ(stroke->key, c.key);
		EXPECT_FALSE(stroke->shift);
	}
	for (char c : {'\0', '\x01', '\x10', '\x1c', '\r', '\x80', '\xe9'})
		EXPECT_FALSE(UsKeyboard::StrokeFor(c).has_value()) << int(c);
}

TEST(UsKeyboard, BytesUnderModifiers)
{
	constexpr uint32 shift = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
	const struct {
		int32 key;
		uint32 modifiers;
		std::string bytes;
	} cases[] = {
	        {0x47, 0, "\n"},                  // Enter
	        {0x5b, 0, "\n"},                  // keypad Enter
	        {0x1e, 0, "\b"},                  // Backspace
	        {0x26, shift, "\t"},              // Tab
	        {0x01, 0, "\x1b"},                // Escape
	        {0x02, 0, "\x10"},                // F1
	        {0x0b, shift, "\x10"},            // F10, Shift or not
	        {0x0d, 0, "\x10"},                // F12
	        {0x61, 0, "\x1c"},                // Left
	        {0x63, 0, "\x1d"},                // Right
	        {0x57, 0, "\x1e"},                // Up
	        {0x62, 0, "\x1f"},                // Down
	        {0x34, 0, "\x7f"},                // Delete
	        {0x20, 0, "\x01"},                // Home
	        {0x35, 0, "\x04"},                // End
	        {0x3c, B_CAPS_LOCK, "A"},         // Caps Lock capitalises letters
	        {0x3c, B_CAPS_LOCK | shift, "a"}, // and Shift undoes it
	        {0x12, B_CAPS_LOCK, "1"},         // but leaves other keys alone
	        {0x54, B_CAPS_LOCK, "."},
	        {0x54, shift, ">"},
	        {0x4e, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, "\x03"}, // Control-C
	        {0x3c, B_COMMAND_KEY | B_LEFT_COMMAND_KEY, "a"},    // Alt leaves the byte
	        {0x37, B_NUM_LOCK, "7"},                            // keypad with Num Lock
	        {0x37, 0, "\x01"},                                  // and without: Home
	        {0x65, B_NUM_LOCK, "."},
	        {0x65, 0, "\x7f"},
	        {0x49, 0, ""}, // keypad 5 without Num Lock types nothing
	        {0x23, 0, "/"},
	        {0x4b, 0, ""}, // modifier keys type nothing
	        {0x3b, 0, ""},
	        {0x68, 0, ""},
	        {0x6a, 0, ""}, // no such key
	};
	for (const auto& c : cases) {
		EXPECT_EQ(UsKeyboard::BytesFor(c.key, c.modifiers), c.bytes)
		        << "key " << c.key << " modifiers " << c.modifiers;
	}
}

TEST(UsKeyboard, ModifierKeysAndTheirBits)
{
	const struct {
		int32 key;
		uint32 bits;
		bool lock;
	} cases[] = {
	        {0x4b, B_SHIFT_KEY | B_LEFT_SHIFT_KEY, false},
	        {0x56, B_SHIFT_KEY | B_RIGHT_SHIFT_KEY, false},
	        {0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, false},
	        {0x60, B_CONTROL_KEY | B_RIGHT_CONTROL_KEY, false},
	        {0x5d, B_COMMAND_KEY | B_LEFT_COMMAND_KEY, false},
	        {0x5f, B_COMMAND_KEY | B_RIGHT_COMMAND_KEY, false},
	        {0x66, B_OPTION_KEY | B_LEFT_OPTION_KEY, false},
	        {0x67, B_OPTION_KEY | B_RIGHT_OPTION_KEY, false},
	        {0x68, B_MENU_KEY, false},
	        {0x3b, B_CAPS_LOCK, true},
	        {0x22, B_NUM_LOCK, true},
	        {0x0f, B_SCROLL_LOCK, true},
	};
	std::set<int32> modifiers;
	for (const auto& c : cases) {
		SCOPED_TRACE(c.key);
		EXPECT_TRUE(UsKeyboard::IsModifier(c.key));
		EXPECT_EQ(UsKeyboard::IsLock(c.key), c.lock);
		EXPECT_EQ(UsKeyboard::ModifierBits(c.key), c.bits);
		EXPECT_EQ(UsKeyboard::KeyForModifier(c.bits), c.key);
		modifiers.insert(c.key);
	}
	for (const stria::UsKey& key : UsKeyboard::Keys()) {
		if (modifiers.count(key.beKey) == 0) {
			EXPECT_FALSE(UsKeyboard::IsModifier(key.beKey)) << key.name;
			EXPECT_EQ(UsKeyboard::ModifierBits(key.beKey), 0u) << key.name;
		}
	}
}

} // namespace
