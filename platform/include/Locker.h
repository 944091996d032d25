// Support kit: BLocker, a recursive lock that knows its owning thread.
#ifndef _LOCKER_H
#define _LOCKER_H

#include <OS.h>

class BLocker {
public:
	BLocker();
	BLocker(const char* name);
	BLocker(bool benaphoreStyle);
	BLocker(const char* name, bool benaphoreStyle);
	virtual ~BLocker();

	status_t InitCheck() const;

	// The owner may lock again; each Lock needs its Unlock. Lock fails once
	// the locker is being destroyed.
	bool Lock();
	status_t LockWithTimeout(bigtime_t timeout);
	void Unlock();

	thread_id LockingThread() const;
	// True when the calling thread holds the lock.
	bool IsLocked() const;
	int32 CountLocks() const;
	// Threads holding or waiting for the lock.
	int32 CountLockRequests() const;
	sem_id Sem() const { return fSemaphoreID; }

private:
	BLocker(const BLocker&) = delete;
	BLocker& operator=(const BLocker&) = delete;

	void _Init(const char* name);
	status_t _AcquireLock(bigtime_t timeout);

	char* fName;
	sem_id fSemaphoreID;
	thread_id fLockOwner;
	int32 fRecursiveCount;
};

#endif // _LOCKER_H
