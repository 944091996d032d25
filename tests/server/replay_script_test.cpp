// The replay-script parser: good scripts and the events they give, and
// every kind of error with its line number.
#include "ReplayScript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace stria {
namespace {

using Kind = ReplayEvent::Kind;
using ControlMessage = ReplayEvent::ControlMessage;

ReplayEvent Down(int line, bigtime_t when, int32 key, uint8 byte, uint32 modifiers = 0)
{
	ReplayEvent event;
	event.kind = Kind::KeyDown;
	event.line = line;
	event.when = when;
	event.key = key;
	event.byte = byte;
	event.modifiers = modifiers;
	return event;
}

// Key-ups of scan and type lines carry the byte of their key-down.
ReplayEvent Up(int line, bigtime_t when, int32 key, std::optional<uint8> byte, uint32 modifiers = 0)
{
	ReplayEvent event = Down(line, when, key, 0, modifiers);
	event.kind = Kind::KeyUp;
	event.byte = byte;
	return event;
}

ReplayEvent Modifiers(int line, bigtime_t when, uint32 modifiers, uint32 old)
{
	ReplayEvent event;
	event.kind = Kind::Modifiers;
	event.line = line;
	event.when = when;
	event.modifiers = modifiers;
	event.oldModifiers = old;
	return event;
}

ReplayEvent Control(int line, bigtime_t when, uint32 code, ControlMessage message)
{
	ReplayEvent event;
	event.kind = Kind::Control;
	event.line = line;
	event.when = when;
	event.code = code;
	event.controlMessage = message;
	return event;
}

struct GoodCase {
	const char* name;
	const char* script;
	std::vector<ReplayEvent> events;
};

void PrintTo(const GoodCase& test, std::ostream* out)
{
	*out << test.name;
}

class ReplayScriptGood : public testing::TestWithParam<GoodCase> {};

TEST_P(ReplayScriptGood, GivesTheEvents)
{
	ReplayScript script = ParseReplayScript(GetParam().script);
	ASSERT_FALSE(script.error) << script.error->line << ": " << script.error->message;
	EXPECT_EQ(script.events, GetParam().events);
}

const uint32 kShift = 0x101;

INSTANTIATE_TEST_SUITE_P(
        Lines, ReplayScriptGood,
        testing::Values(
                GoodCase{"empty", "", {}},
                GoodCase{"comments_and_blank_lines",
                         "# a comment\n\n   \t\n  # indented comment\n",
                         {}},
                GoodCase{"down_decimal", "5 down 60 97\n", {Down(1, 5, 60, 97)}},
                GoodCase{"down_hex_and_modifiers",
                         "0x10 down 0x3c 0x41 0x101",
                         {Down(1, 16, 60, 0x41, kShift)}},
                GoodCase{"down_upper_case_hex", "0X1F down 0X3C 0XFF", {Down(1, 31, 60, 0xff)}},
                GoodCase{"quoted_bytes",
                         "1 down 84 '.'\n2 down 94 ' '\n3 down 70 '''\n4 down 17 '#'",
                         {Down(1, 1, 84, '.'), Down(2, 2, 94, ' '), Down(3, 3, 70, '\''),
                          Down(4, 4, 17, '#')}},
                GoodCase{"up_with_and_without_modifiers",
                         "1 up 60\n2 up 60 0x101",
                         {Up(1, 1, 60, std::nullopt), Up(2, 2, 60, std::nullopt, kShift)}},
                GoodCase{"modifiers_remember_the_old_value",
                         "1 modifiers 0x101\n2 modifiers 0",
                         {Modifiers(1, 1, kShift, 0), Modifiers(2, 2, 0, kShift)}},
                GoodCase{"control_kinds",
                         "1 control 0xCAFEBABE\n2 control 834269 empty\n3 control 0x000cbadd "
                         "subscribe",
                         {Control(1, 1, 0xcafebabe, ControlMessage::None),
                          Control(2, 2, 0xcbadd, ControlMessage::Empty),
                          Control(3, 3, 0xcbadd, ControlMessage::Subscribe)}},
                GoodCase{"equal_times_are_allowed",
                         "7 down 60 97\n7 up 60",
                         {Down(1, 7, 60, 97), Up(2, 7, 60, std::nullopt)}},
                GoodCase{"crlf_line_ends_and_blanks_between_words",
                         "1\tdown  60\t97\r\n2 up 60\r\n",
                         {Down(1, 1, 60, 97), Up(2, 2, 60, std::nullopt)}},
                GoodCase{"type_timing_and_shift",
                         "100 type aB",
                         {Down(1, 100, 0x3c, 'a'), Up(1, 1100, 0x3c, 'a'),
                          Down(1, 2100, 0x50, 'B', kShift), Up(1, 3100, 0x50, 'B', kShift)}},
                GoodCase{"type_keeps_blanks_after_the_first",
                         "0 type  !",
                         {Down(1, 0, 0x5e, ' '), Up(1, 1000, 0x5e, ' '),
                          Down(1, 2000, 0x12, '!', kShift), Up(1, 3000, 0x12, '!', kShift)}},
                GoodCase{"scan_is_f10_record_enter",
                         "1000 scan .Cq",
                         {Down(1, 1000, 0x0b, 0x10), Up(1, 2000, 0x0b, 0x10),
                          Down(1, 3000, 0x54, '.'), Up(1, 4000, 0x54, '.'),
                          Down(1, 5000, 0x4e, 'C', kShift), Up(1, 6000, 0x4e, 'C', kShift),
                          Down(1, 7000, 0x27, 'q'), Up(1, 8000, 0x27, 'q'),
                          Down(1, 9000, 0x47, 0x0a), Up(1, 10000, 0x47, 0x0a)}},
                GoodCase{"next_line_may_start_at_the_last_expanded_event",
                         "0 type a\n1000 up 60",
                         {Down(1, 0, 0x3c, 'a'), Up(1, 1000, 0x3c, 'a'),
                          Up(2, 1000, 60, std::nullopt)}},
                GoodCase{"largest_values",
                         "9223372036854775807 down 127 255 0xffffffff",
                         {Down(1, INT64_MAX, 127, 255, 0xffffffff)}}),
        [](const testing::TestParamInfo<GoodCase>& info) { return std::string(info.param.name); });

struct BadCase {
	const char* name;
	std::string script;
	int line;
	const char* messagePart;
};

void PrintTo(const BadCase& test, std::ostream* out)
{
	*out << test.name;
}

class ReplayScriptBad : public testing::TestWithParam<BadCase> {};

TEST_P(ReplayScriptBad, IsRefusedWithLineAndReason)
{
	ReplayScript script = ParseReplayScript(GetParam().script);
	ASSERT_TRUE(script.error);
	EXPECT_EQ(script.error->line, GetParam().line);
	EXPECT_NE(script.error->message.find(GetParam().messagePart), std::string::npos)
	        << script.error->message;
	EXPECT_TRUE(script.events.empty()) << "a refused script plays nothing";
}

INSTANTIATE_TEST_SUITE_P(
        Errors, ReplayScriptBad,
        testing::Values(
                BadCase{"time_not_a_number", "abc down 60 97", 1, "not a time"},
                BadCase{"negative_time", "-5 down 60 97", 1, "not a time"},
                BadCase{"time_too_large", "9223372036854775808 up 60", 1, "not a time"},
                BadCase{"bad_hex", "0x up 60", 1, "not a time"},
                BadCase{"time_goes_back", "# c\n10 up 60\n9 up 60", 3, "earlier"},
                BadCase{"time_before_expanded_keys", "0 type ab\n2500 up 60", 2, "earlier"},
                BadCase{"missing_event", "10", 1, "missing"},
                BadCase{"unknown_event", "10 press 60", 1, "unknown event 'press'"},
                BadCase{"down_without_key", "1 down", 1, "key code is missing"},
                BadCase{"down_without_byte", "1 down 60", 1, "byte"},
                BadCase{"key_zero", "1 down 0 97", 1, "not a key code"},
                BadCase{"key_too_large", "1 up 128", 1, "not a key code"},
                BadCase{"byte_too_large", "1 down 60 256", 1, "not a byte"},
                BadCase{"quoted_byte_too_long", "1 down 60 'ab'", 1, "single quotes"},
                BadCase{"quoted_byte_unclosed", "1 down 60 'a", 1, "single quotes"},
                BadCase{"modifiers_too_large", "1 up 60 0x100000000", 1, "not a modifiers value"},
                BadCase{"modifiers_missing", "1 modifiers", 1, "missing"},
                BadCase{"extra_word", "1 up 60 0 7", 1, "unexpected '7'"},
                BadCase{"trailing_comment", "1 up 60 0 # note", 1, "unexpected '#'"},
                BadCase{"control_without_code", "1 control", 1, "control code is missing"},
                BadCase{"control_bad_kind", "1 control 5 full", 1,
                        "unknown control message 'full'"},
                BadCase{"control_extra_word", "1 control 5 empty x", 1, "unexpected 'x'"},
                BadCase{"scan_without_record", "1 scan", 1, "record to scan is missing"},
                BadCase{"scan_two_words", "1 scan .a .b", 1, "one word"},
                BadCase{"scan_untypable", "1 scan .a\xc3\xa9", 1, "cannot be typed"},
                BadCase{"type_without_text", "1 type", 1, "text to type is missing"},
                BadCase{"type_with_only_the_separator", "1 type ", 1, "text to type is missing"},
                BadCase{"type_untypable", "1 type a\x01", 1, "0x01"},
                BadCase{"type_past_the_largest_time", "9223372036854775000 type ab", 1,
                        "largest time"},
                BadCase{"scan_past_the_largest_time", "9223372036854775000 scan .", 1,
                        "largest time"},
                BadCase{"error_after_good_lines", "1 up 60\n\n# x\n2 up 60\n3 bogus", 5, "bogus"}),
        [](const testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// A script of type lines, each at most 60,000 characters, that together type
// characters characters.
std::string TypeLines(size_t characters)
{
	std::string script;
	bigtime_t when = 0;
	while (characters > 0) {
		size_t count = std::min<size_t>(characters, 60000);
		script += std::to_string(when) + " type " + std::string(count, 'a') + "\n";
		when += (bigtime_t)count * kReplayCharacterStep;
		characters -= count;
	}
	return script;
}

// The limits hold to the byte and to the event: what fits is taken whole,
// one more is refused with the line where it happens.
TEST(ReplayScriptLimits, AreExact)
{
	const std::string longestLine = "0 down 60 97" + std::string(kMaxReplayLineBytes - 12, ' ');
	const struct {
		const char* name;
		std::string script;
		size_t events; // 0: refused
		int line;
		const char* messagePart;
	} cases[] = {
	        {"longest_line", longestLine, 1, 0, ""},
	        {"longest_line_with_carriage_return", longestLine + "\r\n", 1, 0, ""},
	        {"line_one_byte_too_long", "# x\n" + longestLine + " ", 0, 2,
	         "a line may be at most 65536"},
	        {"most_events", TypeLines(kMaxReplayEvents / 2), kMaxReplayEvents, 0, ""},
	        {"one_event_too_many", TypeLines(kMaxReplayEvents / 2) + "999999999999 up 60", 0, 10,
	         "more than 1048576 key events"},
	        {"type_line_past_the_most_events", TypeLines(kMaxReplayEvents / 2 + 1), 0, 9,
	         "more than 1048576 key events"},
	};
	for (const auto& test : cases) {
		SCOPED_TRACE(test.name);
		ReplayScript script = ParseReplayScript(test.script);
		if (test.events != 0) {
			ASSERT_FALSE(script.error) << script.error->message;
			EXPECT_EQ(script.events.size(), test.events);
			continue;
		}
		ASSERT_TRUE(script.error);
		EXPECT_EQ(script.error->line, test.line);
		EXPECT_NE(script.error->message.find(test.messagePart), std::string::npos)
		        << script.error->message;
		EXPECT_TRUE(script.events.empty());
	}
}

} // namespace
} // namespace stria
