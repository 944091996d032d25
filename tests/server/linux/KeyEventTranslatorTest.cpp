// Records of a Linux keyboard into keyboard messages.
#include "KeyEventTranslator.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <string>
#include <vector>

using stria::EventRecord;
using stria::KeyboardState;
using stria::KeyEventTranslator;

namespace {

std::string Describe(const BMessage& message)
{
	const char* what = message.what == B_KEY_DOWN            ? "down"
	                   : message.what == B_KEY_UP            ? "up"
	                   : message.what == B_UNMAPPED_KEY_DOWN ? "unmapped-down"
	                   : message.what == B_UNMAPPED_KEY_UP   ? "unmapped-up"
	                   : message.what == B_MODIFIERS_CHANGED ? "modifiers"
	                   : message.what == STRIA_INPUT_DROPPED ? "dropped"
	                                                         : "other";
	std::string text = what;
	if (message.what != B_MODIFIERS_CHANGED)
		text += " " + std::to_string(message.GetInt32("key", -1));
	text += " " + std::to_string(message.GetInt32("modifiers", -1));
	const char* bytes = nullptr;
	if (message.FindString("bytes", &bytes) == B_OK)
		text += std::string(" '") + bytes + "'";
	text += " @" + std::to_string(message.GetInt64("when", -1));
	return text;
}

std::vector<std::string> Translate(KeyEventTranslator& translator,
                                   const std::vector<EventRecord>& records)
{
	KeyboardState::Messages out;
	for (const EventRecord& record : records)
		translator.Translate(record, out);
	std::vector<std::string> described;
	for (const auto& message : out)
		described.push_back(Describe(*message));
	return described;
}

EventRecord Key(bigtime_t when, uint16 code, int32 value)
{
	return EventRecord::At(when, EV_KEY, code, value);
}

EventRecord Sync(bigtime_t when, uint16 code = SYN_REPORT)
{
	return EventRecord::At(when, EV_SYN, code, 0);
}

TEST(KeyEventTranslator, RecordsBecomeMessages)
{
	const struct {
		const char* name;
		std::vector<EventRecord> records;
		std::vector<std::string> messages;
	} cases[] = {
	        {"a key with its scan code and report",
	         {EventRecord::At(5000001, EV_MSC, MSC_SCAN, 0x70004), Key(5000001, KEY_A, 1),
	          Sync(5000001), Key(5100002, KEY_A, 0), Sync(5100002)},
	         {"down 60 0 'a' @5000001", "up 60 0 'a' @5100002"}},
	        {"F10 and Enter as the filter knows them",
	         {Key(1, KEY_F10, 1), Key(2, KEY_F10, 0), Key(3, KEY_ENTER, 1), Key(4, KEY_ENTER, 0)},
	         {"down 11 0 '\x10' @1", "up 11 0 '\x10' @2", "down 71 0 '\n' @3", "up 71 0 '\n' @4"}},
	        {"Shift for a capital",
	         {Key(1, KEY_LEFTSHIFT, 1), Key(2, KEY_C, 1), Key(3, KEY_C, 0),
	          Key(4, KEY_LEFTSHIFT, 0)},
	         {"modifiers 257 @1", "unmapped-down 75 257 @1", "down 78 257 'C' @2",
	          "up 78 257 'C' @3", "modifiers 0 @4", "unmapped-up 75 0 @4"}},
	        {"auto-repeat: value 2 is another key-down",
	         {Key(1, KEY_X, 1), Key(500001, KEY_X, 2), Key(533001, KEY_X, 2),
	          Key(540000, KEY_X, 0)},
	         {"down 77 0 'x' @1", "down 77 0 'x' @500001", "down 77 0 'x' @533001",
	          "up 77 0 'x' @540000"}},
	        {"keys the US keyboard lacks are passed over",
	         {Key(1, KEY_VOLUMEUP, 1), Key(2, KEY_VOLUMEUP, 0), Key(3, BTN_LEFT, 1)},
	         {}},
	        {"other event types give nothing",
	         {EventRecord::At(1, EV_LED, LED_CAPSL, 1), EventRecord::At(1, EV_REL, REL_X, 5),
	          EventRecord::At(1, EV_REP, REP_DELAY, 250)},
	         {}},
	        {"events lost in an overflow are said once and not guessed at",
	         {Sync(1, SYN_DROPPED), Key(2, KEY_B, 1), Sync(2, SYN_DROPPED), Key(3, KEY_B, 0),
	          Key(4, KEY_N, 1)},
	         {"dropped -1 -1 @1"}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		KeyEventTranslator translator;
		EXPECT_EQ(Translate(translator, c.records), c.messages);
	}
}

TEST(KeyEventTranslator, ResyncAfterAnOverflowFollowsTheKernelsKeys)
{
	KeyEventTranslator translator;
	EXPECT_EQ(Translate(translator, {Key(1, KEY_A, 1), Key(2, KEY_LEFTSHIFT, 1)}).size(), 3u);
	EXPECT_EQ(Translate(translator, {Sync(3, SYN_DROPPED), Key(4, KEY_A, 0), Sync(5)}),
	          std::vector<std::string>{"dropped -1 -1 @3"});
	ASSERT_TRUE(translator.NeedsResync());

	// The kernel says: A came up, Shift is still down, Q went down.
	const std::vector<uint16> down = {KEY_LEFTSHIFT, KEY_Q};
	KeyboardState::Messages out;
	translator.Resync(down, 6, out);
	EXPECT_FALSE(translator.NeedsResync());
	std::vector<std::string> described;
	for (const auto& message : out)
		described.push_back(Describe(*message));
	EXPECT_EQ(described, (std::vector<std::string>{"up 60 257 'A' @6", "down 39 257 'Q' @6"}));
}

TEST(KeyEventTranslator, ReleaseAllLetsGoOfEveryHeldKey)
{
	KeyEventTranslator translator;
	Translate(translator, {Key(1, KEY_RIGHTALT, 1), Key(2, KEY_F10, 1), Key(3, KEY_CAPSLOCK, 1)});
	KeyboardState::Messages out;
	translator.ReleaseAll(9, out);
	std::vector<std::string> described;
	for (const auto& message : out)
		described.push_back(Describe(*message));
	EXPECT_EQ(described, (std::vector<std::string>{"up 11 2058 '\x10' @9", "unmapped-up 59 2058 @9",
	                                               "modifiers 8 @9", "unmapped-up 95 8 @9"}));
	EXPECT_EQ(translator.State().Modifiers(), static_cast<uint32>(B_CAPS_LOCK));
}

TEST(KeyEventTranslator, LocksStartFromTheLights)
{
	KeyEventTranslator translator(B_CAPS_LOCK | B_NUM_LOCK);
	EXPECT_EQ(Translate(translator, {Key(1, KEY_A, 1), Key(2, KEY_KP1, 1)}),
	          (std::vector<std::string>{"down 60 40 'A' @1", "down 88 40 '1' @2"}));
}

} // namespace
