// The printed forms of delivered messages and of scanned barcodes.
#include "PrintedMessage.h"

#include <AppDefs.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

namespace stria {
namespace {

struct PrintCase {
	const char* name;
	std::function<BMessage()> make;
	const char* line;
};

void PrintTo(const PrintCase& test, std::ostream* out)
{
	*out << test.name;
}

BMessage Message(uint32 what, std::function<void(BMessage&)> fill)
{
	BMessage message(what);
	fill(message);
	return message;
}

class PrintedMessageTest : public testing::TestWithParam<PrintCase> {};

TEST_P(PrintedMessageTest, IsOneLine)
{
	EXPECT_EQ(PrintedMessage(GetParam().make()), GetParam().line);
}

INSTANTIATE_TEST_SUITE_P(
        Messages, PrintedMessageTest,
        testing::Values(PrintCase{"key_down_all_fields",
                                  [] {
	                                  return Message(B_KEY_DOWN, [](BMessage& m) {
		                                  m.AddInt64("when", 1234567890123LL);
		                                  m.AddInt32("key", 0x3c);
		                                  m.AddInt8("byte", 'a');
		                                  m.AddInt32("modifiers", 0x101);
		                                  m.AddString("bytes", "a");
	                                  });
                                  },
                                  "KEY_DOWN when=1234567890123 key=60 byte=97 modifiers=257"},
                        PrintCase{"key_down_byte_above_127_and_high_modifier_bits",
                                  [] {
	                                  return Message(B_KEY_DOWN, [](BMessage& m) {
		                                  m.AddInt64("when", -5);
		                                  m.AddInt32("key", 1);
		                                  m.AddInt8("byte", (int8)0xe9);
		                                  m.AddInt32("modifiers", (int32)0x80000001);
	                                  });
                                  },
                                  "KEY_DOWN when=-5 key=1 byte=233 modifiers=2147483649"},
                        PrintCase{"key_down_missing_fields_left_out",
                                  [] {
	                                  return Message(B_KEY_DOWN,
	                                                 [](BMessage& m) { m.AddInt32("key", 11); });
                                  },
                                  "KEY_DOWN key=11"},
                        PrintCase{"key_up_has_no_byte",
                                  [] {
	                                  return Message(B_KEY_UP, [](BMessage& m) {
		                                  m.AddInt64("when", 7);
		                                  m.AddInt32("key", 0x47);
		                                  m.AddInt8("byte", 10);
		                                  m.AddInt32("modifiers", 0);
	                                  });
                                  },
                                  "KEY_UP when=7 key=71 modifiers=0"},
                        PrintCase{"unmapped_down",
                                  [] {
	                                  return Message(B_UNMAPPED_KEY_DOWN, [](BMessage& m) {
		                                  m.AddInt64("when", 1);
		                                  m.AddInt32("key", 0x4b);
		                                  m.AddInt32("modifiers", 0x101);
	                                  });
                                  },
                                  "UNMAPPED_KEY_DOWN when=1 key=75 modifiers=257"},
                        PrintCase{"unmapped_up",
                                  [] {
	                                  return Message(B_UNMAPPED_KEY_UP, [](BMessage& m) {
		                                  m.AddInt64("when", 2);
		                                  m.AddInt32("key", 0x4b);
		                                  m.AddInt32("modifiers", 0);
	                                  });
                                  },
                                  "UNMAPPED_KEY_UP when=2 key=75 modifiers=0"},
                        PrintCase{"modifiers_changed",
                                  [] {
	                                  return Message(B_MODIFIERS_CHANGED, [](BMessage& m) {
		                                  m.AddInt64("when", 3);
		                                  m.AddInt32("modifiers", 0x101);
		                                  m.AddInt32("be:old_modifiers", 0);
		                                  m.AddInt32("key", 0x4b);
	                                  });
                                  },
                                  "MODIFIERS when=3 modifiers=257"},
                        PrintCase{"wrongly_typed_field_is_left_out",
                                  [] {
	                                  return Message(B_KEY_UP, [](BMessage& m) {
		                                  m.AddInt32("when", 3);
		                                  m.AddString("key", "x");
		                                  m.AddInt32("modifiers", 4);
	                                  });
                                  },
                                  "KEY_UP modifiers=4"},
                        PrintCase{"other_message", [] { return BMessage(0xCAFEBABE); },
                                  "MESSAGE what=0xcafebabe"},
                        PrintCase{"small_code_keeps_eight_digits", [] { return BMessage(0x2a); },
                                  "MESSAGE what=0x0000002a"}),
        [](const testing::TestParamInfo<PrintCase>& info) { return std::string(info.param.name); });

// --print counts stamps from the moment input began; a count past the range
// of a stamp shows the end of the range it passes.
TEST(PrintedMessageZeroTest, StampsCountFromZero)
{
	const struct {
		bigtime_t when;
		bigtime_t zero;
		const char* line;
	} cases[] = {
	        {5000123, 5000000, "KEY_UP when=123 key=71"},
	        {4999000, 5000000, "KEY_UP when=-1000 key=71"},
	        {INT64_MIN, 1, "KEY_UP when=-9223372036854775808 key=71"},
	        {INT64_MAX, -1, "KEY_UP when=9223372036854775807 key=71"},
	        {INT64_MIN + 5, 10, "KEY_UP when=-9223372036854775808 key=71"},
	        {INT64_MAX - 5, -10, "KEY_UP when=9223372036854775807 key=71"},
	};
	for (const auto& c : cases) {
		BMessage message(B_KEY_UP);
		message.AddInt64("when", c.when);
		message.AddInt32("key", 0x47);
		EXPECT_EQ(PrintedMessage(message, c.zero), c.line);
	}
}

} // namespace
} // namespace stria
