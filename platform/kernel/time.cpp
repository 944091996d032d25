// Kernel kit: clocks and sleeping, in microseconds.

#include "ThreadTable.h"

#include <OS.h>

#include <cerrno>
#include <time.h>

namespace {

bigtime_t ClockMicroseconds(clockid_t clock)
{
	timespec now;
	clock_gettime(clock, &now);
	return bigtime_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

status_t SleepUntil(bigtime_t when)
{
	timespec until;
	until.tv_sec = when / 1000000;
	until.tv_nsec = (when % 1000000) * 1000;

	const auto& self = stria::kernel::ThreadTable::Default().Current();
	self->SetBlocked(B_THREAD_ASLEEP);
	// Signals may cut the sleep short; the absolute end makes resuming exact.
	while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, NULL) == EINTR) {
	}
	self->SetUnblocked();
	return B_OK;
}

} // namespace

bigtime_t system_time(void)
{
	return ClockMicroseconds(CLOCK_MONOTONIC);
}

bigtime_t real_time_clock_usecs(void)
{
	return ClockMicroseconds(CLOCK_REALTIME);
}

uint32 real_time_clock(void)
{
	return uint32(ClockMicroseconds(CLOCK_REALTIME) / 1000000);
}

status_t snooze(bigtime_t microseconds)
{
	if (microseconds <= 0)
		return B_OK;
	bigtime_t now = system_time();
	if (microseconds > B_INFINITE_TIMEOUT - now)
		microseconds = B_INFINITE_TIMEOUT - now;
	return SleepUntil(now + microseconds);
}

status_t snooze_until(bigtime_t time, int timeBase)
{
	if (timeBase != B_SYSTEM_TIMEBASE)
		return B_BAD_VALUE;
	if (time <= system_time())
		return B_OK;
	return SleepUntil(time);
}
