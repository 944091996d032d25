// Private to the application kit: a looper's lock. Recursive and aware of
// the thread that holds it. It lives in shared ownership: every thread that
// waits for it holds a reference of its own (taken from the token table, not
// through the looper), so that threads waiting when the looper is deleted
// wake up and fail instead of touching freed memory.
#ifndef STRIA_LOOPER_LOCK_H
#define STRIA_LOOPER_LOCK_H

#include <OS.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace BPrivate {

class LooperLock {
public:
	// B_OK, B_TIMED_OUT (B_WOULD_BLOCK for a time-out of 0), or B_BAD_VALUE
	// once the looper is gone.
	status_t Lock(bigtime_t timeout = B_INFINITE_TIMEOUT);
	// False when the calling thread does not hold the lock.
	bool Unlock();
	// Releases every level the calling thread holds; returns how many.
	int32 UnlockFully();
	bool IsHeldByCaller() const;
	thread_id Owner() const;
	int32 Count() const;

	// Called by the holder while the looper is deleted: every later and
	// every waiting Lock fails.
	void Kill();
	bool IsDead() const;

private:
	mutable std::mutex fMutex;
	std::condition_variable fReleased;
	std::thread::id fOwner;
	thread_id fOwnerID = -1;
	int32 fCount = 0;
	bool fDead = false;
};

} // namespace BPrivate

#endif // STRIA_LOOPER_LOCK_H
