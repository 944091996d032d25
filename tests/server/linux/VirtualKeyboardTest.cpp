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
// AltGr: the right Alt key.
constexpr uint32 kRightAlt = B_COMMAND_KEY | B_RIGHT_COMMAND_KEY;

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

// One step: a message delivered, and what must be typed for it.
struct Step {
	MessageMaker message;
	std::vector<std::string> typed;
};

struct Case {
	const char* name;
	std::vector<Step> steps;
	std::vector<std::string> releasedAtEnd;
};

// Modifier keys as the keyboard reader sends them.
std::vector<Step> Hold(bigtime_t when, int32 key, uint32 bits, uint32 before,
                       std::vector<std::string> typed)
{
	return {
	        {Modifiers(when, before | bits, before), typed},
	        {Unmapped(B_UNMAPPED_KEY_DOWN, when, key, before | bits), {}},
	};
}

std::vector<Step> Let(bigtime_t when, int32 key, uint32 bits, uint32 before,
                      std::vector<std::string> typed)
{
	return {
	        {Modifiers(when, before & ~bits, before), typed},
	        {Unmapped(B_UNMAPPED_KEY_UP, when, key, before & ~bits), {}},
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
	         Join({Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"}),
	               {{Key(B_KEY_DOWN, 200, 0x2b, kLeftShift), {"+T"}},
	                {Key(B_KEY_UP, 300, 0x2b, kLeftShift), {"-T"}}},
	               Let(400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"})}),
	         {}},
	        {"key-ups of keys never pressed are not typed",
	         {{Key(B_KEY_UP, 100, 0x54, 0), {}}, {Key(B_KEY_UP, 200, 0x47, 0), {}}},
	         {}},
	        {"a modifier pressed and let go of alone is typed as it comes",
	         Join({Hold(100, 0x66, B_OPTION_KEY | B_LEFT_OPTION_KEY, 0, {"+LeftWindows"}),
	               Let(30100, 0x66, B_OPTION_KEY | B_LEFT_OPTION_KEY,
	                   B_OPTION_KEY | B_LEFT_OPTION_KEY, {"-LeftWindows"})}),
	         {}},
	        {"a person's Shift stays down while another keyboard lets go of its Shift",
	         Join({On(2, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               On(1, Hold(60100, 0x56, kLeftShift, 0, {})),
	               On(1, Let(61000, 0x56, kLeftShift, kLeftShift, {})),
	               {{On(2, Key(B_KEY_DOWN, 70000, 0x3c, kLeftShift)), {"+A"}}},
	               On(2, Let(80000, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {"-A"}},
	        {"a keyboard's modifiers are its own: a key without them lets go of only its own",
	         Join({On(1, Hold(100, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY, 0, {"+LeftControl"})),
	               {{On(2, Key(B_KEY_DOWN, 200, 0x3c, 0)), {"+A"}},
	                {On(2, Key(B_KEY_UP, 300, 0x3c, 0)), {"-A"}}},
	               On(1, Let(400, 0x5c, B_CONTROL_KEY | B_LEFT_CONTROL_KEY,
	                         B_CONTROL_KEY | B_LEFT_CONTROL_KEY, {"-LeftControl"}))}),
	         {}},
	        {"right-hand modifiers keep their side",
	         {{Key(B_KEY_DOWN, 100, 0x3c, B_SHIFT_KEY | B_RIGHT_SHIFT_KEY), {"+RightShift", "+A"}}},
	         {"-A", "-RightShift"}},
	        {"replay-style key-downs carry their modifiers; Shift follows each one",
	         {{Key(B_KEY_DOWN, 100, 0x3c, B_SHIFT_KEY), {"+LeftShift", "+A"}},
	          {Key(B_KEY_UP, 101, 0x3c, B_SHIFT_KEY), {"-A"}},
	          {Key(B_KEY_DOWN, 103, 0x3d, 0), {"-LeftShift", "+S"}},
	          {Key(B_KEY_UP, 104, 0x3d, 0), {"-S"}}},
	         {}},
	        {"Caps Lock is typed as a press and release when the lock changes",
	         {{Modifiers(100, B_CAPS_LOCK, 0), {"+CapsLock", "-CapsLock"}},
	          {Unmapped(B_UNMAPPED_KEY_DOWN, 100, 0x3b, B_CAPS_LOCK), {}},
	          {Unmapped(B_UNMAPPED_KEY_UP, 150, 0x3b, B_CAPS_LOCK), {}},
	          {Key(B_KEY_DOWN, 200, 0x3c, B_CAPS_LOCK), {"+A"}},
	          {Modifiers(300, 0, B_CAPS_LOCK), {"+CapsLock", "-CapsLock"}}},
	         {"-A"}},
	        {"auto-repeat is typed as repeats",
	         {{Key(B_KEY_DOWN, 100, 0x3c, 0), {"+A"}},
	          {Key(B_KEY_DOWN, 600, 0x3c, 0), {"=A"}},
	          {Key(B_KEY_DOWN, 633, 0x3c, 0), {"=A"}},
	          {Key(B_KEY_UP, 650, 0x3c, 0), {"-A"}}},
	         {}},
	        {"keys outside the keyboard and other messages are passed over",
	         {{Key(B_KEY_DOWN, 100, 0x7e, 0), {}},
	          {[] { return std::make_unique<BMessage>('CBAT'); }, {}},
	          {[] { return std::make_unique<BMessage>(B_KEY_DOWN); }, {}}},
	         {}},
	        {"an add-on's digit while a person holds Shift: the Shift is let go of around it",
	         Join({On(1, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               ByAddOn(2, {{Key(B_KEY_DOWN, 200, 0x12, 0), {"-LeftShift", "+1"}},
	                           {Key(B_KEY_UP, 300, 0x12, 0), {"-1", "+LeftShift"}}}),
	               On(1, Let(400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"an add-on's capital while a person holds Shift: the Shift stays down",
	         Join({On(1, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               ByAddOn(2, Join({Hold(200, 0x4b, kLeftShift, 0, {}),
	                                {{Key(B_KEY_DOWN, 200, 0x3c, kLeftShift), {"+A"}},
	                                 {Key(B_KEY_UP, 300, 0x3c, kLeftShift), {"-A"}}},
	                                Let(300, 0x4b, kLeftShift, kLeftShift, {})})),
	               On(1, Let(400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"an add-on's AltGr character: the right Alt key around it",
	         ByAddOn(2, Join({Hold(200, 0x5f, kRightAlt, 0, {"+RightAlt"}),
	                          {{Key(B_KEY_DOWN, 200, 0x27, kRightAlt), {"+Q"}},
	                           {Key(B_KEY_UP, 300, 0x27, kRightAlt), {"-Q"}}},
	                          Let(300, 0x5f, kRightAlt, kRightAlt, {"-RightAlt"})})),
	         {}},
	        {"an add-on's AltGr character while a person holds the left Alt: only AltGr under it",
	         Join({On(1, Hold(100, 0x5d, kLeftAlt, 0, {"+LeftAlt"})),
	               ByAddOn(2, Join({Hold(200, 0x5f, kRightAlt, 0, {"+RightAlt"}),
	                                {{Key(B_KEY_DOWN, 200, 0x27, kRightAlt), {"-LeftAlt", "+Q"}},
	                                 {Key(B_KEY_UP, 300, 0x27, kRightAlt), {"-Q", "+LeftAlt"}}},
	                                Let(300, 0x5f, kRightAlt, kRightAlt, {"-RightAlt"})})),
	               On(1, Let(400, 0x5d, kLeftAlt, kLeftAlt, {"-LeftAlt"}))}),
	         {}},
	        {"a person's key while an add-on holds Shift: the Shift is let go of around it",
	         Join({ByAddOn(2, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               On(1, {{Key(B_KEY_DOWN, 200, 0x4d, 0), {"-LeftShift", "+X"}},
	                      {Key(B_KEY_UP, 300, 0x4d, 0), {"-X", "+LeftShift"}}}),
	               ByAddOn(2, Let(400, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"an add-on's capital after a person's key takes its Shift again",
	         Join({ByAddOn(2, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               On(1, {{Key(B_KEY_DOWN, 200, 0x4d, 0), {"-LeftShift", "+X"}}}),
	               ByAddOn(2, {{Key(B_KEY_DOWN, 300, 0x3c, kLeftShift), {"+LeftShift", "+A"}},
	                           {Key(B_KEY_UP, 400, 0x3c, kLeftShift), {"-A"}}}),
	               On(1, {{Key(B_KEY_UP, 500, 0x4d, 0), {"-X"}}}),
	               ByAddOn(2, Let(600, 0x4b, kLeftShift, kLeftShift, {"-LeftShift"}))}),
	         {}},
	        {"a Shift a person holds too stays down for another keyboard's key",
	         Join({On(1, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               ByAddOn(3, Hold(150, 0x4b, kLeftShift, 0, {})),
	               On(2, {{Key(B_KEY_DOWN, 200, 0x4d, 0), {"+X"}},
	                      {Key(B_KEY_UP, 300, 0x4d, 0), {"-X"}}})}),
	         {"-LeftShift"}},
	        {"a person's own Shift stays down under an add-on's",
	         Join({ByAddOn(2, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               On(1, Hold(150, 0x4b, kLeftShift, 0, {})),
	               On(1, {{Key(B_KEY_DOWN, 200, 0x4d, kLeftShift), {"+X"}}})}),
	         {"-X", "-LeftShift"}},
	        {"a person's key while an add-on holds AltGr: AltGr is let go of around it",
	         Join({ByAddOn(2, Hold(100, 0x5f, kRightAlt, 0, {"+RightAlt"})),
	               On(1, {{Key(B_KEY_DOWN, 200, 0x27, 0), {"-RightAlt", "+Q"}},
	                      {Key(B_KEY_UP, 300, 0x27, 0), {"-Q", "+RightAlt"}}})}),
	         {"-RightAlt"}},
	        {"a person's Shift let go of while an add-on's key is down stays up",
	         Join({On(1, Hold(100, 0x4b, kLeftShift, 0, {"+LeftShift"})),
	               ByAddOn(2, {{Key(B_KEY_DOWN, 200, 0x12, 0), {"-LeftShift", "+1"}}}),
	               On(1, Let(250, 0x4b, kLeftShift, kLeftShift, {})),
	               ByAddOn(2, {{Key(B_KEY_UP, 300, 0x12, 0), {"-1"}}})}),
	         {}},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		RecordingWriter writer;
		VirtualKeyboard keyboard(writer);
		int index = 0;
		for (const Step& step : c.steps) {
			writer.typed.clear();
			keyboard.Deliver(*step.message());
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

TEST(VirtualKeyboard, StopsWritingAfterAFailure)
{
	RecordingWriter writer;
	writer.failing = true;
	VirtualKeyboard keyboard(writer);
	keyboard.Deliver(*Key(B_KEY_DOWN, 100, 0x3c, 0)());
	EXPECT_FALSE(keyboard.Healthy());
	writer.typed.clear();
	keyboard.Deliver(*Key(B_KEY_DOWN, 200, 0x3d, 0)());
	EXPECT_TRUE(writer.typed.empty());
}

TEST(VirtualKeyboard, RecordsCarryTheMessagesTime)
{
	RecordingWriter writer;
	VirtualKeyboard keyboard(writer);
	keyboard.Deliver(*Key(B_KEY_DOWN, 1700000000123456, 0x3c, 0)());
	ASSERT_EQ(writer.whens.size(), 1u);
	EXPECT_EQ(writer.whens[0], 1700000000123456);
}

} // namespace
