// Replay ticks: those applications ask for, and those the timer asks the
// device for when a capture's first character is late (a person's lone F10).
// The timer runs on a clock the test moves, so every interleaving of keys,
// timer and ticks is played exactly.
#include "FilterTestSupport.h"
#include "ManualClock.h"

#include <StriaDevice.h>

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <OS.h>
#include <private/TestInputServerHost.h>

#include <StriaProtocol.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace filter_test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

const std::string kIsbnRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";

// A host with the device registered, as in the input server, and the
// filter's timer on a clock of the test's.
class TickTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(fDevice.InitCheck(), B_OK); }

	// Moves the clock to deadline once the timer waits for it, and returns
	// the tick the timer then puts into the stream.
	std::unique_ptr<BMessage> TimerTick(bigtime_t deadline)
	{
		EXPECT_TRUE(fClock.WaitForWaiter(deadline)) << "no capture waits for " << deadline;
		fClock.Set(deadline);
		for (int round = 0; round < 2000; round++) {
			std::vector<std::unique_ptr<BMessage>> messages = fHost.TakeMessages();
			if (!messages.empty()) {
				EXPECT_EQ(messages.size(), 1u);
				return std::move(messages.front());
			}
			snooze(10000);
		}
		ADD_FAILURE() << "the timer asked for no replay tick";
		return std::make_unique<BMessage>(STRIA_ALTF10_WHAT);
	}

	// What an application's tick becomes: the first F10 ever seen, stamped
	// with the real-time clock between earliest and latest.
	static void ExpectApplicationReplay(const BMessage& rebuilt, int32 modifiers,
	                                    bigtime_t earliest, bigtime_t latest)
	{
		EXPECT_EQ(rebuilt.what, (uint32)B_KEY_DOWN);
		EXPECT_EQ(rebuilt.GetInt32("key", -1), kF10);
		EXPECT_EQ(rebuilt.GetInt32("modifiers", -1), modifiers);
		bigtime_t when = rebuilt.GetInt64("when", -1);
		EXPECT_GE(when, earliest);
		EXPECT_LE(when, latest);
	}

	ManualClock fClock;
	BPrivate::TestInputServerHost fHost;
	StriaDevice fDevice;
};

TEST_F(TickTest, TickBeforeAnyF10TravelsOn)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	EXPECT_EQ(runner.Play(Other(STRIA_ALTF10_WHAT)), B_DISPATCH_MESSAGE);
	EXPECT_THAT(runner.Delivered(), ElementsAre("what=0xcafebabe"));
}

TEST_F(TickTest, TickAfterAnF10BecomesTheFirstF10WithAFreshStamp)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	std::vector<Input> first = Scan(kIsbnRecord, 1000);
	first[0].modifiers = B_NUM_LOCK;
	std::vector<Input> second = Scan(kIsbnRecord, 2000000);
	second[0].modifiers = B_SHIFT_KEY;
	runner.Play(Join({first, second}));
	size_t before = runner.Delivered().size();

	bigtime_t earliest = real_time_clock_usecs();
	EXPECT_EQ(runner.Play(Other(STRIA_ALTF10_WHAT)), B_DISPATCH_MESSAGE);
	bigtime_t latest = real_time_clock_usecs();

	ASSERT_EQ(runner.Delivered().size(), before + 1);
	ExpectApplicationReplay(*runner.DeliveredMessages().back(), B_NUM_LOCK, earliest, latest);
	EXPECT_THAT(filter.StopAndTakeCodes(),
	            ElementsAre(RepairedCode(kIsbnRecord), RepairedCode(kIsbnRecord)));
}

TEST_F(TickTest, LoneF10ReachesApplicationsThroughTheTimersTick)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play({Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY), Up(kF10, 6000)});

	std::unique_ptr<BMessage> tick = TimerTick(5000 + CueCatFilter::FIRST_CHAR_TIME);
	EXPECT_EQ(tick->what, (uint32)STRIA_ALTF10_WHAT);
	EXPECT_EQ(runner.Play(tick.release()), B_DISPATCH_MESSAGE);
	// The capture is decided: a key soon after passes alone.
	runner.Play(Down(kLetterKey, 'a', 100000));

	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(Up(kF10, 6000)),
	                        Describe(Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY)),
	                        Describe(Down(kLetterKey, 'a', 100000))));
	EXPECT_THAT(filter.StopAndTakeCodes(), IsEmpty());
}

