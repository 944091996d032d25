// Replay ticks: those applications ask for, and those the timer asks the
// device for when a capture's first character is late (a person's lone F10).
#include "FilterTestSupport.h"

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

// Long enough that the timer never gives up on a first character in these
// tests, however slowly they run.
const bigtime_t kPatientTimer = 60000000;

// A host with the device registered, as in the input server.
class TickTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(fDevice.InitCheck(), B_OK); }

	// Waits for the timer's tick request to reach the input stream.
	std::unique_ptr<BMessage> WaitForTick()
	{
		for (int round = 0; round < 1000; round++) {
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

	BPrivate::TestInputServerHost fHost;
	StriaDevice fDevice;
};

TEST_F(TickTest, TickBeforeAnyF10TravelsOn)
{
	RecordingFilter filter(kPatientTimer);
	StreamRunner runner(filter);
	EXPECT_EQ(runner.Play(Other(STRIA_ALTF10_WHAT)), B_DISPATCH_MESSAGE);
	EXPECT_THAT(runner.Delivered(), ElementsAre("what=0xcafebabe"));
}

TEST_F(TickTest, TickAfterAnF10BecomesTheFirstF10WithAFreshStamp)
{
	RecordingFilter filter(kPatientTimer);
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
	const BMessage& rebuilt = *runner.DeliveredMessages().back();
	EXPECT_EQ(rebuilt.what, (uint32)B_KEY_DOWN);
	EXPECT_EQ(rebuilt.GetInt32("key", -1), kF10);
	EXPECT_EQ(rebuilt.GetInt32("modifiers", -1), B_NUM_LOCK);
	bigtime_t when = rebuilt.GetInt64("when", -1);
	EXPECT_GE(when, earliest);
	EXPECT_LE(when, latest);
	EXPECT_THAT(filter.StopAndTakeCodes(),
	            ElementsAre(RepairedCode(kIsbnRecord), RepairedCode(kIsbnRecord)));
}

TEST_F(TickTest, LoneF10ReachesApplicationsThroughTheTimersTick)
{
	RecordingFilter filter;
	StreamRunner runner(filter);
	runner.Play({Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY), Up(kF10, 90000)});

	std::unique_ptr<BMessage> tick = WaitForTick();
	EXPECT_EQ(tick->what, (uint32)STRIA_ALTF10_WHAT);
	EXPECT_TRUE(tick->IsEmpty());
	EXPECT_EQ(runner.Play(tick.release()), B_DISPATCH_MESSAGE);
	// The capture is closed: a key soon after passes alone.
	runner.Play(Down(kLetterKey, 'a', 100000));

	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(Up(kF10, 90000)),
	                        Describe(Down(kF10, B_FUNCTION_KEY, 5000, B_CONTROL_KEY)),
	                        Describe(Down(kLetterKey, 'a', 100000))));
	EXPECT_THAT(filter.StopAndTakeCodes(), IsEmpty());
}

TEST_F(TickTest, TickAfterAKeyRevealedTheF10IsDropped)
{
	RecordingFilter filter;
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000));
	std::unique_ptr<BMessage> tick = WaitForTick();
	runner.Play(Down(kLetterKey, 'a', 40000));
	EXPECT_EQ(runner.Play(tick.release()), B_SKIP_MESSAGE);

	EXPECT_THAT(runner.Delivered(), ElementsAre(Describe(Down(kF10, B_FUNCTION_KEY, 39900)),
	                                            Describe(Down(kLetterKey, 'a', 40000))));
}

TEST_F(TickTest, TickDuringASlowScanIsDroppedAndTheScanCompletes)
{
	RecordingFilter filter;
	StreamRunner runner(filter);
	// The record's first key comes after the timer gave up, but before the
	// tick that the timer asked for.
	std::vector<Input> scan = Scan(kIsbnRecord, 5000);
	runner.Play(std::vector<Input>(scan.begin(), scan.begin() + 2));
	std::unique_ptr<BMessage> tick = WaitForTick();
	runner.Play(std::vector<Input>(scan.begin() + 2, scan.begin() + 6));
	EXPECT_EQ(runner.Play(tick.release()), B_SKIP_MESSAGE);
	runner.Play(std::vector<Input>(scan.begin() + 6, scan.end()));

	EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAre(RepairedCode(kIsbnRecord)));
}

TEST_F(TickTest, TickOfAnEarlierCaptureIsDroppedAndTheNewOneGetsItsOwn)
{
	RecordingFilter filter;
	StreamRunner runner(filter);
	runner.Play(Down(kF10, B_FUNCTION_KEY, 5000, B_SHIFT_KEY));
	std::unique_ptr<BMessage> firstTick = WaitForTick();
	runner.Play(Down(kF10, B_FUNCTION_KEY, 100000, B_CONTROL_KEY));
	std::unique_ptr<BMessage> secondTick = WaitForTick();

	EXPECT_EQ(runner.Play(firstTick.release()), B_SKIP_MESSAGE);
	EXPECT_EQ(runner.Play(secondTick.release()), B_DISPATCH_MESSAGE);
	EXPECT_THAT(runner.Delivered(),
	            ElementsAre(Describe(Down(kF10, B_FUNCTION_KEY, 100000, B_CONTROL_KEY))));
}

} // namespace
