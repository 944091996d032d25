// The typist on a clock that moves only by what it waits: the keyboard
// messages of each code, their stamps, pacing and code numbers, one code
// after another, settings taken as a code starts; and on a clock the test
// moves, a code stopped between two keys by type off or a finish.
#include "../filter/ManualClock.h"

#include <StriaClock.h>
#include <Typist.h>

#include <AppDefs.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

// Moves by exactly what the typist sleeps, so stamps show the pacing: a
// wait jumps to its deadline at once.
class StepClock : public StriaClock {
public:
	bigtime_t Now() override
	{
		std::lock_guard lock(fLock);
		return fNow;
	}
	void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&,
	               bigtime_t deadline) override
	{
		std::lock_guard lock(fLock);
		fNow = std::max(fNow, deadline);
	}

private:
	std::mutex fLock;
	bigtime_t fNow = 1000;
};

// "KD 0x12 '1' m=0x0 @1000 #1": what, key, byte, modifiers, when, the
// number of the code it types, and " end" on a code's last message.
std::string Render(const BMessage& message)
{
	const char* what = message.what == B_KEY_DOWN            ? "KD"
	                   : message.what == B_KEY_UP            ? "KU"
	                   : message.what == B_UNMAPPED_KEY_DOWN ? "UKD"
	                   : message.what == B_UNMAPPED_KEY_UP   ? "UKU"
	                   : message.what == B_MODIFIERS_CHANGED ? "MOD"
	                                                         : "?";
	std::string line = what;
	char text[64];
	int32 key;
	if (message.FindInt32("key", &key) == B_OK) {
		snprintf(text, sizeof(text), " 0x%02x", (unsigned)key);
		line += text;
	}
	const char* bytes;
	if (message.what == B_KEY_DOWN && message.FindString("bytes", &bytes) == B_OK)
		line += std::string(" '") + bytes + "'";
	int32 modifiers = 0;
	message.FindInt32("modifiers", &modifiers);
	int64 when = 0;
	message.FindInt64("when", &when);
	snprintf(text, sizeof(text), " m=0x%x @%lld", (unsigned)modifiers, (long long)when);
	line += text;
	int64 code = 0;
	if (message.FindInt64(STRIA_TYPED_CODE_FIELD, &code) == B_OK)
		line += " #" + std::to_string(code);
	bool end = false;
	if (message.FindBool(STRIA_TYPED_CODE_END_FIELD, &end) == B_OK)
		line += end ? " end" : " end=false";
	return line;
}

class Collector {
public:
	// Takes what it is given as one, or nothing from the refusal on.
	Typist::Sink Sink()
	{
		return [this](std::vector<std::unique_ptr<BMessage>> messages) {
			std::unique_lock lock(fLock);
			if (fLines.size() + messages.size() > fRefuseFrom)
				return false;
			fBatches++;
			for (const std::unique_ptr<BMessage>& message : messages)
				fLines.push_back(Render(*message));
			fChanged.notify_all();
			if (fGateAt != 0 && fLines.size() >= fGateAt && !fGatePassed) {
				fGatePassed = true;
				fChanged.wait(lock, [this] { return fGateOpen; });
			}
			return true;
		};
	}
	Typist::Logger Log()
	{
		return [this](const std::string& line) {
			std::lock_guard lock(fLock);
			fLog.push_back(line);
		};
	}
	std::vector<std::string> Lines()
	{
		std::lock_guard lock(fLock);
		return fLines;
	}
	size_t Batches()
	{
		std::lock_guard lock(fLock);
		return fBatches;
	}
	std::vector<std::string> LogLines()
	{
		std::lock_guard lock(fLock);
		return fLog;
	}
	// The sink stops once it holds count messages, until Open.
	void GateAt(size_t count) { fGateAt = count; }
	void WaitForGate()
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return fLines.size() >= fGateAt; });
	}
	void Open()
	{
		std::lock_guard lock(fLock);
		fGateOpen = true;
		fChanged.notify_all();
	}
	// Takes nothing that would bring it past count messages.
	void RefuseFrom(size_t count) { fRefuseFrom = count; }

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fLines;
	std::vector<std::string> fLog;
	size_t fBatches = 0;
	size_t fGateAt = 0;
	bool fGatePassed = false;
	bool fGateOpen = false;
	size_t fRefuseFrom = SIZE_MAX;
};

// Free text on: the cases type Code 128 text for its capitals and symbols;
// which codes are typed at all is a table of its own.
TyperSettings Settings(TypedKind type, EndKey end = EndKey::Enter, bigtime_t delay = 0)
{
	return {.type = type, .end = end, .keyDelay = delay, .freeText = true};
}

