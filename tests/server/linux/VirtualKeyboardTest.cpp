// What the virtual keyboard types for the messages that reach applications.
#include "VirtualKeyboard.h"

#include "KeyMessage.h"
#include "UsKeyboard.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using stria::EventRecord;
using stria::KeyMessage;
using stria::KeyStates;
using stria::UsKeyboard;
using stria::VirtualKeyboard;

namespace {

constexpr uint32 kLeftShift = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
constexpr uint32 kLeftAlt = B_COMMAND_KEY | B_LEFT_COMMAND_KEY;

// Records what is typed as "+Name" (press), "-Name" (release), "=Name"
// (repeat), checking that each key event is followed by SYN_REPORT.
class RecordingWriter : public stria::EventWriter {
public:
	bool Write(std::span<const EventRecord> records) override
	{
		EXPECT_EQ(records.size() % 2, 0u);
		for (size_t i = 0; i + 1 < records.size(); i += 2) {
			EXPECT_EQ(records[i].type, EV_KEY);
			EXPECT_EQ(records[i + 1].type, EV_SYN);
			EXPECT_EQ(records[i + 1].code, SYN_REPORT);
			const stria::UsKey* key = UsKeyboard::FromLinuxCode(records[i].code);
			const char sign = records[i].value == 1 ? '+' : records[i].value == 0 ? '-' : '=';
			typed.push_back(sign + std::string(key != nullptr ? key->name : "?"));
			whens.push_back(*records[i].When());
		}
		return !failing;
	}

