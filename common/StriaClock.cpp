#include <StriaClock.h>

#include <StriaTime.h>

#include <OS.h>

#include <chrono>

namespace {

// Longest single wait, so that a deadline far off never overflows the
// standard library's time arithmetic.
const bigtime_t kLongestWait = 3600000000LL;

class SystemClock : public StriaClock {
public:
	bigtime_t Now() override { return system_time(); }

	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	               bigtime_t deadline) override
	{
		bigtime_t now = Now();
		if (deadline <= now)
			return;
		bigtime_t left = deadline - now;
		if (left > kLongestWait)
			left = kLongestWait;
		changed.wait_for(lock, std::chrono::microseconds(left));
	}
};

} // namespace

StriaClock::~StriaClock() {}

void StriaClock::Sleep(bigtime_t duration)
{
	if (duration <= 0)
		return;
	const bigtime_t until = stria::Shifted(Now(), duration);
	// Nobody else knows this condition variable: only the clock ends a wait.
	std::mutex mutex;
	std::condition_variable never;
	std::unique_lock lock(mutex);
	while (Now() < until)
		WaitUntil(lock, never, until);
}

StriaClock* StriaClock::System()
{
	static SystemClock clock;
	return &clock;
}