TEST(Typist, TypesEachCodeWithItsOwnShiftPacedByTheKeyDelay)
{
	const struct {
		const char* name;
		const char* code;
		TyperSettings settings;
		std::vector<std::string> lines;
	} cases[] = {
	        {"digits, no delay", "UPE 01", Settings(TypedKind::Data),
	         {"KD 0x1b '0' m=0x0 @1000 #1", "KU 0x1b m=0x0 @1000 #1", "KD 0x12 '1' m=0x0 @1000 #1",
	          "KU 0x12 m=0x0 @1000 #1", "KD 0x47 '\n' m=0x0 @1000 #1", "KU 0x47 m=0x0 @1000 #1 end"}},
	        {"a capital and a symbol, 300 apart", "128 aB!", Settings(TypedKind::Data, EndKey::Tab, 300),
	         {"KD 0x3c 'a' m=0x0 @1000 #1", "KU 0x3c m=0x0 @1300 #1",
	          "MOD m=0x101 @1600 #1", "UKD 0x4b m=0x101 @1600 #1",
	          "KD 0x50 'B' m=0x101 @1900 #1", "KU 0x50 m=0x101 @2200 #1",
	          "MOD m=0x0 @2500 #1", "UKU 0x4b m=0x0 @2500 #1",
	          "MOD m=0x101 @2800 #1", "UKD 0x4b m=0x101 @2800 #1",
	          "KD 0x12 '!' m=0x101 @3100 #1", "KU 0x12 m=0x101 @3400 #1",
	          "MOD m=0x0 @3700 #1", "UKU 0x4b m=0x0 @3700 #1",
	          "KD 0x26 '\t' m=0x0 @4000 #1", "KU 0x26 m=0x0 @4300 #1 end"}},
	        {"off types nothing", "IBN 9780306406157", Settings(TypedKind::Off), {}},
	        {"isbn10 with no end key", "IBN 9780306406157", Settings(TypedKind::Isbn10, EndKey::None),
	         {"KD 0x1b '0' m=0x0 @1000 #1", "KU 0x1b m=0x0 @1000 #1", "KD 0x14 '3' m=0x0 @1000 #1",
	          "KU 0x14 m=0x0 @1000 #1", "KD 0x1b '0' m=0x0 @1000 #1", "KU 0x1b m=0x0 @1000 #1",
	          "KD 0x17 '6' m=0x0 @1000 #1", "KU 0x17 m=0x0 @1000 #1", "KD 0x15 '4' m=0x0 @1000 #1",
	          "KU 0x15 m=0x0 @1000 #1", "KD 0x1b '0' m=0x0 @1000 #1", "KU 0x1b m=0x0 @1000 #1",
	          "KD 0x17 '6' m=0x0 @1000 #1", "KU 0x17 m=0x0 @1000 #1", "KD 0x12 '1' m=0x0 @1000 #1",
	          "KU 0x12 m=0x0 @1000 #1", "KD 0x16 '5' m=0x0 @1000 #1", "KU 0x16 m=0x0 @1000 #1",
	          "KD 0x13 '2' m=0x0 @1000 #1", "KU 0x13 m=0x0 @1000 #1 end"}},
	        {"a control byte: not typed at all", "128 ab\x1b" "c", Settings(TypedKind::Data), {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		StepClock clock;
		Collector collector;
		{
			Typist typist(collector.Sink(), collector.Log(), &clock, c.settings);
			typist.Type(c.code, false);
			typist.WaitUntilIdle();
		}
		EXPECT_EQ(collector.Lines(), c.lines);
	}
}

TEST(Typist, UntypeableScanIsNamedInOneLogLine)
{
	StepClock clock;
	Collector collector;
	Typist typist(collector.Sink(), collector.Log(), &clock, Settings(TypedKind::Barcode));
	typist.Type("128 a\tb", false);
	typist.WaitUntilIdle();
	EXPECT_TRUE(collector.Lines().empty());
	EXPECT_EQ(collector.LogLines(),
	          std::vector<std::string>{"scan not typed: its text holds the byte 0x09, which is no "
	                                   "printable ASCII character: 128 a\\x09b"});
}

TEST(Typist, OnlyProductCodesUnlessFreeTextAndNeverAWrongCheckDigit)
{
	const struct {
		const char* code;
		bool checkFailed;
		bool freeText;
		const char* typed; // the key-downs' bytes; nullptr: the log line instead
		const char* log;
	} cases[] = {
	        {"UPA 12", false, false, "12\n", nullptr},
	        {"IBN 97", false, false, "97\n", nullptr},
	        {"128 rm -rf ~", false, false, nullptr,
	         "scan not typed: it is no UPC, EAN or ISBN code, and free-text is no: 128 rm -rf ~"},
	        {"128 rm -rf ~", false, true, "rm -rf ~\n", nullptr},
	        {"C39 AB", false, false, nullptr,
	         "scan not typed: it is no UPC, EAN or ISBN code, and free-text is no: C39 AB"},
	        {"UPA 12", true, false, nullptr, "scan not typed: its check digit is wrong: UPA 12"},
	        {"UPA 12", true, true, nullptr, "scan not typed: its check digit is wrong: UPA 12"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(std::string(c.code) + (c.checkFailed ? ", check failed" : "") +
		             (c.freeText ? ", free text" : ""));
		StepClock clock;
		Collector collector;
		TyperSettings settings = Settings(TypedKind::Data);
		settings.freeText = c.freeText;
		Typist typist(collector.Sink(), collector.Log(), &clock, settings);
		typist.Type(c.code, c.checkFailed);
		typist.WaitUntilIdle();
		std::string typed;
		for (const std::string& line : collector.Lines()) {
			if (line.starts_with("KD "))
				typed += line.substr(line.find('\'') + 1, 1);
		}
		EXPECT_EQ(typed, c.typed != nullptr ? c.typed : "");
		EXPECT_EQ(collector.LogLines(),
		          c.log != nullptr ? std::vector<std::string>{c.log} : std::vector<std::string>{});
	}
}

TEST(Typist, CodesWaitTheirTurnAndTakeTheSettingsOfTheirStart)
{
	// The first code's first key stops until the second code and a new
	// setting have come: with no delay it is typed on the thread that gave
	// it, with a delay on the typist's own, and either way the second waits
	// for its end, even where it could be typed at once.
	const struct {
		const char* name;
		bigtime_t firstDelay;
		std::vector<std::string> lines;
	} cases[] = {
	        {"typed at once", 0,
	         {"KD 0x12 '1' m=0x0 @1000 #1", "KU 0x12 m=0x0 @1000 #1",
	          "KD 0x47 '\n' m=0x0 @1000 #1", "KU 0x47 m=0x0 @1000 #1 end",
	          "KD 0x13 '2' m=0x0 @1000 #2", "KU 0x13 m=0x0 @1000 #2 end"}},
	        {"typed by the typist's thread", 10,
	         {"KD 0x12 '1' m=0x0 @1000 #1", "KU 0x12 m=0x0 @1010 #1",
	          "KD 0x47 '\n' m=0x0 @1020 #1", "KU 0x47 m=0x0 @1030 #1 end",
	          "KD 0x13 '2' m=0x0 @1030 #2", "KU 0x13 m=0x0 @1030 #2 end"}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		StepClock clock;
		Collector collector;
		collector.GateAt(1);
		Typist typist(collector.Sink(), collector.Log(), &clock,
		              Settings(TypedKind::Data, EndKey::Enter, c.firstDelay));
		std::thread giver([&typist] { typist.Type("UPA 1", false); });
		collector.WaitForGate();
		typist.SetSettings(Settings(TypedKind::Data, EndKey::None));
		typist.Type("UPA 2", false);
		collector.Open();
		giver.join();
		typist.WaitUntilIdle();
		EXPECT_EQ(collector.Lines(), c.lines);
	}
}

TEST(Typist, WithNoDelayACodeIsTypedAsOneBeforeTypeReturns)
{
	// Typed on the caller's thread: the keys are in the stream before the
	// next message reaches whoever gave the code.
	StepClock clock;
	Collector collector;
	Typist typist(collector.Sink(), collector.Log(), &clock,
	              Settings(TypedKind::Data, EndKey::None));
	typist.Type("UPA 12", false);
	EXPECT_EQ(collector.Lines().size(), 4u);
	typist.Type("UPA 3", false);
	EXPECT_EQ(collector.Lines().size(), 6u);
	// Each code reached the stream as one.
	EXPECT_EQ(collector.Batches(), 2u);
}

TEST(Typist, OffOrAFinishStopsACodeBeforeItsNextKeyAndLetsGoOfWhatItHolds)
{
	// "aB" and Enter, 100 apart from 1000: a down, a up, Shift down, B down,
	// B up, Shift up, Enter down, Enter up. The stop comes while the typist
	// waits for key `before`, with "UPA 2" waiting its turn; then type is
	// data again (no delay) and "UPA 3" comes.
	enum Stop { kOff, kOffAndOnAgain, kFinish };
	const struct {
		const char* name;
		size_t before;
		Stop stop;
		std::vector<std::string> lines;
		std::vector<std::string> log;
	} cases[] = {
	        {"off while a key is down", 1, kOff,
	         {"KD 0x3c 'a' m=0x0 @1000 #1", "KU 0x3c m=0x0 @1000 #1 end",
	          "KD 0x14 '3' m=0x0 @1000 #2", "KU 0x14 m=0x0 @1000 #2",
	          "KD 0x47 '\n' m=0x0 @1000 #2", "KU 0x47 m=0x0 @1000 #2 end"},
	         {"type was turned off; scan typed in part: aB"}},
	        {"off with nothing held", 2, kOff,
	         {"KD 0x3c 'a' m=0x0 @1000 #1", "KU 0x3c m=0x0 @1100 #1", "MOD m=0x0 @1100 #1 end",
	          "KD 0x14 '3' m=0x0 @1100 #2", "KU 0x14 m=0x0 @1100 #2",
	          "KD 0x47 '\n' m=0x0 @1100 #2", "KU 0x47 m=0x0 @1100 #2 end"},
	         {"type was turned off; scan typed in part: aB"}},
	        {"off and on again before the typist wakes", 2, kOffAndOnAgain,
	         {"KD 0x3c 'a' m=0x0 @1000 #1", "KU 0x3c m=0x0 @1100 #1", "MOD m=0x0 @1100 #1 end",
	          "KD 0x14 '3' m=0x0 @1100 #2", "KU 0x14 m=0x0 @1100 #2",
	          "KD 0x47 '\n' m=0x0 @1100 #2", "KU 0x47 m=0x0 @1100 #2 end"},
	         {"type was turned off; scan typed in part: aB"}},
	        {"finish while Shift and B are down", 4, kFinish,
	         {"KD 0x3c 'a' m=0x0 @1000 #1", "KU 0x3c m=0x0 @1100 #1", "MOD m=0x101 @1200 #1",
	          "UKD 0x4b m=0x101 @1200 #1", "KD 0x50 'B' m=0x101 @1300 #1",
	          "KU 0x50 m=0x101 @1300 #1", "MOD m=0x0 @1300 #1", "UKU 0x4b m=0x0 @1300 #1 end"},
	         {"the input server stops; scan typed in part: aB",
	          "the input server stops; scan not typed: UPA 3"}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		filter_test::ManualClock clock(1000);
		Collector collector;
		Typist typist(collector.Sink(), collector.Log(), &clock,
		              Settings(TypedKind::Data, EndKey::Enter, 100));
		typist.Type("128 aB", false);
		for (size_t key = 1; key < c.before; key++) {
			ASSERT_TRUE(clock.WaitForWaiter(1000 + 100 * bigtime_t(key)));
			clock.Set(1000 + 100 * bigtime_t(key));
		}
		ASSERT_TRUE(clock.WaitForWaiter(1000 + 100 * bigtime_t(c.before)));
		typist.Type("UPA 2", false);
		if (c.stop == kFinish) {
			typist.Finish();
		} else {
			typist.SetSettings(Settings(TypedKind::Off));
			if (c.stop == kOffAndOnAgain)
				typist.SetSettings(Settings(TypedKind::Data, EndKey::Enter, 100));
			typist.WaitUntilIdle();
		}
		typist.SetSettings(Settings(TypedKind::Data));
		typist.Type("UPA 3", false);
		typist.WaitUntilIdle();
		EXPECT_EQ(collector.Lines(), c.lines);
		EXPECT_EQ(collector.LogLines(), c.log);
	}
}

TEST(Typist, AfterAFinishNothingIsTypedAndTypingNothingSaysNothing)
{
	StepClock clock;
	Collector collector;
	Typist typist(collector.Sink(), collector.Log(), &clock, Settings(TypedKind::Data));
	typist.Finish();
	typist.Type("UPA 789", false);
	typist.SetSettings(Settings(TypedKind::Off));
	typist.Type("UPA 789", false);
	EXPECT_TRUE(collector.Lines().empty());
	EXPECT_EQ(collector.LogLines(),
	          std::vector<std::string>{"the input server stops; scan not typed: UPA 789"});
}

TEST(Typist, StreamThatTakesNoMoreEndsTheCodeWithALogLine)
{
	// Without a delay the code is one hand-over, taken whole or not at all;
	// with one, the keys before the refusal are typed.
	const struct {
		const char* name;
		bigtime_t delay;
		size_t refuseFrom;
		size_t typed;
		const char* log;
	} cases[] = {
	        {"no delay", 0, 3, 0, "the input stream took no more keys; scan not typed: 12"},
	        {"paced, refused at once", 10, 0, 0,
	         "the input stream took no more keys; scan not typed: 12"},
	        {"paced, refused at the third key", 10, 2, 2,
	         "the input stream took no more keys; scan typed in part: 12"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		StepClock clock;
		Collector collector;
		collector.RefuseFrom(c.refuseFrom);
		Typist typist(collector.Sink(), collector.Log(), &clock,
		              Settings(TypedKind::Data, EndKey::Enter, c.delay));
		typist.Type("UPA 12", false);
		typist.WaitUntilIdle();
		EXPECT_EQ(collector.Lines().size(), c.typed);
		EXPECT_EQ(collector.LogLines(), std::vector<std::string>{c.log});
	}
}

} // namespace