	std::vector<std::string> typed;
	std::vector<bigtime_t> whens;
	bool failing = false;
};

using MessageMaker = std::function<std::unique_ptr<BMessage>()>;

MessageMaker Key(uint32 what, bigtime_t when, int32 key, uint32 modifiers)
{
	return [=] { return KeyMessage::UsKey(what, when, key, modifiers, KeyStates{}); };
}

MessageMaker Modifiers(bigtime_t when, uint32 modifiers, uint32 old)
{
	return [=] { return KeyMessage::ModifiersChanged(when, modifiers, old, KeyStates{}); };
}

MessageMaker Unmapped(uint32 what, bigtime_t when, int32 key, uint32 modifiers)
{
	return [=] { return KeyMessage::Unmapped(what, when, key, modifiers, KeyStates{}); };
}

// One step: a message delivered at steady time now (or, without message,
// a tick at now), and what must be typed in that step.
struct Step {
	bigtime_t now;
	MessageMaker message;
	std::vector<std::string> typed;
};

struct Case {
	const char* name;
	std::vector<Step> steps;
	std::vector<std::string> releasedAtEnd;
};

// Modifier keys as the keyboard reader sends them.
std::vector<Step> Hold(bigtime_t now, bigtime_t when, int32 key, uint32 bits, uint32 before)
{
	return {
	        {now, Modifiers(when, before | bits, before), {}},
	        {now, Unmapped(B_UNMAPPED_KEY_DOWN, when, key, before | bits), {}},
	};
}

std::vector<Step> Let(bigtime_t now, bigtime_t when, int32 key, uint32 bits, uint32 before,
                      std::vector<std::string> typed)
{
	return {
	        {now, Modifiers(when, before & ~bits, before), typed},
	        {now, Unmapped(B_UNMAPPED_KEY_UP, when, key, before & ~bits), {}},
	};
}

// The same messages, as keyboard number keyboard typed them.
MessageMaker On(int32 keyboard, MessageMaker maker)
{
	return [=] {
		std::unique_ptr<BMessage> message = maker();
		message->AddInt32(STRIA_SOURCE_FIELD, keyboard);
		return message;
	};
}

std::vector<Step> On(int32 keyboard, std::vector<Step> steps)
{
	for (Step& step : steps)
		step.message = On(keyboard, step.message);
	return steps;
}

// The same messages, as recorded input (an event file or a replay script).
std::vector<Step> Recorded(std::vector<Step> steps)
{
	for (Step& step : steps) {
		MessageMaker maker = step.message;
		if (!maker)
			continue;
		step.message = [maker] {
			std::unique_ptr<BMessage> message = maker();
			message->AddInt32(STRIA_SOURCE_FIELD, 1);
			message->AddInt32(STRIA_SOURCE_KIND_FIELD, STRIA_SOURCE_RECORDED);
			return message;
		};
	}
	return steps;
}

// The same messages, as a device add-on (the typer, number keyboard) typed
// them.
std::vector<Step> ByAddOn(int32 keyboard, std::vector<Step> steps)
{
	for (Step& step : steps) {
		MessageMaker maker = On(keyboard, step.message);
		step.message = [maker] {
			std::unique_ptr<BMessage> message = maker();
			message->AddInt32(STRIA_SOURCE_KIND_FIELD, STRIA_SOURCE_ADD_ON);
			return message;
		};
	}
	return steps;
}

std::vector<Step> Join(std::initializer_list<std::vector<Step>> parts)
{
	std::vector<Step> steps;
	for (const auto& part : parts)
		steps.insert(steps.end(), part.begin(), part.end());
	return steps;
}

TEST(VirtualKeyboard, TypesWhatReachesApplications)
{
	const Case cases[] = {
	        {"a person's capital: Shift is typed before the letter",
	         Join({Hold(0, 100, 0x4b, kLeftShift, 0),
	               {{1000, Key(B_KEY_DOWN, 200, 0x2b, kLeftShift), {"+LeftShift", "+T"}},
	                {2000, Key(B_KEY_UP, 300, 0x2b, kLeftShift), {"-T"}}},
	               Let(3000, 400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"})}),
	         {}},
	        {"a scan's Alt around a swallowed F10 is not typed",
	         Join({Hold(0, 100, 0x5d, kLeftAlt, 0),
	               {{1000, Key(B_KEY_UP, 200, 0x0b, kLeftAlt), {}}},
	               Let(2000, 300, 0x5d, kLeftAlt, kLeftAlt, {})}),
	         {}},
	        {"a scan's Shift around a swallowed capital is not typed",
	         Join({Hold(0, 100, 0x4b, kLeftShift, 0),
	               {{500, Key(B_KEY_UP, 150, 0x4e, kLeftShift), {}}},
	               Let(1000, 200, 0x4b, kLeftShift, kLeftShift, {})}),
	         {}},
	        {"key-ups of keys never pressed are not typed",
	         {{0, Key(B_KEY_UP, 100, 0x54, 0), {}}, {0, Key(B_KEY_UP, 200, 0x47, 0), {}}},
	         {}},
	        {"a person's quick tap of a modifier alone reaches the desktop",
	         Join({Hold(0, 100, 0x66, B_OPTION_KEY | B_LEFT_OPTION_KEY, 0),
	               Let(10000, 30100, 0x66, B_OPTION_KEY | B_LEFT_OPTION_KEY,
	                   B_OPTION_KEY | B_LEFT_OPTION_KEY, {"+LeftWindows", "-LeftWindows"})}),
	         {}},
	        {"a modifier let go of within milliseconds is a machine's, not typed",
	         Join({Hold(0, 100, 0x4b, kLeftShift, 0),
	               Let(1000, 1100, 0x4b, kLeftShift, kLeftShift, {})}),
	         {}},
	        {"a person's key during a scan leaves out the scanner's held-back Shift",
	         Join({On(1, Hold(0, 100, 0x4b, kLeftShift, 0)),
	               {{1000, On(2, Key(B_KEY_DOWN, 150, 0x3c, 0)), {"+A"}},
	                {1100, On(1, Key(B_KEY_UP, 200, 0x4e, kLeftShift)), {}}},
	               On(1, Let(1200, 250, 0x4b, kLeftShift, kLeftShift, {})),
	               {{2000, On(2, Key(B_KEY_UP, 300, 0x3c, 0)), {"-A"}}}}),
	         {}},
	        {"a person's Shift stays down through a scan's Shift",
	         Join({On(2, Hold(0, 100, 0x4b, kLeftShift, 0)),
	               {{50000, nullptr, {"+LeftShift"}}},
	               On(1, Hold(60000, 60100, 0x56, kLeftShift, 0)),
	               {{60500, On(1, Key(B_KEY_UP, 60500, 0x4e, kLeftShift)), {}}},
	               On(1, Let(61000, 61000, 0x56, kLeftShift, kLeftShift, {})),
	               {{70000, On(2, Key(B_KEY_DOWN, 70000, 0x3c, kLeftShift)), {"+A"}}},
	               On(2, Let(80000, 80000, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {"-A"}},
	        {"a modifier let go of as its keyboard went away is no tap",
	         Join({Hold(0, 100, 0x5d, kLeftAlt, 0),
	               {{1000,
	                 [] {
		                 auto message = KeyMessage::ModifiersChanged(200, 0, kLeftAlt, KeyStates{});
		                 message->AddBool(stria::kKeyboardGoneField, true);
		                 return message;
	                 },
	                 {}}}}),
	         {}},
	        {"a held modifier is typed once its moment has passed",
	         Join({Hold(0, 100, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, 0),
	               {{49999, nullptr, {}}, {50000, nullptr, {"+LeftControl"}}},
	               Let(90000, 200, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY,
	                   B_CONTROL_KEY | B_LEFT_CONTROL_KEY, {"-LeftControl"})}),
	         {}},
	        {"a modifier held for a swallowed key waits for its release, whatever the time",
	         Join({Hold(0, 100, 0x5d, kLeftAlt, 0),
	               {{1000, Key(B_KEY_UP, 200, 0x0b, kLeftAlt), {}}, {900000, nullptr, {}}},
	               Let(950000, 300, 0x5d, kLeftAlt, kLeftAlt, {})}),
	         {}},
	        {"recorded input: a scan's Shift delivered slowly is still not typed",
	         Recorded(Join({Hold(0, 100, 0x4b, kLeftShift, 0),
	                        {{10000000, nullptr, {}},
	                         {20000000, Key(B_KEY_UP, 150, 0x4e, kLeftShift), {}}},
	                        Let(30000000, 200, 0x4b, kLeftShift, kLeftShift, {})})),
	         {}},
	        {"recorded input: a held modifier is typed once a later stamp passes its moment",
	         Recorded(Join({Hold(0, 100, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, 0),
	                        {{10000000, nullptr, {}},
	                         {10000001, Key(B_KEY_UP, 50100, 0x0b, B_CONTROL_KEY | B_LEFT_CONTROL_KEY),
	                          {"+LeftControl"}}},
	                        Let(10000002, 60000, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY,
	                            B_CONTROL_KEY | B_LEFT_CONTROL_KEY, {"-LeftControl"})})),
	         {}},
	        {"a later stamp past the moment types a held modifier before the clock does",
	         Join({Hold(0, 100, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, 0),
	               {{1000, Key(B_KEY_UP, 50100, 0x0b, B_CONTROL_KEY | B_LEFT_CONTROL_KEY),
	                 {"+LeftControl"}}}}),
	         {"-LeftControl"}},
	        {"a key typed under a held-back modifier types it first",
	         Join({Hold(0, 100, 0x5d, kLeftAlt, 0),
	               {{1000, Key(B_KEY_UP, 200, 0x0b, kLeftAlt), {}},
	                {2000, Key(B_KEY_DOWN, 300, 0x26, kLeftAlt), {"+LeftAlt", "+Tab"}}}}),
	         {"-LeftAlt", "-Tab"}},
	        {"right-hand modifiers keep their side",
	         {{0,
	           Key(B_KEY_DOWN, 100, 0x3c, B_SHIFT_KEY | B_RIGHT_SHIFT_KEY),
	           {"+RightShift", "+A"}}},
	         {"-A", "-RightShift"}},
	        {"replay-style key-downs carry their modifiers; Shift follows each one",
	         {{0, Key(B_KEY_DOWN, 100, 0x3c, B_SHIFT_KEY), {"+LeftShift", "+A"}},
	          {0, Key(B_KEY_UP, 101, 0x3c, B_SHIFT_KEY), {"-A"}},
	          {0, Key(B_KEY_DOWN, 103, 0x3d, 0), {"-LeftShift", "+S"}},
	          {0, Key(B_KEY_UP, 104, 0x3d, 0), {"-S"}}},
	         {}},
	        {"Caps Lock is typed as a press and release when the lock changes",
	         {{0, Modifiers(100, B_CAPS_LOCK, 0), {"+CapsLock", "-CapsLock"}},
	          {0, Unmapped(B_UNMAPPED_KEY_DOWN, 100, 0x3b, B_CAPS_LOCK), {}},
	          {0, Unmapped(B_UNMAPPED_KEY_UP, 150, 0x3b, B_CAPS_LOCK), {}},
	          {0, Key(B_KEY_DOWN, 200, 0x3c, B_CAPS_LOCK), {"+A"}},
	          {0, Modifiers(300, 0, B_CAPS_LOCK), {"+CapsLock", "-CapsLock"}}},
	         {"-A"}},
	        {"auto-repeat is typed as repeats",
	         {{0, Key(B_KEY_DOWN, 100, 0x3c, 0), {"+A"}},
	          {0, Key(B_KEY_DOWN, 600, 0x3c, 0), {"=A"}},
	          {0, Key(B_KEY_DOWN, 633, 0x3c, 0), {"=A"}},
	          {0, Key(B_KEY_UP, 650, 0x3c, 0), {"-A"}}},
	         {}},
	        {"a key-down put back after its key-up passed is released at once",
	         {{0, Key(B_KEY_UP, 1000, 0x0b, 0), {}},
	          {0, Key(B_KEY_DOWN, 900, 0x0b, 0), {"+F10", "-F10"}},
	          {0, Key(B_KEY_DOWN, 5000000, 0x0b, 0), {"+F10"}}},
	         {"-F10"}},
	        {"a key-up long before does not cut a later press short",
	         {{0, Key(B_KEY_UP, 1000, 0x0b, 0), {}},
	          {0, Key(B_KEY_DOWN, 2000000, 0x0b, 0), {"+F10"}}},
	         {"-F10"}},
	        {"keys outside the keyboard and other messages are passed over",
	         {{0, Key(B_KEY_DOWN, 100, 0x7e, 0), {}},
	          {0, [] { return std::make_unique<BMessage>('CBAT'); }, {}},
	          {0, [] { return std::make_unique<BMessage>(B_KEY_DOWN); }, {}}},
	         {}},
	        {"an add-on's digit while a person holds Shift: the Shift is let go of around it",
	         Join({On(1, Hold(0, 100, 0x4b, kLeftShift, 0)),
	               {{60000, {}, {"+LeftShift"}}},
	               ByAddOn(2, {{61000, Key(B_KEY_DOWN, 200, 0x12, 0), {"-LeftShift", "+1"}},
	                           {62000, Key(B_KEY_UP, 300, 0x12, 0), {"-1", "+LeftShift"}}}),
	               On(1, Let(63000, 400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"an add-on's capital while a person holds Shift: the Shift stays down",
	         Join({On(1, Hold(0, 100, 0x4b, kLeftShift, 0)),
	               {{60000, {}, {"+LeftShift"}}},
	               ByAddOn(2, Join({Hold(61000, 200, 0x4b, kLeftShift, 0),
	                                {{61000, Key(B_KEY_DOWN, 200, 0x3c, kLeftShift), {"+A"}},
	                                 {62000, Key(B_KEY_UP, 300, 0x3c, kLeftShift), {"-A"}}},
	                                Let(62000, 300, 0x4b, kLeftShift, kLeftShift, {})})),
	               On(1, Let(63000, 400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"a person's Shift let go of while an add-on's key is down stays up",
	         Join({On(1, Hold(0, 100, 0x4b, kLeftShift, 0)),
	               {{60000, {}, {"+LeftShift"}}},
	               ByAddOn(2, {{61000, Key(B_KEY_DOWN, 200, 0x12, 0), {"-LeftShift", "+1"}}}),
	               On(1, Let(61500, 250, 0x4b, kLeftShift, kLeftShift, {})),
	               ByAddOn(2, {{62000, Key(B_KEY_UP, 300, 0x12, 0), {"-1"}}})}),
	         {}},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		RecordingWriter writer;
		VirtualKeyboard keyboard(writer, VirtualKeyboard::Options());
		int index = 0;
		for (const Step& step : c.steps) {
			writer.typed.clear();
			if (step.message)
				keyboard.Deliver(*step.message(), step.now);
			else
				keyboard.Tick(step.now);
			EXPECT_EQ(writer.typed, step.typed) << "step " << index;
			index++;
		}
		writer.typed.clear();
		keyboard.ReleaseAll();
		std::vector<std::string> released = writer.typed;
		std::vector<std::string> expected = c.releasedAtEnd;
		std::sort(released.begin(), released.end());
		std::sort(expected.begin(), expected.end());
		EXPECT_EQ(released, expected) << "at the end";
	}
}

TEST(VirtualKeyboard, NextDeadlineCoversOnlyModifiersThatMayStillBeTyped)
{
	RecordingWriter writer;
	VirtualKeyboard keyboard(writer, VirtualKeyboard::Options{30000, 500000});
	EXPECT_FALSE(keyboard.NextDeadline().has_value());
	keyboard.Deliver(*Modifiers(100, kLeftShift, 0)(), 1000);
	EXPECT_EQ(keyboard.NextDeadline(), std::optional<bigtime_t>(31000));
	keyboard.Deliver(*Key(B_KEY_UP, 200, 0x4e, kLeftShift)(), 2000);
	EXPECT_FALSE(keyboard.NextDeadline().has_value()) << "spoiled by a swallowed key";
}

TEST(VirtualKeyboard, StopsWritingAfterAFailure)
{
	RecordingWriter writer;
	writer.failing = true;
	VirtualKeyboard keyboard(writer, VirtualKeyboard::Options());
	keyboard.Deliver(*Key(B_KEY_DOWN, 100, 0x3c, 0)(), 0);
	EXPECT_FALSE(keyboard.Healthy());
	writer.typed.clear();
	keyboard.Deliver(*Key(B_KEY_DOWN, 200, 0x3d, 0)(), 0);
	EXPECT_TRUE(writer.typed.empty());
}

TEST(VirtualKeyboard, RecordsCarryTheMessagesTime)
{
	RecordingWriter writer;
	VirtualKeyboard keyboard(writer, VirtualKeyboard::Options());
	keyboard.Deliver(*Key(B_KEY_DOWN, 1700000000123456, 0x3c, 0)(), 0);
	ASSERT_EQ(writer.whens.size(), 1u);
	EXPECT_EQ(writer.whens[0], 1700000000123456);
}

} // namespace
