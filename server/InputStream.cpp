// The input stream's thread.
#include "InputStream.h"

#include "ApplicationSide.h"

#include <Message.h>

#include <algorithm>

namespace stria {

InputStream::InputStream(const FilterChain& chain, ApplicationSide* side, size_t capacity)
    : fChain(chain), fSide(side), fCapacity(capacity > 0 ? capacity : 1),
      fLastActivity(std::chrono::steady_clock::now())
{
}

InputStream::~InputStream()
{
	Close();
}

void InputStream::Start()
{
	std::lock_guard lock(fLock);
	if (!fThread.joinable() && !fClosing)
		fThread = std::thread(&InputStream::Loop, this);
}

bool InputStream::Enqueue(std::unique_ptr<BMessage> message)
{
	if (!message)
		return false;
	std::unique_lock lock(fLock);
	return _Push(std::move(message), lock);
}

bool InputStream::EnqueueAll(std::vector<std::unique_ptr<BMessage>> messages)
{
	std::unique_lock lock(fLock);
	if (fClosing)
		return false;
	if (messages.empty())
		return true;
	for (std::unique_ptr<BMessage>& message : messages)
		fQueue.push_back(std::move(message));
	_Queued(lock);
	return true;
}

bool InputStream::EnqueueWaiting(std::unique_ptr<BMessage> message)
{
	if (!message)
		return false;
	std::unique_lock lock(fLock);
	if (fQueue.size() >= fCapacity && !fClosing) {
		fWaits++;
		fRoom.wait(lock, [this] { return fQueue.size() < fCapacity || fClosing; });
	}
	return _Push(std::move(message), lock);
}

bool InputStream::_Push(std::unique_ptr<BMessage> message, std::unique_lock<std::mutex>& lock)
{
	if (fClosing)
		return false;
	fQueue.push_back(std::move(message));
	_Queued(lock);
	return true;
}

void InputStream::_Queued(std::unique_lock<std::mutex>& lock)
{
	fHighWater = std::max(fHighWater, fQueue.size());
	fLastActivity = std::chrono::steady_clock::now();
	lock.unlock();
	fChanged.notify_all();
}

void InputStream::WaitUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit)
{
	auto deadline = std::chrono::steady_clock::now() + limit;
	std::unique_lock lock(fLock);
	for (;;) {
		auto now = std::chrono::steady_clock::now();
		if (now >= deadline)
			return;
		if (fQueue.empty() && !fBusy) {
			auto quietUntil = fLastActivity + quiet;
			if (now >= quietUntil)
				return;
			fChanged.wait_until(lock, std::min(quietUntil, deadline));
		} else {
			fChanged.wait_until(lock, deadline);
		}
	}
}

void InputStream::Close()
{
	std::thread thread;
	{
		std::lock_guard lock(fLock);
		fClosing = true;
		thread = std::move(fThread);
	}
	fChanged.notify_all();
	fRoom.notify_all();
	if (thread.joinable())
		thread.join();
	// Never started: nothing may stay queued.
	std::lock_guard lock(fLock);
	fQueue.clear();
}

uint64_t InputStream::CountDelivered() const
{
	std::lock_guard lock(fLock);
	return fDelivered;
}

size_t InputStream::HighWaterMark() const
{
	std::lock_guard lock(fLock);
	return fHighWater;
}

uint64_t InputStream::CountWaits() const
{
	std::lock_guard lock(fLock);
	return fWaits;
}

void InputStream::Loop()
{
	FilterChain::Messages delivered;
	std::unique_lock lock(fLock);
	for (;;) {
		fChanged.wait(lock, [this] { return !fQueue.empty() || fClosing; });
		if (fQueue.empty())
			break; // closing, and every message has passed

		std::unique_ptr<BMessage> message = std::move(fQueue.front());
		fQueue.pop_front();
		fBusy = true;
		lock.unlock();
		fRoom.notify_one();

		fChain.Run(std::move(message), delivered);
		for (const std::unique_ptr<BMessage>& out : delivered) {
			if (fSide != NULL)
				fSide->Deliver(*out);
		}
		size_t count = delivered.size();
		delivered.clear();

		lock.lock();
		fBusy = false;
		fDelivered += count;
		fLastActivity = std::chrono::steady_clock::now();
		fChanged.notify_all();
	}
	lock.unlock();
	if (fSide != NULL)
		fSide->Finish();
}

} // namespace stria
