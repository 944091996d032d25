// CaptureTimer: the filter's timer thread. Each capture waiting for its
// first character is armed with the moment (on the filter's clock) by which
// that character is due; when the moment passes with the capture still
// armed, the thread calls back with the capture's token. A capture that
// something else decided is disarmed.
#ifndef CAPTURE_TIMER_H
#define CAPTURE_TIMER_H

#include <SupportDefs.h>

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

class StriaClock;

class CaptureTimer {
public:
	// Called on the timer's thread, with no lock held.
	using Expired = std::function<void(int64 capture)>;

	// clock must outlive the timer.
	CaptureTimer(StriaClock* clock, Expired expired);
	// Stops the thread; a callback under way finishes first.
	~CaptureTimer();

	CaptureTimer(const CaptureTimer&) = delete;
	CaptureTimer& operator=(const CaptureTimer&) = delete;

	// False when the thread could not be started.
	bool IsRunning() const { return fThread.joinable(); }

	void Arm(int64 capture, bigtime_t deadline);
	void Disarm(int64 capture);
	// Idempotent; nothing fires afterwards.
	void Stop();

private:
	void Loop();

	StriaClock* fClock;
	Expired fExpired;
	std::mutex fLock;
	std::condition_variable fChanged;
	// Armed captures by token, each with its deadline.
	std::map<int64, bigtime_t> fArmed;
	bool fStopping;
	std::thread fThread;
};

#endif // CAPTURE_TIMER_H
