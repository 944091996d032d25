// The filter's timer and replay requests around the capture: the timer's
// tick goes into the input stream through the host alone, with no device
// add-on loaded, and comes back to the filter behind the keys queued before
// it; an application's replay request becomes the first F10 ever seen.
#include "FilterTestSupport.h"
#include "ManualClock.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <OS.h>
#include <private/TestInputServerHost.h>

#include <StriaProtocol.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

using namespace filter_test;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// A host with no device registered that keeps what filters enqueue and
// wakes the test when something comes.
class FilterHost : public BPrivate::TestInputServerHost {
public:
	status_t EnqueueFilterMessage(BInputServerFilter*, BMessage* message) override
	{
		std::lock_guard lock(fLock);
		fTicks.emplace_back(message);
		fChanged.notify_all();
		return B_OK;
	}

	// The next message a filter enqueued; NULL after 20 s without one.
	std::unique_ptr<BMessage> NextTick()
	{
		std::unique_lock lock(fLock);
		if (!fChanged.wait_for(lock, std::chrono::seconds(20), [this] { return !fTicks.empty(); }))
			return nullptr;
		std::unique_ptr<BMessage> tick = std::move(fTicks.front());
		fTicks.erase(fTicks.begin());
		return tick;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::unique_ptr<BMessage>> fTicks;
};

class TickTest : public ::testing::Test {
protected:
	// Moves the clock to deadline once the timer waits for it, and returns
	// the tick the timer then puts into the stream.
	std::unique_ptr<BMessage> TimerTick(bigtime_t deadline)
	{
		EXPECT_TRUE(fClock.WaitForWaiter(deadline)) << "no capture waits for " << deadline;
		fClock.Set(deadline);
		std::unique_ptr<BMessage> tick = fHost.NextTick();
		EXPECT_TRUE(tick) << "the timer put no tick into the stream";
		return tick ? std::move(tick) : std::make_unique<BMessage>(STRIA_CAPTURE_TICK);
	}

	ManualClock fClock;
	FilterHost fHost;
};

TEST_F(TickTest, LoneF10GoesOnThroughTheTimersTickWithNoDeviceLoaded)
{
	ASSERT_THAT(fHost.Devices(), IsEmpty());
	RecordingFilter filter(&fClock);
	ASSERT_EQ(filter.InitCheck(), B_OK);
	StreamRunner runner(filter);
	runner.Play({Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY), Up(kF10, 6000)});

	std::unique_ptr<BMessage> tick = TimerTick(5000 + ScanCapture::FIRST_CHAR_TIME);
	EXPECT_EQ(tick->what, (uint32)STRIA_CAPTURE_TICK);
	EXPECT_EQ(runner.Play(tick.release()), B_DISPATCH_MESSAGE);
	runner.Play(Down(kLetterKey, 'a', 100000));

	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY)),
	                        Describe(Up(kF10, 6000)), Describe(Down(kLetterKey, 'a', 100000))));
	EXPECT_THAT(fHost.TakeMessages(), IsEmpty()) << "nothing went through a device";
	EXPECT_THAT(filter.StopAndTakeCodes(), IsEmpty());
}

// A tick that is not the timer's never reaches applications and decides
// nothing: one without a capture, one naming no open capture, and an
// application's replay request, which cannot name a capture at all.
TEST_F(TickTest, TicksTheTimerDidNotAskForDecideNothing)
{
	RecordingFilter filter(&fClock);
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000, B_NUM_LOCK));
	std::unique_ptr<BMessage> timerTick = TimerTick(15000);

	BMessage* bare = new BMessage(STRIA_CAPTURE_TICK);
	EXPECT_EQ(runner.Play(bare), B_SKIP_MESSAGE);
	BMessage* madeUp = new BMessage(STRIA_CAPTURE_TICK);
	madeUp->AddInt64(STRIA_CAPTURE_FIELD, 42);
	EXPECT_EQ(runner.Play(madeUp), B_SKIP_MESSAGE);
	EXPECT_THAT(runner.Delivered(), IsEmpty());

	// The application's request replays the F10 and leaves the scan alone.
	BMessage* replay = new BMessage(STRIA_ALTF10_WHAT);
	replay->AddInt64(STRIA_CAPTURE_FIELD, timerTick->GetInt64(STRIA_CAPTURE_FIELD, 0));
	bigtime_t earliest = real_time_clock_usecs();
	EXPECT_EQ(runner.Play(replay), B_DISPATCH_MESSAGE);
	bigtime_t latest = real_time_clock_usecs();
	ASSERT_EQ(runner.DeliveredMessages().size(), 1u);
	const BMessage& rebuilt = *runner.DeliveredMessages().front();
	EXPECT_EQ(rebuilt.GetInt32("key", -1), kF10);
	EXPECT_EQ(rebuilt.GetInt32("modifiers", -1), B_NUM_LOCK);
	EXPECT_GE(rebuilt.GetInt64("when", -1), earliest);
	EXPECT_LE(rebuilt.GetInt64("when", -1), latest);

	const std::string record = ".C3nZC3nZC3nYCxP2Dxb1CNnY.CNf7.ebCrcGjUCxnXDq.";
	runner.Play(Typed(record + "\n", 7000, 100));
	EXPECT_EQ(runner.Play(timerTick.release()), B_SKIP_MESSAGE);
	EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAre("128 STRIA-2026"));
}

} // namespace
