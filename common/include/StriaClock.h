// StriaClock: the clock the add-ons go by (the filter's timer, the
// subscriber list, the typer's pacing). In the input server it is
// system_time(), the clock every "when" stamp of the input stream is on;
// tests put a clock of their own that they move by hand.
#ifndef STRIA_CLOCK_H
#define STRIA_CLOCK_H

#include <SupportDefs.h>

#include <condition_variable>
#include <mutex>

class StriaClock {
public:
	virtual ~StriaClock();

	virtual bigtime_t Now() = 0;

	// Called with lock held (lock guards what the waiter waits for, and
	// changed is notified when that changes). Returns once Now() has
	// reached deadline or changed was notified, or spuriously; lock is
	// held again then.
	virtual void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	                       bigtime_t deadline) = 0;

	// Returns once Now() has moved duration microseconds on (at once for 0
	// or less). Waits with WaitUntil, so a clock moved by hand moves it.
	virtual void Sleep(bigtime_t duration);

	// The input server's clock; lives as long as the process.
	static StriaClock* System();
};

#endif // STRIA_CLOCK_H
