// Holds a window's lock on a thread of its own until released: a window
// busy with something else, that does not answer. For tests and benchmarks.
#ifndef STRIA_WINDOW_HOLDER_H
#define STRIA_WINDOW_HOLDER_H

#include <Looper.h>
#include <Messenger.h>

#include <condition_variable>
#include <mutex>
#include <thread>

class WindowHolder {
public:
	explicit WindowHolder(BMessenger window)
	    : fThread([this, window] {
		      bool locked = window.LockTarget();
		      std::unique_lock lock(fLock);
		      fLocked = locked;
		      fHeld = true;
		      fChanged.notify_all();
		      fChanged.wait(lock, [this] { return fReleased; });
		      if (locked) {
			      BLooper* looper = NULL;
			      window.Target(&looper);
			      looper->Unlock();
		      }
	      })
	{
	}

	~WindowHolder()
	{
		Release();
		fThread.join();
	}

	WindowHolder(const WindowHolder&) = delete;
	WindowHolder& operator=(const WindowHolder&) = delete;

	// Waits until the thread has tried; true when it holds the lock.
	bool WaitUntilHeld()
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return fHeld; });
		return fLocked;
	}

	void Release()
	{
		std::lock_guard lock(fLock);
		fReleased = true;
		fChanged.notify_all();
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fHeld = false;
	bool fLocked = false;
	bool fReleased = false;
	std::thread fThread;
};

#endif // STRIA_WINDOW_HOLDER_H
