// Key events into keyboard messages: modifiers, locks, repeats, states.
#include "KeyboardState.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using stria::KeyboardState;

namespace {

// One line per message: what, key, modifiers, old modifiers and bytes.
std::string Describe(const BMessage& message)
{
	std::string text;
	switch (message.what) {
	case B_KEY_DOWN:
		text = "down";
		break;
	case B_KEY_UP:
		text = "up";
		break;
	case B_UNMAPPED_KEY_DOWN:
		text = "unmapped-down";
		break;
	case B_UNMAPPED_KEY_UP:
		text = "unmapped-up";
		break;
	case B_MODIFIERS_CHANGED:
		text = "modifiers";
		break;
	default:
		text = "other";
		break;
	}
	char field[64];
	int32 value = 0;
	if (message.FindInt32("key", &value) == B_OK) {
		std::snprintf(field, sizeof(field), " key=0x%x", value);
		text += field;
	}
	if (message.FindInt32("modifiers", &value) == B_OK) {
		std::snprintf(field, sizeof(field), " mod=0x%x", value);
		text += field;
	}
	if (message.FindInt32("be:old_modifiers", &value) == B_OK) {
		std::snprintf(field, sizeof(field), " old=0x%x", value);
		text += field;
	}
	const char* bytes = nullptr;
	if (message.FindString("bytes", &bytes) == B_OK) {
		text += " bytes=";
		for (const char* b = bytes; *b != '\0'; b++) {
			if (*b >= 0x21 && *b <= 0x7e) {
				text += *b;
			} else {
				std::snprintf(field, sizeof(field), "\\x%02x", static_cast<uint8>(*b));
				text += field;
			}
		}
	}
	return text;
}

enum Action { Down, Repeat, Up };

struct Step {
	Action action;
	int32 key;
	std::vector<std::string> messages;
};

struct Sequence {
	const char* name;
	uint32 locks;
	std::vector<Step> steps;
};

void Play(const Sequence& sequence)
{
	SCOPED_TRACE(sequence.name);
	KeyboardState state(sequence.locks);
	bigtime_t when = 1000;
	for (const Step& step : sequence.steps) {
		KeyboardState::Messages out;
		if (step.action == Up)
			state.KeyUp(step.key, when, out);
		else
			state.KeyDown(step.key, when, step.action == Repeat, out);
		std::vector<std::string> got;
		for (const auto& message : out) {
			got.push_back(Describe(*message));
			int64 stamp = 0;
			EXPECT_EQ(message->FindInt64("when", &stamp), B_OK);
			EXPECT_EQ(stamp, when);
		}
		EXPECT_EQ(got, step.messages) << "key 0x" << std::hex << step.key;
		when += 1000;
	}
}

TEST(KeyboardState, SequencesGiveThePlatformsMessages)
{
	const Sequence sequences[] = {
	        {"a capital with the left Shift",
	         0,
	         {
	                 {Down,
	                  0x4b,
	                  {"modifiers mod=0x101 old=0x0", "unmapped-down key=0x4b mod=0x101"}},
	                 {Down, 0x3c, {"down key=0x3c mod=0x101 bytes=A"}},
	                 {Up, 0x3c, {"up key=0x3c mod=0x101 bytes=A"}},
	                 {Up, 0x4b, {"modifiers mod=0x0 old=0x101", "unmapped-up key=0x4b mod=0x0"}},
	                 {Down, 0x3c, {"down key=0x3c mod=0x0 bytes=a"}},
	         }},
	        {"both Shift keys: Shift stays until the last goes up",
	         0,
	         {
	                 {Down,
	                  0x4b,
	                  {"modifiers mod=0x101 old=0x0", "unmapped-down key=0x4b mod=0x101"}},
	                 {Down,
	                  0x56,
	                  {"modifiers mod=0x301 old=0x101", "unmapped-down key=0x56 mod=0x301"}},
	                 {Up,
	                  0x4b,
	                  {"modifiers mod=0x201 old=0x301", "unmapped-up key=0x4b mod=0x201"}},
	                 {Down, 0x12, {"down key=0x12 mod=0x201 bytes=!"}},
	                 {Up, 0x56, {"modifiers mod=0x0 old=0x201", "unmapped-up key=0x56 mod=0x0"}},
	         }},
	        {"Caps Lock toggles on its key-down only",
	         0,
	         {
	                 {Down, 0x3b, {"modifiers mod=0x8 old=0x0", "unmapped-down key=0x3b mod=0x8"}},
	                 {Up, 0x3b, {"unmapped-up key=0x3b mod=0x8"}},
	                 {Down, 0x3d, {"down key=0x3d mod=0x8 bytes=S"}},
	                 {Down, 0x3b, {"modifiers mod=0x0 old=0x8", "unmapped-down key=0x3b mod=0x0"}},
	                 {Up, 0x3b, {"unmapped-up key=0x3b mod=0x0"}},
	         }},
	        {"Num Lock on from the lights",
	         B_NUM_LOCK,
	         {
	                 {Down, 0x37, {"down key=0x37 mod=0x20 bytes=7"}},
	                 {Down, 0x22, {"modifiers mod=0x0 old=0x20", "unmapped-down key=0x22 mod=0x0"}},
	                 {Down, 0x38, {"down key=0x38 mod=0x0 bytes=\\x1e"}},
	         }},
	        {"auto-repeat gives key-downs; a repeated modifier gives nothing",
	         0,
	         {
	                 {Down,
	                  0x5d,
	                  {"modifiers mod=0x402 old=0x0", "unmapped-down key=0x5d mod=0x402"}},
	                 {Repeat, 0x5d, {}},
	                 {Down, 0x0b, {"down key=0xb mod=0x402 bytes=\\x10"}},
	                 {Repeat, 0x0b, {"down key=0xb mod=0x402 bytes=\\x10"}},
	                 {Up, 0x0b, {"up key=0xb mod=0x402 bytes=\\x10"}},
	                 {Up, 0x5d, {"modifiers mod=0x0 old=0x402", "unmapped-up key=0x5d mod=0x0"}},
	         }},
	        {"a modifier released that was never seen down changes nothing",
	         0,
	         {
	                 {Up, 0x5c, {"unmapped-up key=0x5c mod=0x0"}},
	         }},
	        {"Control and the Windows and Menu keys",
	         0,
	         {
	                 {Down,
	                  0x60,
	                  {"modifiers mod=0x2004 old=0x0", "unmapped-down key=0x60 mod=0x2004"}},
	                 {Down, 0x4e, {"down key=0x4e mod=0x2004 bytes=\\x03"}},
	                 {Down,
	                  0x67,
	                  {"modifiers mod=0xa044 old=0x2004", "unmapped-down key=0x67 mod=0xa044"}},
	                 {Down,
	                  0x68,
	                  {"modifiers mod=0xa0c4 old=0xa044", "unmapped-down key=0x68 mod=0xa0c4"}},
	         }},
	};
	for (const Sequence& sequence : sequences)
		Play(sequence);
}

TEST(KeyboardState, StatesCarryTheHeldKeysMostSignificantBitFirst)
{
	KeyboardState state;
	KeyboardState::Messages out;
	state.KeyDown(0x4b, 1, false, out); // left Shift: byte 9, bit 7 - 3
	state.KeyDown(0x3c, 2, false, out); // A: byte 7, bit 7 - 4
	ASSERT_EQ(out.size(), 3u);
	const void* data = nullptr;
	ssize_t size = 0;
	ASSERT_EQ(out.back()->FindData("states", B_UINT8_TYPE, &data, &size), B_OK);
	ASSERT_EQ(size, 16);
	const uint8* states = static_cast<const uint8*>(data);
	for (int i = 0; i < 16; i++) {
		const uint8 expected = i == 9 ? 0x10 : i == 7 ? 0x08 : 0;
		EXPECT_EQ(states[i], expected) << "byte " << i;
	}
	const void* byteData = nullptr;
	ASSERT_EQ(out.back()->FindData("byte", B_INT8_TYPE, &byteData, &size), B_OK);
	EXPECT_EQ(*static_cast<const int8*>(byteData), 'A');
	EXPECT_EQ(out.back()->GetInt32("raw_char", 0), 'a');
	state.KeyUp(0x3c, 3, out);
	EXPECT_FALSE(state.IsDown(0x3c));
	EXPECT_TRUE(state.IsDown(0x4b));
}

} // namespace
