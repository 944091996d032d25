// Clocks and sleeping.

#include "BoundedWait.h"

#include <OS.h>

#include <gtest/gtest.h>

#include <time.h>

using stria::test::kGenerousBound;

namespace {

TEST(ClockTest, SystemTimeNeverGoesBack)
{
	bigtime_t previous = system_time();
	for (int i = 0; i < 10000; i++) {
		bigtime_t now = system_time();
		ASSERT_GE(now, previous);
		previous = now;
	}
}

TEST(ClockTest, RealTimeClockIsTheWallClockInMicroseconds)
{
	bigtime_t wall = bigtime_t(time(NULL)) * 1000000;
	bigtime_t usecs = real_time_clock_usecs();
	EXPECT_LT(llabs(usecs - wall), 2 * 1000000);
	EXPECT_LE(bigtime_t(real_time_clock()) - usecs / 1000000, 1);
}

TEST(ClockTest, SnoozeSleepsAtLeastAsLongAsAsked)
{
	const struct {
		bigtime_t asked;
		bigtime_t atLeast;
	} cases[] = {{0, 0}, {-100, 0}, {1000, 1000}, {30000, 30000}};
	for (const auto& c : cases) {
		bigtime_t start = system_time();
		EXPECT_EQ(snooze(c.asked), B_OK);
		bigtime_t elapsed = system_time() - start;
		EXPECT_GE(elapsed, c.atLeast) << c.asked;
		EXPECT_LT(elapsed, c.atLeast + kGenerousBound) << c.asked;
	}
}

TEST(ClockTest, SnoozeUntilWakesAtTheGivenTime)
{
	bigtime_t until = system_time() + 30000;
	EXPECT_EQ(snooze_until(until, B_SYSTEM_TIMEBASE), B_OK);
	EXPECT_GE(system_time(), until);
	EXPECT_EQ(snooze_until(0, B_SYSTEM_TIMEBASE), B_OK);
	EXPECT_EQ(snooze_until(system_time() + 1000, 7), B_BAD_VALUE);
}

} // namespace