TEST_F(TickTest, TickAfterAKeyRevealedTheF10IsDropped)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000));
	std::unique_ptr<BMessage> tick = TimerTick(15000);
	// The key was stamped within the limit but reached the filter after
	// the timer had asked for its tick.
	runner.Play(Down(kLetterKey, 'a', 8000));
	EXPECT_EQ(runner.Play(tick.release()), B_SKIP_MESSAGE);

	EXPECT_THAT(runner.Delivered(), ElementsAre(Describe(Down(kF10, B_FUNCTION_KEY, 7900)),
	                                            Describe(Down(kLetterKey, 'a', 8000))));
}

// A scan whose keys reach the filter late but carry the scanner's stamps
// is a scan, whether the timer's tick comes before them or after.
TEST_F(TickTest, LateScanKeysStampedAtScannerPaceAreCaptured)
{
	for (bool tickFirst : {false, true}) {
		SCOPED_TRACE(tickFirst ? "tick before the record" : "tick inside the record");
		ManualClock clock;
		RecordingFilter filter(&clock);
		StreamRunner runner(filter);
		std::vector<Input> scan = Scan(kIsbnRecord, 5000);
		runner.Play(std::vector<Input>(scan.begin(), scan.begin() + 2));
		EXPECT_TRUE(clock.WaitForWaiter(15000));
		clock.Set(75000); // the reader fell 60 ms behind
		std::unique_ptr<BMessage> tick;
		for (int round = 0; round < 2000 && !tick; round++) {
			std::vector<std::unique_ptr<BMessage>> messages = fHost.TakeMessages();
			if (!messages.empty())
				tick = std::move(messages.front());
			else
				snooze(10000);
		}
		ASSERT_TRUE(tick);
		auto middle = scan.begin() + 6;
		if (tickFirst) {
			EXPECT_EQ(runner.Play(tick.release()), B_DISPATCH_MESSAGE);
			runner.Play(std::vector<Input>(scan.begin() + 2, scan.end()));
		} else {
			runner.Play(std::vector<Input>(scan.begin() + 2, middle));
			EXPECT_EQ(runner.Play(tick.release()), B_SKIP_MESSAGE);
			runner.Play(std::vector<Input>(middle, scan.end()));
		}

		// Of the F10 at most itself went on, once, when the tick came first;
		// nothing else but the key-ups.
		std::vector<std::string> delivered = runner.Delivered();
		size_t keyDowns = 0;
		for (const std::string& line : delivered)
			keyDowns += line.rfind("down ", 0) == 0;
		EXPECT_EQ(keyDowns, tickFirst ? 1u : 0u);
		if (tickFirst) {
			ASSERT_GE(delivered.size(), 2u);
			EXPECT_EQ(delivered[1], Describe(scan.front())) << "behind the F10's own key-up";
		}
		EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAre(RepairedCode(kIsbnRecord)));
	}
}

TEST_F(TickTest, TickOfAnEarlierCaptureIsDroppedAndTheNewOneGetsItsOwn)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000, B_SHIFT_KEY));
	std::unique_ptr<BMessage> firstTick = TimerTick(15000);
	// Stamped past the first F10's limit: that one was a person's and goes
	// on at once, in front of nothing.
	runner.Play(Down(kF10, B_FUNCTION_KEY, 100000, B_CONTROL_KEY));
	std::unique_ptr<BMessage> secondTick = TimerTick(110000);

	EXPECT_EQ(runner.Play(firstTick.release()), B_SKIP_MESSAGE);
	EXPECT_EQ(runner.Play(secondTick.release()), B_DISPATCH_MESSAGE);
	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(Down(kF10, B_FUNCTION_KEY, 5000, B_SHIFT_KEY)),
	                        Describe(Down(kF10, B_FUNCTION_KEY, 100000, B_CONTROL_KEY))));
}

