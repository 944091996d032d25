// A clock for the filter's timer that only moves when a test moves it, so
// that every interleaving of keys and timer is played exactly: the test
// waits until the timer waits for a deadline, then sets the time past it.
#ifndef STRIA_MANUAL_CLOCK_H
#define STRIA_MANUAL_CLOCK_H

#include <StriaClock.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace filter_test {

class ManualClock : public StriaClock {
public:
	explicit ManualClock(bigtime_t now = 0) : fNow(now) {}

	bigtime_t Now() override
	{
		std::lock_guard lock(fLock);
		return fNow;
	}

	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	               bigtime_t deadline) override
	{
		auto waiter = std::make_shared<Waiter>(Waiter{lock.mutex(), &changed, deadline});
		{
			std::lock_guard guard(fLock);
			if (fNow >= deadline)
				return;
			fWaiters.push_back(waiter);
			fWaitersChanged.notify_all();
		}
		changed.wait(lock);
		std::lock_guard guard(fLock);
		std::erase(fWaiters, waiter);
		fWaitersChanged.notify_all();
	}

	// Moves the clock and wakes whoever waits on it. The waiters' locks and
	// condition variables must still exist.
	void Set(bigtime_t now)
	{
		std::vector<std::shared_ptr<Waiter>> waiters;
		{
			std::lock_guard guard(fLock);
			fNow = now;
			waiters = fWaiters;
		}
		// Under the waiter's own lock, so that a waiter between its look at
		// the clock and its wait cannot miss the news.
		for (const std::shared_ptr<Waiter>& waiter : waiters) {
			std::lock_guard guard(*waiter->mutex);
			waiter->changed->notify_all();
		}
	}

	// Waits (boundedly) until a thread waits on the clock for deadline.
	bool WaitForWaiter(bigtime_t deadline)
	{
		std::unique_lock guard(fLock);
		return fWaitersChanged.wait_for(guard, std::chrono::seconds(20), [&] {
			return std::any_of(fWaiters.begin(), fWaiters.end(),
			                   [&](const auto& waiter) { return waiter->deadline == deadline; });
		});
	}

private:
	struct Waiter {
		std::mutex* mutex;
		std::condition_variable* changed;
		bigtime_t deadline;
	};

	std::mutex fLock;
	std::condition_variable fWaitersChanged;
	bigtime_t fNow;
	std::vector<std::shared_ptr<Waiter>> fWaiters;
};

} // namespace filter_test

#endif // STRIA_MANUAL_CLOCK_H
