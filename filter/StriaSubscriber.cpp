#include "StriaSubscriber.h"

#include <OS.h>

#include <StriaProtocol.h>

#include <algorithm>
#include <chrono>
#include <stdio.h>

namespace {

// Longest single wait of a send. A send that times out is tried again, so
// this bounds only how late the thread notices its deadline.
const bigtime_t kSendSlice = 1000000;
// Pauses between tries to reach a subscriber that takes nothing.
const bigtime_t kFirstRetryPause = 100000;
const bigtime_t kLongestRetryPause = 5000000;

} // namespace

StriaSubscriber::StriaSubscriber(const BMessage& subscription, int32 number, size_t capacity)
    : fSubscription(subscription), fHasMessenger(false), fNumber(number), fCapacity(capacity),
      fStopping(false), fDeadline(B_INFINITE_TIMEOUT), fDropped(0), fGone(false)
{
	fHasMessenger = fSubscription.FindMessenger(STRIA_MESSENGER_FIELD, &fMessenger) == B_OK;
	if (fHasMessenger)
		fThread = std::thread(&StriaSubscriber::_DeliveryLoop, this);
}

StriaSubscriber::~StriaSubscriber()
{
	{
		std::lock_guard lock(fLock);
		fStopping = true;
		if (fDeadline > system_time())
			fDeadline = system_time();
	}
	fChanged.notify_all();
	if (fThread.joinable())
		fThread.join();
}

bool StriaSubscriber::QueueScan(const char* barcode)
{
	if (!fHasMessenger)
		return true;

	size_t queued;
	{
		std::lock_guard lock(fLock);
		if (fGone)
			return true;
		if (fStopping)
			return false;
		queued = fQueue.size();
		if (queued < fCapacity) {
			fQueue.push_back({false, barcode});
			queued = 0;
		} else
			fDropped++;
	}
	if (queued != 0) {
		fprintf(stderr,
		        "StriaFilter: subscriber %d is not taking its scans (%zu waiting); scan dropped\n",
		        (int)fNumber, queued);
		return false;
	}
	fChanged.notify_one();
	return true;
}

void StriaSubscriber::QueueShutdown(bigtime_t deadline)
{
	if (!fHasMessenger)
		return;
	{
		std::lock_guard lock(fLock);
		if (fStopping || fGone)
			return;
		fQueue.push_back({true, std::string()});
		fStopping = true;
		fDeadline = deadline;
	}
	fChanged.notify_one();
}

void StriaSubscriber::WaitForDelivery()
{
	if (fThread.joinable())
		fThread.join();
}

bool StriaSubscriber::IsGone() const
{
	std::lock_guard lock(fLock);
	return fGone;
}

int64 StriaSubscriber::CountDropped() const
{
	std::lock_guard lock(fLock);
	return fDropped;
}

void StriaSubscriber::_DeliveryLoop()
{
	for (;;) {
		Item item;
		{
			std::unique_lock lock(fLock);
			fChanged.wait(lock, [this] { return !fQueue.empty() || fStopping; });
			if (fQueue.empty())
				return;
			if (system_time() >= fDeadline) {
				lock.unlock();
				_DropRest();
				return;
			}
			item = std::move(fQueue.front());
			fQueue.pop_front();
		}

		BMessage message(item.shutdown ? STRIA_SHUTDOWN : STRIA_CATSCAN);
		if (!item.shutdown)
			message.AddString(STRIA_BARCODE_FIELD, item.barcode.c_str());
		switch (_Send(message)) {
		case kSent:
			break;
		case kGone: {
			// It never comes back (ports and loopers are not reused): the
			// subscription is kept, but needs no thread any more.
			std::lock_guard lock(fLock);
			fGone = true;
			fQueue.clear();
			return;
		}
		case kOutOfTime: {
			std::lock_guard lock(fLock);
			fQueue.push_front(std::move(item));
		}
			_DropRest();
			return;
		}
	}
}

StriaSubscriber::SendResult StriaSubscriber::_Send(BMessage& message)
{
	bigtime_t pause = kFirstRetryPause;
	for (;;) {
		bigtime_t timeout = kSendSlice;
		{
			std::lock_guard lock(fLock);
			bigtime_t left = fDeadline - system_time();
			if (left <= 0)
				return kOutOfTime;
			timeout = std::min(timeout, left);
		}
		status_t status = fMessenger.SendMessage(&message, (BHandler*)NULL, timeout);
		if (status == B_OK)
			return kSent;
		// A subscriber that has gone fails the send at once; it is skipped
		// silently, like one whose messenger was never valid. Other
		// failures lose this message only.
		if (status != B_TIMED_OUT && status != B_WOULD_BLOCK)
			return fMessenger.IsValid() ? kSent : kGone;

		// Stopped or stuck: try again after a pause that grows, so that a
		// subscriber stopped for hours costs next to nothing. The pause ends
		// early once a deadline is set.
		std::unique_lock lock(fLock);
		bigtime_t wait = std::min(pause, fDeadline - system_time());
		if (wait > 0) {
			bigtime_t deadline = fDeadline;
			fChanged.wait_for(lock, std::chrono::microseconds(wait),
			                  [this, deadline] { return fDeadline != deadline; });
		}
		pause = std::min(pause * 2, kLongestRetryPause);
	}
}

void StriaSubscriber::_DropRest()
{
	size_t scans = 0;
	bool shutdown = false;
	{
		std::lock_guard lock(fLock);
		for (const Item& item : fQueue) {
			if (item.shutdown)
				shutdown = true;
			else
				scans++;
		}
		fQueue.clear();
		fDropped += scans;
	}
	if (scans != 0 || shutdown) {
		fprintf(stderr, "StriaFilter: subscriber %d did not take %zu scan%s%s in time; dropped\n",
		        (int)fNumber, scans, scans == 1 ? "" : "s",
		        shutdown ? " and the shutdown notice" : "");
	}
}
