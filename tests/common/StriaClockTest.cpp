// Sleep on a clock that moves only when waited on: it waits for the moment
// the sleep ends, as often as it takes to get there, and not at all for
// nothing; the end of a sleep past the end of time is the end of time.
#include <StriaClock.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Each wait moves the clock one step on and records the deadline asked for.
class SteppingClock : public StriaClock {
public:
	SteppingClock(bigtime_t now, bigtime_t step) : fNow(now), fStep(step) {}

	bigtime_t Now() override { return fNow; }

	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable&,
	               bigtime_t deadline) override
	{
		EXPECT_TRUE(lock.owns_lock());
		fDeadlines.push_back(deadline);
		fNow = fNow > INT64_MAX - fStep ? INT64_MAX : fNow + fStep;
	}

	std::vector<bigtime_t> fDeadlines;

private:
	bigtime_t fNow;
	bigtime_t fStep;
};

TEST(StriaClock, SleepWaitsUntilTheClockHasMovedItsDuration)
{
	const struct {
		const char* name;
		bigtime_t start;
		bigtime_t step;
		bigtime_t duration;
		std::vector<bigtime_t> deadlines;
	} cases[] = {
	        {"one wait that gets there", 1000, 500, 500, {1500}},
	        {"one wait that goes past", 1000, 800, 500, {1500}},
	        {"steps short of the end", 1000, 300, 1000, {2000, 2000, 2000, 2000}},
	        {"nothing", 1000, 300, 0, {}},
	        {"less than nothing", 1000, 300, -5, {}},
	        {"past the end of time", INT64_MAX - 10, 100, 100, {INT64_MAX}},
	        {"from before zero", -1000, 600, 1000, {0, 0}},
	};
	for (const auto& c : cases) {
		SteppingClock clock(c.start, c.step);
		clock.Sleep(c.duration);
		EXPECT_EQ(clock.fDeadlines, c.deadlines) << c.name;
	}
}

} // namespace
