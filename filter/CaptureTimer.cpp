#include "CaptureTimer.h"

#include <StriaClock.h>
#include <StriaLog.h>

#include <system_error>

CaptureTimer::CaptureTimer(StriaClock* clock, Expired expired)
    : fClock(clock), fExpired(std::move(expired)), fStopping(false)
{
	try {
		fThread = std::thread(&CaptureTimer::Loop, this);
	} catch (const std::system_error& error) {
		stria::Log("StriaFilter", "cannot start the timer thread: %s", error.what());
	}
}

CaptureTimer::~CaptureTimer()
{
	Stop();
}

void CaptureTimer::Arm(int64 capture, bigtime_t deadline)
{
	{
		std::lock_guard lock(fLock);
		fArmed[capture] = deadline;
	}
	fChanged.notify_all();
}

void CaptureTimer::Disarm(int64 capture)
{
	std::lock_guard lock(fLock);
	// The thread need not wake: a later deadline than it waits for, or
	// none, only makes it wait again.
	fArmed.erase(capture);
}

void CaptureTimer::Stop()
{
	{
		std::lock_guard lock(fLock);
		fStopping = true;
		fArmed.clear();
	}
	fChanged.notify_all();
	if (fThread.joinable() && fThread.get_id() != std::this_thread::get_id())
		fThread.join();
}

void CaptureTimer::Loop()
{
	std::unique_lock lock(fLock);
	while (!fStopping) {
		if (fArmed.empty()) {
			fChanged.wait(lock);
			continue;
		}
		auto earliest = fArmed.begin();
		for (auto armed = fArmed.begin(); armed != fArmed.end(); armed++) {
			if (armed->second < earliest->second)
				earliest = armed;
		}
		if (fClock->Now() < earliest->second) {
			fClock->WaitUntil(lock, fChanged, earliest->second);
			continue;
		}
		int64 capture = earliest->first;
		fArmed.erase(earliest);
		lock.unlock();
		fExpired(capture);
		lock.lock();
	}
}
