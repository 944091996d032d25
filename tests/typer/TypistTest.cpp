// The typist on a clock that moves only by what it waits: the keyboard
// messages of each code, their stamps and pacing, one code after another,
// settings taken as a code starts, and a finish in the middle of a code.
#include <StriaClock.h>
#include <Typist.h>

#include <AppDefs.h>
#include <Message.h>

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

// "KD 0x12 '1' m=0x0 @1000": what, key, byte, modifiers, when.
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
	return line + text;
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

TyperSettings Settings(TypedKind type, EndKey end = EndKey::Enter, bigtime_t delay = 0)
{
	return {type, end, delay};
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
	         {"KD 0x1b '0' m=0x0 @1000", "KU 0x1b m=0x0 @1000", "KD 0x12 '1' m=0x0 @1000",
	          "KU 0x12 m=0x0 @1000", "KD 0x47 '\n' m=0x0 @1000", "KU 0x47 m=0x0 @1000"}},
	        {"a capital and a symbol, 300 apart", "128 aB!", Settings(TypedKind::Data, EndKey::Tab, 300),
	         {"KD 0x3c 'a' m=0x0 @1000", "KU 0x3c m=0x0 @1300",
	          "MOD m=0x101 @1600", "UKD 0x4b m=0x101 @1600",
	          "KD 0x50 'B' m=0x101 @1900", "KU 0x50 m=0x101 @2200",
	          "MOD m=0x0 @2500", "UKU 0x4b m=0x0 @2500",
	          "MOD m=0x101 @2800", "UKD 0x4b m=0x101 @2800",
	          "KD 0x12 '!' m=0x101 @3100", "KU 0x12 m=0x101 @3400",
	          "MOD m=0x0 @3700", "UKU 0x4b m=0x0 @3700",
	          "KD 0x26 '\t' m=0x0 @4000", "KU 0x26 m=0x0 @4300"}},
	        {"off types nothing", "IBN 9780306406157", Settings(TypedKind::Off), {}},
	        {"isbn10 with no end key", "IBN 9780306406157", Settings(TypedKind::Isbn10, EndKey::None),
	         {"KD 0x1b '0' m=0x0 @1000", "KU 0x1b m=0x0 @1000", "KD 0x14 '3' m=0x0 @1000",
	          "KU 0x14 m=0x0 @1000", "KD 0x1b '0' m=0x0 @1000", "KU 0x1b m=0x0 @1000",
	          "KD 0x17 '6' m=0x0 @1000", "KU 0x17 m=0x0 @1000", "KD 0x15 '4' m=0x0 @1000",
	          "KU 0x15 m=0x0 @1000", "KD 0x1b '0' m=0x0 @1000", "KU 0x1b m=0x0 @1000",
	          "KD 0x17 '6' m=0x0 @1000", "KU 0x17 m=0x0 @1000", "KD 0x12 '1' m=0x0 @1000",
	          "KU 0x12 m=0x0 @1000", "KD 0x16 '5' m=0x0 @1000", "KU 0x16 m=0x0 @1000",
	          "KD 0x13 '2' m=0x0 @1000", "KU 0x13 m=0x0 @1000"}},
	        {"a control byte: not typed at all", "128 ab\x1b" "c", Settings(TypedKind::Data), {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		StepClock clock;
		Collector collector;
		{
			Typist typist(collector.Sink(), collector.Log(), &clock, c.settings);
			typist.Type(c.code);
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
	typist.Type("128 a\tb");
	typist.WaitUntilIdle();
	EXPECT_TRUE(collector.Lines().empty());
	EXPECT_EQ(collector.LogLines(),
	          std::vector<std::string>{"scan not typed: its text holds the byte 0x09, which is no "
	                                   "printable ASCII character: 128 a\\x09b"});
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
	         {"KD 0x12 '1' m=0x0 @1000", "KU 0x12 m=0x0 @1000", "KD 0x47 '\n' m=0x0 @1000",
	          "KU 0x47 m=0x0 @1000", "KD 0x13 '2' m=0x0 @1000", "KU 0x13 m=0x0 @1000"}},
	        {"typed by the typist's thread", 10,
	         {"KD 0x12 '1' m=0x0 @1000", "KU 0x12 m=0x0 @1010", "KD 0x47 '\n' m=0x0 @1020",
	          "KU 0x47 m=0x0 @1030", "KD 0x13 '2' m=0x0 @1030", "KU 0x13 m=0x0 @1030"}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		StepClock clock;
		Collector collector;
		collector.GateAt(1);
		Typist typist(collector.Sink(), collector.Log(), &clock,
		              Settings(TypedKind::Data, EndKey::Enter, c.firstDelay));
		std::thread giver([&typist] { typist.Type("UPA 1"); });
		collector.WaitForGate();
		typist.SetSettings(Settings(TypedKind::Data, EndKey::None));
		typist.Type("UPA 2");
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
	typist.Type("UPA 12");
	EXPECT_EQ(collector.Lines().size(), 4u);
	typist.Type("UPA 3");
	EXPECT_EQ(collector.Lines().size(), 6u);
	// Each code reached the stream as one.
	EXPECT_EQ(collector.Batches(), 2u);
}

TEST(Typist, FinishInTheMiddleOfACodeTypesItToTheEndAndStartsNoOther)
{
	StepClock clock;
	Collector collector;
	collector.GateAt(3);
	Typist typist(collector.Sink(), collector.Log(), &clock,
	              Settings(TypedKind::Data, EndKey::Enter, 100));
	typist.Type("UPA 123");
	collector.WaitForGate();
	typist.Type("UPA 456");
	std::thread finisher([&typist] { typist.Finish(); });
	while (!typist.IsFinishing())
		std::this_thread::yield();
	collector.Open();
	finisher.join();
	// Three digits and Enter, down and up: the whole first code, nothing of
	// the second.
	const std::vector<std::string> lines = collector.Lines();
	ASSERT_EQ(lines.size(), 8u);
	EXPECT_EQ(lines.back(), "KU 0x47 m=0x0 @1700");
	typist.Type("UPA 789");
	EXPECT_EQ(collector.Lines().size(), 8u);
	EXPECT_EQ(collector.LogLines(),
	          std::vector<std::string>{"the input server stops; scan not typed: UPA 789"});
	// Typing nothing, a scan left out is not worth a line.
	typist.SetSettings(Settings(TypedKind::Off));
	typist.Type("UPA 789");
	EXPECT_EQ(collector.LogLines().size(), 1u);
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
		typist.Type("UPA 12");
		typist.WaitUntilIdle();
		EXPECT_EQ(collector.Lines().size(), c.typed);
		EXPECT_EQ(collector.LogLines(), std::vector<std::string>{c.log});
	}
}

} // namespace
