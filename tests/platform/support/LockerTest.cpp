// BLocker and BAutolock: recursion, ownership, time-outs, exclusion.

#include <Autolock.h>
#include <Locker.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr bigtime_t kGenerousBound = 10 * 1000 * 1000;

template <typename Condition>
bool WaitUntil(Condition condition)
{
	bigtime_t end = system_time() + kGenerousBound;
	while (!condition()) {
		if (system_time() > end)
			return false;
		snooze(1000);
	}
	return true;
}

// Runs a function on another thread and gives its result.
template <typename Result>
Result OnOtherThread(std::function<Result()> function)
{
	Result result{};
	std::thread([&] { result = function(); }).join();
	return result;
}

TEST(LockerTest, OwnerLocksRecursively)
{
	BLocker locker("recursive");
	ASSERT_EQ(locker.InitCheck(), B_OK);
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(locker.LockingThread(), -1);

	const int32 kDepth = 3;
	for (int32 depth = 1; depth <= kDepth; depth++) {
		ASSERT_TRUE(locker.Lock());
		EXPECT_EQ(locker.CountLocks(), depth);
	}
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(locker.LockingThread(), find_thread(NULL));
	EXPECT_EQ(locker.LockWithTimeout(0), B_OK) << "owner must not block on itself";
	locker.Unlock();

	for (int32 depth = kDepth; depth >= 1; depth--) {
		EXPECT_TRUE(locker.IsLocked());
		locker.Unlock();
	}
	EXPECT_FALSE(locker.IsLocked());
	EXPECT_EQ(locker.LockingThread(), -1);
	EXPECT_EQ(locker.CountLocks(), 0);
}

TEST(LockerTest, OtherThreadsSeeItHeldAndCannotTakeIt)
{
	BLocker locker;
	ASSERT_TRUE(locker.Lock());

	EXPECT_FALSE(OnOtherThread<bool>([&] { return locker.IsLocked(); }));
	EXPECT_EQ(OnOtherThread<status_t>([&] { return locker.LockWithTimeout(0); }), B_WOULD_BLOCK);

	const bigtime_t kTimeout = 50000;
	bigtime_t elapsed = 0;
	EXPECT_EQ(OnOtherThread<status_t>([&] {
		          bigtime_t start = system_time();
		          status_t status = locker.LockWithTimeout(kTimeout);
		          elapsed = system_time() - start;
		          return status;
	          }),
	          B_TIMED_OUT);
	EXPECT_GE(elapsed, kTimeout);

	// An unlock from a thread that does not hold it changes nothing.
	std::thread([&] { locker.Unlock(); }).join();
	EXPECT_TRUE(locker.IsLocked());
	EXPECT_EQ(locker.CountLocks(), 1);
	locker.Unlock();

	EXPECT_EQ(OnOtherThread<status_t>([&] {
		          status_t status = locker.LockWithTimeout(0);
		          if (status == B_OK)
			          locker.Unlock();
		          return status;
	          }),
	          B_OK);
}

TEST(LockerTest, WaiterGetsTheLockOnUnlock)
{
	BLocker locker;
	locker.Lock();
	std::atomic<bool> locked{false};
	std::thread waiter([&] {
		if (locker.Lock()) {
			locked = true;
			locker.Unlock();
		}
	});
	ASSERT_TRUE(WaitUntil([&] { return locker.CountLockRequests() == 2; }));
	EXPECT_FALSE(locked);
	locker.Unlock();
	waiter.join();
	EXPECT_TRUE(locked);
}

TEST(LockerTest, DestroyingTheLockerReleasesItsWaiters)
{
	auto* locker = new BLocker("going away");
	locker->Lock();
	std::atomic<int> result{-1};
	std::thread waiter([&] { result = locker->Lock() ? 1 : 0; });
	ASSERT_TRUE(WaitUntil([&] { return locker->CountLockRequests() == 2; }));
	delete locker;
	waiter.join();
	EXPECT_EQ(result, 0);
}

TEST(LockerTest, ExcludesUnderContention)
{
	constexpr int kThreads = 4;
	constexpr int kRounds = 2000;
	BLocker locker;
	int counter = 0;
	std::vector<std::thread> threads;
	for (int t = 0; t < kThreads; t++) {
		threads.emplace_back([&] {
			for (int i = 0; i < kRounds; i++) {
				BAutolock lock(locker);
				BAutolock again(&locker); // nested, as handlers do
				counter++;
			}
		});
	}
	for (auto& thread : threads)
		thread.join();
	EXPECT_EQ(counter, kThreads * kRounds);
	EXPECT_FALSE(locker.IsLocked());
}

TEST(LockerTest, AutolockUnlocksEarlyOrAtScopeEnd)
{
	BLocker locker;
	{
		BAutolock lock(locker);
		EXPECT_TRUE(lock.IsLocked());
		EXPECT_EQ(locker.CountLocks(), 1);
		lock.Unlock();
		EXPECT_FALSE(lock.IsLocked());
		EXPECT_FALSE(locker.IsLocked());
		lock.Unlock(); // a second unlock must not unbalance the locker
	}
	EXPECT_EQ(locker.CountLocks(), 0);
	{
		BAutolock lock(&locker);
		EXPECT_TRUE(locker.IsLocked());
	}
	EXPECT_FALSE(locker.IsLocked());

	BAutolock none(static_cast<BLocker*>(NULL));
	EXPECT_FALSE(none.IsLocked());
}

} // namespace
