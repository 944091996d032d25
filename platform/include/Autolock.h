// Support kit: BAutolock, which holds a BLocker or a BLooper for the life of
// a scope.
#ifndef _AUTOLOCK_H
#define _AUTOLOCK_H

#include <Locker.h>
#include <Looper.h>

class BAutolock {
public:
	inline BAutolock(BLooper* looper);
	inline BAutolock(BLocker* locker);
	inline BAutolock(BLocker& locker);
	inline ~BAutolock();

	BAutolock(const BAutolock&) = delete;
	BAutolock& operator=(const BAutolock&) = delete;

	inline bool IsLocked();
	inline void Unlock();

private:
	// Called through a pointer so that code locking only a BLocker does not
	// need the application kit at link time.
	static void _UnlockLooper(BLooper* looper) { looper->Unlock(); }

	BLocker* fLocker;
	BLooper* fLooper;
	void (*fUnlockLooper)(BLooper*);
	bool fIsLocked;
};

inline BAutolock::BAutolock(BLooper* looper)
    : fLocker(NULL), fLooper(looper), fUnlockLooper(&_UnlockLooper),
      fIsLocked(looper != NULL && looper->Lock())
{
}

inline BAutolock::BAutolock(BLocker* locker)
    : fLocker(locker), fLooper(NULL), fUnlockLooper(NULL),
      fIsLocked(locker != NULL && locker->Lock())
{
}

inline BAutolock::BAutolock(BLocker& locker)
    : fLocker(&locker), fLooper(NULL), fUnlockLooper(NULL), fIsLocked(locker.Lock())
{
}

inline BAutolock::~BAutolock()
{
	Unlock();
}

inline bool BAutolock::IsLocked()
{
	return fIsLocked;
}

inline void BAutolock::Unlock()
{
	if (!fIsLocked)
		return;
	fIsLocked = false;
	if (fLooper != NULL)
		fUnlockLooper(fLooper);
	else
		fLocker->Unlock();
}

#endif // _AUTOLOCK_H
