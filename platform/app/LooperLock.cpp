#include "LooperLock.h"

#include <chrono>

namespace BPrivate {

status_t LooperLock::Lock(bigtime_t timeout)
{
	std::thread::id self = std::this_thread::get_id();
	std::unique_lock<std::mutex> guard(fMutex);
	if (fDead)
		return B_BAD_VALUE;
	if (fCount > 0 && fOwner == self) {
		fCount++;
		return B_OK;
	}
	auto free = [this] { return fDead || fCount == 0; };
	if (timeout == B_INFINITE_TIMEOUT || timeout < 0) {
		fReleased.wait(guard, free);
	} else if (!free()) {
		if (timeout == 0)
			return B_WOULD_BLOCK;
		auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
		if (!fReleased.wait_until(guard, deadline, free))
			return B_TIMED_OUT;
	}
	if (fDead)
		return B_BAD_VALUE;
	fOwner = self;
	fOwnerID = find_thread(NULL);
	fCount = 1;
	return B_OK;
}

bool LooperLock::Unlock()
{
	std::lock_guard<std::mutex> guard(fMutex);
	if (fCount == 0 || fOwner != std::this_thread::get_id())
		return false;
	if (--fCount == 0) {
		fOwner = std::thread::id();
		fOwnerID = -1;
		fReleased.notify_one();
	}
	return true;
}

int32 LooperLock::UnlockFully()
{
	std::lock_guard<std::mutex> guard(fMutex);
	if (fCount == 0 || fOwner != std::this_thread::get_id())
		return 0;
	int32 released = fCount;
	fCount = 0;
	fOwner = std::thread::id();
	fOwnerID = -1;
	fReleased.notify_one();
	return released;
}

bool LooperLock::IsHeldByCaller() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return fCount > 0 && fOwner == std::this_thread::get_id();
}

thread_id LooperLock::Owner() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return fCount > 0 ? fOwnerID : B_ERROR;
}

int32 LooperLock::Count() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return fCount;
}

void LooperLock::Kill()
{
	std::lock_guard<std::mutex> guard(fMutex);
	fDead = true;
	fReleased.notify_all();
}

bool LooperLock::IsDead() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return fDead;
}

} // namespace BPrivate
