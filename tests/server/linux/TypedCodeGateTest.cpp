// The gate that keeps a typed code whole: which messages wait for a code,
// in what order they go on, and when the gate gives up on a code.
#include "TypedCodeGate.h"

#include <AppDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <StriaTime.h>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using stria::TypedCodeGate;

namespace {

constexpr bigtime_t kSecond = 1000000;

// One step: a message that comes at its time, or the gate's Expire at that
// time, or its ReleaseAll.
struct Step {
	enum Kind { Message, Expire, Release } kind;
	bigtime_t at;
	std::function<std::unique_ptr<BMessage>()> message;
};

std::unique_ptr<BMessage> Make(uint32 what, int32 source, int32 kind, char key)
{
	auto message = std::make_unique<BMessage>(what);
	if (what != B_MODIFIERS_CHANGED && key != 0)
		message->AddInt32("key", key);
	message->AddInt32(STRIA_SOURCE_FIELD, source);
	message->AddInt32(STRIA_SOURCE_KIND_FIELD, kind);
	return message;
}

// A key of keyboard source: '+' down, '-' up, 'm' its modifiers changed.
Step Person(bigtime_t at, int32 source, char change, char key = 0)
{
	const uint32 what = change == '+' ? B_KEY_DOWN : change == '-' ? B_KEY_UP : B_MODIFIERS_CHANGED;
	return {Step::Message, at, [=] { return Make(what, source, STRIA_SOURCE_KEYBOARD, key); }};
}

// A key of code number code, typed by add-on source; end marks its last.
Step Typed(bigtime_t at, int32 source, int64 code, char change, char key, bool end = false)
{
	return {Step::Message, at, [=] {
		        std::unique_ptr<BMessage> message = Person(at, source, change, key).message();
		        message->ReplaceInt32(STRIA_SOURCE_KIND_FIELD, STRIA_SOURCE_ADD_ON);
		        message->AddInt64(STRIA_TYPED_CODE_FIELD, code);
		        if (end)
			        message->AddBool(STRIA_TYPED_CODE_END_FIELD, true);
		        return message;
	        }};
}

// A key of keyboard source that claims to belong to a code.
Step Claiming(bigtime_t at, int32 source, int64 code, char change, char key)
{
	return {Step::Message, at, [=] {
		        std::unique_ptr<BMessage> message = Person(at, source, change, key).message();
		        message->AddInt64(STRIA_TYPED_CODE_FIELD, code);
		        return message;
	        }};
}

// A message of source that is no key.
Step NoKey(bigtime_t at, int32 source)
{
	return {Step::Message, at, [=] { return Make('CBAT', source, STRIA_SOURCE_KEYBOARD, 0); }};
}

Step ExpireAt(bigtime_t at)
{
	return {Step::Expire, at, nullptr};
}

Step ReleaseAt(bigtime_t at)
{
	return {Step::Release, at, nullptr};
}

// "9:+a": source, change, key ('m' for modifiers, '?' for other messages).
std::string Render(const BMessage& message)
{
	int32 source = -1;
	message.FindInt32(STRIA_SOURCE_FIELD, &source);
	int32 key = 0;
	message.FindInt32("key", &key);
	const char change = message.what == B_KEY_DOWN            ? '+'
	                    : message.what == B_KEY_UP            ? '-'
	                    : message.what == B_MODIFIERS_CHANGED ? 'm'
	                                                          : '?';
	std::string line = std::to_string(source) + ":" + change;
	if (key != 0)
		line += static_cast<char>(key);
	return line;
}

TEST(TypedCodeGate, APersonsKeysNeverLandInsideATypedCode)
{
	struct Case {
		const char* name;
		std::vector<Step> steps;
		std::vector<std::string> passed;
		bigtime_t deadline = stria::kLatestTime;
	};
	const Case cases[] = {
	        {"a person's keys and Shift during a code wait for its end, in order",
	         {Person(0, 1, '+', 'w'), Typed(10, 9, 7, '+', 'a'), Person(20, 1, 'm'),
	          Person(30, 1, '+', 'X'), Typed(40, 9, 7, '-', 'a'), Person(50, 1, '-', 'X'),
	          Typed(60, 9, 7, '+', 'E'), Typed(70, 9, 7, '-', 'E', true), Person(80, 1, '-', 'w')},
	         {"1:+w", "9:+a", "9:-a", "9:+E", "9:-E", "1:m", "1:+X", "1:-X", "1:-w"}},
	        {"a person's messages that are no keys go on at once",
	         {Typed(0, 9, 7, '+', 'a'), NoKey(10, 1), Typed(20, 9, 7, '-', 'a', true)},
	         {"9:+a", "1:?", "9:-a"}},
	        {"the code's own add-on passes, marked or not",
	         {Typed(0, 9, 7, '+', 'a'), Person(10, 1, '+', 'x'), Person(20, 9, 'm'),
	          Typed(30, 9, 7, '-', 'a', true)},
	         {"9:+a", "9:m", "9:-a", "1:+x"}},
	        {"a new code of the same add-on ends the one before, without its end mark",
	         {Typed(0, 9, 7, '+', 'a'), Person(10, 1, '+', 'x'), Typed(20, 9, 8, '+', 'b'),
	          Person(30, 1, '-', 'x'), Typed(40, 9, 8, '-', 'b', true)},
	         {"9:+a", "1:+x", "9:+b", "9:-b", "1:-x"}},
	        {"another add-on's code waits its turn, and what came after it waits for it",
	         {Typed(0, 9, 7, '+', 'a'), Typed(10, 8, 3, '+', 'b'), Person(20, 1, '+', 'x'),
	          Typed(30, 8, 3, '-', 'b'), Typed(40, 9, 7, '-', 'a', true), Typed(50, 8, 3, '+', 'c'),
	          Typed(60, 8, 3, '-', 'c', true)},
	         {"9:+a", "9:-a", "8:+b", "8:-b", "8:+c", "8:-c", "1:+x"}},
	        {"an end mark of another code ends nothing",
	         {Typed(0, 9, 7, '+', 'a'), Person(10, 1, '+', 'x'), Typed(20, 8, 3, '+', 'b', true)},
	         {"9:+a"},
	         10 + kSecond},
	        {"a keyboard's messages that claim a code open none",
	         {Claiming(0, 1, 7, '+', 'a'), Person(10, 2, '+', 'x'), Claiming(20, 1, 7, '-', 'a')},
	         {"1:+a", "2:+x", "1:-a"}},
	        {"after a second's wait the keys go on, and later ones pass until the code ends",
	         {Typed(0, 9, 7, '+', 'a'), Person(100000, 1, '+', 'x'), Person(200000, 1, '-', 'x'),
	          ExpireAt(100000 + kSecond - 1), ExpireAt(100000 + kSecond),
	          Person(1200000, 1, '+', 'y'), Typed(1300000, 9, 7, '-', 'a', true),
	          Typed(1400000, 9, 8, '+', 'b'), Person(1500000, 1, '+', 'z')},
	         {"9:+a", "1:+x", "1:-x", "1:+y", "9:-a", "9:+b"},
	         1500000 + kSecond},
	        {"at the end everything goes, and nothing waits any more",
	         {Typed(0, 9, 7, '+', 'a'), Person(10, 1, '+', 'x'), ReleaseAt(20),
	          Person(30, 1, '-', 'x'), Typed(40, 9, 8, '+', 'b'), Person(50, 1, '+', 'y')},
	         {"9:+a", "1:+x", "1:-x", "9:+b", "1:+y"}},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<std::string> passed;
		TypedCodeGate gate([&](const BMessage& message) { passed.push_back(Render(message)); });
		for (const Step& step : c.steps) {
			switch (step.kind) {
			case Step::Message:
				gate.Take(*step.message(), step.at);
				break;
			case Step::Expire:
				gate.Expire(step.at);
				break;
			case Step::Release:
				gate.ReleaseAll();
				break;
			}
		}
		EXPECT_EQ(passed, c.passed);
		EXPECT_EQ(gate.Deadline(), c.deadline);
	}
}

TEST(TypedCodeGate, AFloodOfKeysDuringACodeGoesOnWithoutWaiting)
{
	size_t passed = 0;
	TypedCodeGate gate([&](const BMessage&) { passed++; });
	gate.Take(*Typed(0, 9, 7, '+', 'a').message(), 0);
	for (size_t index = 1; index < TypedCodeGate::kMostHeld; index++)
		gate.Take(*Person(0, 1, '+', 'x').message(), 0);
	EXPECT_EQ(passed, 1u);
	EXPECT_EQ(gate.CountHeld(), TypedCodeGate::kMostHeld - 1);
	gate.Take(*Person(0, 1, '+', 'x').message(), 0);
	EXPECT_EQ(passed, 1 + TypedCodeGate::kMostHeld);
	EXPECT_EQ(gate.CountHeld(), 0u);
}

} // namespace
