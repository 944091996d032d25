// Semaphores: counting, time-outs, deletion, the waiter queue.

#include "BoundedWait.h"

#include <OS.h>

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

using stria::test::kGenerousBound;
using stria::test::WaitUntil;

namespace {

int32 CountOf(sem_id sem)
{
	int32 count = 0;
	EXPECT_EQ(get_sem_count(sem, &count), B_OK);
	return count;
}

bool WaitForCount(sem_id sem, int32 count)
{
	return WaitUntil([&] { return CountOf(sem) == count; });
}

// Acquires on its own thread; the result shows once it returns.
class Acquirer {
public:
	Acquirer(sem_id sem, int32 count, uint32 flags = 0, bigtime_t timeout = 0)
	    : fSem(sem), fThread([=, this] {
		      fStatus = acquire_sem_etc(sem, count, flags, timeout);
		      fDone = true;
	      })
	{
	}

	// A waiter still blocked means a failed test; deleting the semaphore
	// frees it so that the failure is reported instead of hanging.
	~Acquirer()
	{
		if (!fDone)
			delete_sem(fSem);
		fThread.join();
	}

	bool Done() const { return fDone; }
	status_t Status() const { return fStatus; }
	bool WaitDone()
	{
		return WaitUntil([this] { return Done(); });
	}

private:
	sem_id fSem;
	std::atomic<status_t> fStatus{B_ERROR};
	std::atomic<bool> fDone{false};
	std::thread fThread;
};

TEST(SemaphoreTest, ImmediateResultsOfAcquire)
{
	const struct {
		const char* what;
		int32 initial;
		int32 count;
		uint32 flags;
		bigtime_t timeout;
		status_t expected;
		int32 countAfter;
	} cases[] = {
	        {"free", 1, 1, 0, 0, B_OK, 0},
	        {"several at once", 5, 3, 0, 0, B_OK, 2},
	        {"relative zero on a busy sem", 0, 1, B_RELATIVE_TIMEOUT, 0, B_WOULD_BLOCK, 0},
	        {"negative relative time-out", 0, 1, B_RELATIVE_TIMEOUT, -5, B_WOULD_BLOCK, 0},
	        {"more than there is", 2, 3, B_RELATIVE_TIMEOUT, 0, B_WOULD_BLOCK, 2},
	        {"relative zero on a free sem", 1, 1, B_RELATIVE_TIMEOUT, 0, B_OK, 0},
	        {"absolute time in the past", 0, 1, B_ABSOLUTE_TIMEOUT, 1, B_TIMED_OUT, 0},
	        {"count zero", 3, 0, 0, 0, B_BAD_VALUE, 3},
	        {"negative count", 3, -1, 0, 0, B_BAD_VALUE, 3},
	        {"both time-out kinds", 3, 1, B_RELATIVE_TIMEOUT | B_ABSOLUTE_TIMEOUT, 0, B_BAD_VALUE,
	         3},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		sem_id sem = create_sem(c.initial, c.what);
		ASSERT_GT(sem, 0);
		EXPECT_EQ(acquire_sem_etc(sem, c.count, c.flags, c.timeout), c.expected);
		EXPECT_EQ(CountOf(sem), c.countAfter);
		delete_sem(sem);
	}
}

TEST(SemaphoreTest, TimeOutComesNoEarlierThanAskedAndNotMuchLater)
{
	const bigtime_t kTimeout = 100000;
	sem_id sem = create_sem(0, "time-out");

	bigtime_t start = system_time();
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, kTimeout), B_TIMED_OUT);
	bigtime_t elapsed = system_time() - start;
	EXPECT_GE(elapsed, kTimeout);
	EXPECT_LT(elapsed, kTimeout + kGenerousBound);

	start = system_time();
	EXPECT_EQ(acquire_sem_etc(sem, 1, B_ABSOLUTE_TIMEOUT, start + kTimeout), B_TIMED_OUT);
	EXPECT_GE(system_time(), start + kTimeout);
	EXPECT_LT(system_time() - start, kTimeout + kGenerousBound);

	// The waiter that gave up does not stay counted.
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(SemaphoreTest, ReleaseWithinTheTimeOutWakesTheWaiter)
{
	sem_id sem = create_sem(0, "released in time");
	Acquirer acquirer(sem, 1, B_RELATIVE_TIMEOUT, kGenerousBound);
	ASSERT_TRUE(WaitForCount(sem, -1));
	EXPECT_FALSE(acquirer.Done());
	ASSERT_EQ(release_sem(sem), B_OK);
	ASSERT_TRUE(acquirer.WaitDone());
	EXPECT_EQ(acquirer.Status(), B_OK);
	EXPECT_EQ(CountOf(sem), 0);
	delete_sem(sem);
}