// Each capture has its own wait for its first character: after a capture
// a key revealed, the next F10 is timed afresh.
TEST_F(TickTest, LoneF10RightAfterARevealedOneIsTimedAndDelivered)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	for (bigtime_t start : {1000, 3000000, 6000000}) {
		runner.Play({Down(kF10, B_FUNCTION_KEY, start), Down(kLetterKey, 'a', start + 2000)});
		runner.Play(Down(kF10, B_FUNCTION_KEY, start + 2500, B_SHIFT_KEY));
		runner.Play(TimerTick(start + 2500 + CueCatFilter::FIRST_CHAR_TIME).release());
	}
	std::vector<std::string> expected;
	for (bigtime_t start : {1000, 3000000, 6000000}) {
		expected.push_back(Describe(Down(kF10, B_FUNCTION_KEY, start + 1900)));
		expected.push_back(Describe(Down(kLetterKey, 'a', start + 2000)));
		expected.push_back(Describe(Down(kF10, B_FUNCTION_KEY, start + 2500, B_SHIFT_KEY)));
	}
	EXPECT_EQ(runner.Delivered(), expected);
}

// Recorded input is decided by its own stamps alone, at whatever pace it
// is played: its F10 is never timed, its quiet notice decides it instead.
TEST_F(TickTest, RecordedInputIsNeverTimed)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play(FromSource({Down(kF10, B_FUNCTION_KEY, 5000)}, 3, STRIA_SOURCE_RECORDED));
	fClock.Set(1000000);
	// A keyboard's F10: once the timer waits for it, whatever was due
	// before has fired.
	runner.Play(FromSource({Down(kF10, B_FUNCTION_KEY, 2000000)}, 4));
	EXPECT_TRUE(fClock.WaitForWaiter(2010000));
	EXPECT_TRUE(fHost.TakeMessages().empty()) << "no tick for recorded input";

	Input quiet{STRIA_INPUT_QUIET};
	quiet.when = 15001;
	quiet.source = 3;
	quiet.sourceKind = STRIA_SOURCE_RECORDED;
	EXPECT_EQ(runner.Play(quiet), B_DISPATCH_MESSAGE);
	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(FromSource({Down(kF10, B_FUNCTION_KEY, 5000)}, 3,
	                                            STRIA_SOURCE_RECORDED)[0]),
	                        Describe(quiet)));
}

// An application's tick is never taken for the timer's, nor the other way
// round: neither closes a capture that is not its own.
TEST_F(TickTest, ApplicationTicksAndTimerTicksAreToldApart)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000, B_NUM_LOCK));

	// During a scan that comes slowly (its record after the timer's tick
	// was asked for), an application's tick replays the first F10 and
	// leaves the scan alone.
	std::unique_ptr<BMessage> timerTick = TimerTick(15000);
	bigtime_t earliest = real_time_clock_usecs();
	EXPECT_EQ(runner.Play(Other(STRIA_ALTF10_WHAT)), B_DISPATCH_MESSAGE);
	bigtime_t latest = real_time_clock_usecs();
	runner.Play(Typed(kIsbnRecord + "\n", 7000, 100));
	EXPECT_EQ(runner.Play(timerTick.release()), B_SKIP_MESSAGE);
	ASSERT_EQ(runner.Delivered().size(), 1u + kIsbnRecord.size());
	ExpectApplicationReplay(*runner.DeliveredMessages().front(), B_NUM_LOCK, earliest, latest);

	// An application's tick while the timer's is on its way is not
	// swallowed, and the timer's still delivers its lone F10.
	runner.Play(Down(kF10, B_FUNCTION_KEY, 1000000, B_SHIFT_KEY));
	timerTick = TimerTick(1010000);
	size_t before = runner.Delivered().size();
	earliest = real_time_clock_usecs();
	EXPECT_EQ(runner.Play(Other(STRIA_ALTF10_WHAT)), B_DISPATCH_MESSAGE);
	latest = real_time_clock_usecs();
	EXPECT_EQ(runner.Play(timerTick.release()), B_DISPATCH_MESSAGE);
	ASSERT_EQ(runner.Delivered().size(), before + 2);
	ExpectApplicationReplay(*runner.DeliveredMessages()[before], B_NUM_LOCK, earliest, latest);
	EXPECT_EQ(runner.Delivered().back(),
	          Describe(Down(kF10, B_FUNCTION_KEY, 1000000, B_SHIFT_KEY)));

	// A tick naming a capture that is not open (made up, or stale) does
	// nothing.
	BMessage* madeUp = new BMessage(STRIA_ALTF10_WHAT);
	madeUp->AddInt64(STRIA_CAPTURE_FIELD, 42);
	EXPECT_EQ(runner.Play(madeUp), B_SKIP_MESSAGE);
	EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAre(RepairedCode(kIsbnRecord)));
}

} // namespace
