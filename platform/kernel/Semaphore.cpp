#include "Semaphore.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace stria::kernel {

Semaphore::Semaphore(sem_id id, int32 count, const char* name, team_id owner)
    : fId(id),
      fName(name != NULL ? std::string(name, strnlen(name, B_OS_NAME_LENGTH - 1)) : "unnamed sem"),
      fAvailable(count), fOwner(owner)
{
}

status_t Semaphore::Acquire(int32 count, const Deadline& deadline, thread_id caller)
{
	std::unique_lock lock(fLock);
	if (fDeleted)
		return B_BAD_SEM_ID;
	if (fWaiters.empty() && fAvailable >= count) {
		fAvailable -= count;
		fLatestHolder = caller;
		return B_OK;
	}
	if (deadline.IsImmediate())
		return B_WOULD_BLOCK;

	Waiter waiter(count);
	auto position = fWaiters.insert(fWaiters.end(), &waiter);
	auto woken = [&] { return waiter.granted || fDeleted; };
	if (deadline.IsInfinite())
		waiter.wakeUp.wait(lock, woken);
	else
		waiter.wakeUp.wait_until(lock, deadline.When(), woken);

	if (waiter.granted) {
		fLatestHolder = caller;
		return B_OK;
	}
	fWaiters.erase(position);
	if (fDeleted)
		return B_BAD_SEM_ID;
	// The head of the queue may have been the one blocking those behind it.
	_ServeWaiters();
	return B_TIMED_OUT;
}

status_t Semaphore::Release(int32 count, uint32 flags)
{
	std::lock_guard lock(fLock);
	if (fDeleted)
		return B_BAD_SEM_ID;

	if ((flags & B_RELEASE_ALL) != 0) {
		for (Waiter* waiter : fWaiters) {
			waiter->granted = true;
			waiter->wakeUp.notify_one();
		}
		fWaiters.clear();
		return B_OK;
	}
	if (count < 1)
		return B_BAD_VALUE;
	if (fAvailable + count > INT32_MAX)
		return B_BAD_VALUE;

	const int64 before = fAvailable;
	if ((flags & B_RELEASE_IF_WAITING_ONLY) != 0 && fWaiters.empty())
		return B_OK;
	fAvailable += count;
	_ServeWaiters();
	if ((flags & B_RELEASE_IF_WAITING_ONLY) != 0)
		fAvailable = std::min(fAvailable, before);
	return B_OK;
}

void Semaphore::Delete()
{
	std::lock_guard lock(fLock);
	fDeleted = true;
	// Notified under the lock: each waiter's condition variable lives on its
	// stack and must not go away before the notification is done.
	for (Waiter* waiter : fWaiters)
		waiter->wakeUp.notify_one();
}

int32 Semaphore::Count() const
{
	std::lock_guard lock(fLock);
	return int32(std::max<int64>(INT32_MIN, fAvailable - _WaitingCount()));
}

void Semaphore::SetOwner(team_id owner)
{
	std::lock_guard lock(fLock);
	fOwner = owner;
}

void Semaphore::GetInfo(sem_info* info) const
{
	std::lock_guard lock(fLock);
	memset(info, 0, sizeof(*info));
	info->sem = fId;
	info->team = fOwner;
	strncpy(info->name, fName.c_str(), B_OS_NAME_LENGTH - 1);
	info->count = int32(std::max<int64>(INT32_MIN, fAvailable - _WaitingCount()));
	info->latest_holder = fLatestHolder;
}

void Semaphore::_ServeWaiters()
{
	while (!fWaiters.empty() && fAvailable >= fWaiters.front()->count) {
		Waiter* waiter = fWaiters.front();
		fWaiters.pop_front();
		fAvailable -= waiter->count;
		waiter->granted = true;
		waiter->wakeUp.notify_one();
	}
}

int64 Semaphore::_WaitingCount() const
{
	int64 sum = 0;
	for (const Waiter* waiter : fWaiters)
		sum += waiter->count;
	return sum;
}

} // namespace stria::kernel