TEST(SemaphoreTest, DeleteWakesEveryWaiter)
{
	sem_id sem = create_sem(0, "deleted under waiters");
	Acquirer forever(sem, 1);
	Acquirer timed(sem, 2, B_RELATIVE_TIMEOUT, 60 * kGenerousBound);
	Acquirer another(sem, 1);
	ASSERT_TRUE(WaitForCount(sem, -4));

	ASSERT_EQ(delete_sem(sem), B_OK);
	for (Acquirer* acquirer : {&forever, &timed, &another}) {
		ASSERT_TRUE(acquirer->WaitDone());
		EXPECT_EQ(acquirer->Status(), B_BAD_SEM_ID);
	}
}

TEST(SemaphoreTest, EveryCallOnADeletedIdFails)
{
	sem_id sem = create_sem(1, "short-lived");
	ASSERT_EQ(delete_sem(sem), B_OK);

	int32 count;
	sem_info info;
	for (sem_id id : {sem, sem_id(-1), sem_id(0), sem_id(INT32_MAX)}) {
		SCOPED_TRACE(id);
		EXPECT_EQ(acquire_sem(id), B_BAD_SEM_ID);
		EXPECT_EQ(acquire_sem_etc(id, 1, B_RELATIVE_TIMEOUT, 0), B_BAD_SEM_ID);
		EXPECT_EQ(release_sem(id), B_BAD_SEM_ID);
		EXPECT_EQ(release_sem_etc(id, 2, 0), B_BAD_SEM_ID);
		EXPECT_EQ(get_sem_count(id, &count), B_BAD_SEM_ID);
		EXPECT_EQ(get_sem_info(id, &info), B_BAD_SEM_ID);
		EXPECT_EQ(set_sem_owner(id, 1), B_BAD_SEM_ID);
		EXPECT_EQ(delete_sem(id), B_BAD_SEM_ID);
	}
}

TEST(SemaphoreTest, IdsAreNeverReused)
{
	std::set<sem_id> seen;
	for (int i = 0; i < 100; i++) {
		sem_id sem = create_sem(0, "again");
		ASSERT_GT(sem, 0);
		ASSERT_TRUE(seen.insert(sem).second) << "id " << sem << " came back";
		delete_sem(sem);
	}
}

TEST(SemaphoreTest, ReleaseEtcServesWaitersByTheirCounts)
{
	const struct {
		const char* what;
		int32 initial;
		std::vector<int32> waiters;
		int32 released;
		uint32 flags;
		int servedWaiters;
		int32 countAfter;
	} cases[] = {
	        {"three at once", 0, {1, 1, 1}, 3, 0, 3, 0},
	        {"more than asked", 0, {1, 1}, 5, 0, 2, 3},
	        {"head needs more: nobody overtakes", 0, {3, 1}, 2, 0, 0, -2},
	        {"head served, next not", 0, {2, 2}, 3, 0, 1, -1},
	        {"partly from the free count", 1, {3}, 2, 0, 1, 0},
	        {"release all", 0, {2, 5, 1}, 1, B_RELEASE_ALL, 3, 0},
	        {"only to waiters: rest dropped", 0, {1}, 4, B_RELEASE_IF_WAITING_ONLY, 1, 0},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		sem_id sem = create_sem(c.initial, c.what);
		std::vector<std::unique_ptr<Acquirer>> acquirers;
		int32 waiting = c.initial;
		for (int32 count : c.waiters) {
			acquirers.push_back(std::make_unique<Acquirer>(sem, count));
			waiting -= count;
			// One at a time, so that the queue order is known.
			ASSERT_TRUE(WaitForCount(sem, waiting));
		}
		ASSERT_EQ(release_sem_etc(sem, c.released, c.flags), B_OK);
		for (int i = 0; i < c.servedWaiters; i++) {
			ASSERT_TRUE(acquirers[i]->WaitDone()) << "waiter " << i;
			EXPECT_EQ(acquirers[i]->Status(), B_OK);
		}
		snooze(20000);
		for (size_t i = c.servedWaiters; i < acquirers.size(); i++)
			EXPECT_FALSE(acquirers[i]->Done()) << "waiter " << i << " woke too early";
		EXPECT_EQ(CountOf(sem), c.countAfter);
		delete_sem(sem);
	}
}

