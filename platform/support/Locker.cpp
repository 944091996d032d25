#include <Locker.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

// The lock itself is a kernel semaphore of count one; the owner and the
// nesting depth sit beside it. Other threads read the owner while it
// changes, hence the atomic accesses.

namespace {

thread_id LoadOwner(const thread_id& owner)
{
	return std::atomic_ref<thread_id>(const_cast<thread_id&>(owner))
	        .load(std::memory_order_acquire);
}

void StoreOwner(thread_id& owner, thread_id value)
{
	std::atomic_ref<thread_id>(owner).store(value, std::memory_order_release);
}

int32 LoadCount(const int32& count)
{
	return std::atomic_ref<int32>(const_cast<int32&>(count)).load(std::memory_order_relaxed);
}

void StoreCount(int32& count, int32 value)
{
	std::atomic_ref<int32>(count).store(value, std::memory_order_relaxed);
}

} // namespace

BLocker::BLocker()
{
	_Init(NULL);
}

BLocker::BLocker(const char* name)
{
	_Init(name);
}

BLocker::BLocker(bool /*benaphoreStyle*/)
{
	_Init(NULL);
}

BLocker::BLocker(const char* name, bool /*benaphoreStyle*/)
{
	_Init(name);
}

BLocker::~BLocker()
{
	// Threads still waiting wake up and see Lock fail.
	delete_sem(fSemaphoreID);
	free(fName);
}

status_t BLocker::InitCheck() const
{
	return fSemaphoreID >= 0 ? B_OK : fSemaphoreID;
}

bool BLocker::Lock()
{
	return _AcquireLock(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BLocker::LockWithTimeout(bigtime_t timeout)
{
	return _AcquireLock(timeout);
}

void BLocker::Unlock()
{
	// Only the owner may unlock; anyone else's call is ignored rather than
	// releasing a lock another thread relies on.
	if (!IsLocked())
		return;
	int32 count = LoadCount(fRecursiveCount) - 1;
	StoreCount(fRecursiveCount, count);
	if (count > 0)
		return;
	StoreOwner(fLockOwner, -1);
	release_sem(fSemaphoreID);
}

thread_id BLocker::LockingThread() const
{
	return LoadOwner(fLockOwner);
}

bool BLocker::IsLocked() const
{
	thread_id owner = LoadOwner(fLockOwner);
	return owner >= 0 && owner == find_thread(NULL);
}

int32 BLocker::CountLocks() const
{
	return LoadCount(fRecursiveCount);
}

int32 BLocker::CountLockRequests() const
{
	int32 count = 1;
	if (get_sem_count(fSemaphoreID, &count) != B_OK)
		return 0;
	// Count one means free; zero held; each waiter takes one more away.
	return 1 - count;
}

void BLocker::_Init(const char* name)
{
	fName = strdup(name != NULL ? name : "some BLocker");
	fSemaphoreID = create_sem(1, fName);
	fLockOwner = -1;
	fRecursiveCount = 0;
}

status_t BLocker::_AcquireLock(bigtime_t timeout)
{
	thread_id caller = find_thread(NULL);
	if (LoadOwner(fLockOwner) == caller) {
		StoreCount(fRecursiveCount, LoadCount(fRecursiveCount) + 1);
		return B_OK;
	}
	status_t status = acquire_sem_etc(fSemaphoreID, 1, B_RELATIVE_TIMEOUT, timeout);
	if (status != B_OK)
		return status;
	StoreOwner(fLockOwner, caller);
	StoreCount(fRecursiveCount, 1);
	return B_OK;
}