TEST(SemaphoreTest, WaiterBehindATimedOutHeadIsServed)
{
	sem_id sem = create_sem(1, "head times out");
	Acquirer head(sem, 2, B_RELATIVE_TIMEOUT, 100000);
	ASSERT_TRUE(WaitForCount(sem, -1));
	Acquirer behind(sem, 1);
	ASSERT_TRUE(WaitForCount(sem, -2));

	// When the head gives up, the free count suffices for the one behind it.
	ASSERT_TRUE(head.WaitDone());
	EXPECT_EQ(head.Status(), B_TIMED_OUT);
	ASSERT_TRUE(behind.WaitDone());
	EXPECT_EQ(behind.Status(), B_OK);
	delete_sem(sem);
}

TEST(SemaphoreTest, BadCreateAndReleaseArgumentsAreRefused)
{
	EXPECT_EQ(create_sem(-1, "negative"), B_BAD_VALUE);
	sem_id sem = create_sem(INT32_MAX - 1, "nearly full");
	EXPECT_EQ(release_sem_etc(sem, 0, 0), B_BAD_VALUE);
	EXPECT_EQ(release_sem_etc(sem, -3, 0), B_BAD_VALUE);
	EXPECT_EQ(release_sem_etc(sem, 2, 0), B_BAD_VALUE) << "count would overflow";
	EXPECT_EQ(release_sem_etc(sem, 1, 0), B_OK);
	EXPECT_EQ(CountOf(sem), INT32_MAX);
	EXPECT_EQ(get_sem_count(sem, NULL), B_BAD_VALUE);
	EXPECT_EQ(get_sem_info(sem, NULL), B_BAD_VALUE);
	delete_sem(sem);
}

TEST(SemaphoreTest, OwnerIsBookkeepingOnly)
{
	sem_id sem = create_sem(2, "owned");
	sem_info info;
	ASSERT_EQ(get_sem_info(sem, &info), B_OK);
	EXPECT_EQ(info.sem, sem);
	EXPECT_EQ(info.team, getpid());
	EXPECT_STREQ(info.name, "owned");
	EXPECT_EQ(info.count, 2);

	// A thread id is accepted as the owner, as callers do.
	ASSERT_EQ(set_sem_owner(sem, find_thread(NULL)), B_OK);
	ASSERT_EQ(get_sem_info(sem, &info), B_OK);
	EXPECT_EQ(info.team, find_thread(NULL));
	EXPECT_EQ(info.count, 2);
	EXPECT_EQ(set_sem_owner(sem, -4), B_BAD_TEAM_ID);

	EXPECT_EQ(acquire_sem(sem), B_OK);
	ASSERT_EQ(get_sem_info(sem, &info), B_OK);
	EXPECT_EQ(info.latest_holder, find_thread(NULL));
	delete_sem(sem);
}

TEST(SemaphoreTest, WaitingThreadShowsTheSemaphore)
{
	sem_id sem = create_sem(0, "watched");
	std::atomic<thread_id> waiter{-1};
	std::thread thread([&] {
		waiter = find_thread(NULL);
		acquire_sem(sem);
	});
	ASSERT_TRUE(WaitUntil([&] {
		thread_info info;
		return waiter > 0 && get_thread_info(waiter, &info) == B_OK &&
		       info.state == B_THREAD_WAITING && info.sem == sem;
	}));
	release_sem(sem);
	thread.join();
	delete_sem(sem);
}

// A semaphore of count one used as a lock by several threads: the total
// comes out exact only if acquire and release exclude each other.
TEST(SemaphoreTest, GuardsACounterUnderContention)
{
	constexpr int kThreads = 4;
	constexpr int kRounds = 2000;
	sem_id sem = create_sem(1, "counter guard");
	int counter = 0;
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([&] {
			for (int i = 0; i < kRounds; i++) {
				acquire_sem(sem);
				counter++;
				release_sem(sem);
			}
		});
	}
	for (auto& thread : threads)
		thread.join();
	EXPECT_EQ(counter, kThreads * kRounds);
	delete_sem(sem);
}

} // namespace
