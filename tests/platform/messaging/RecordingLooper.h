// A looper for tests: keeps a copy of every message it handles and lets the
// test wait, with a generous bound, until enough have arrived.
#ifndef STRIA_RECORDING_LOOPER_H
#define STRIA_RECORDING_LOOPER_H

#include <Looper.h>
#include <Message.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace messaging_test {

class RecordingLooper : public BLooper {
public:
	explicit RecordingLooper(const char* name = "recorder", int32 capacity = 200,
	                         std::atomic<bool>* deleted = nullptr)
	    : BLooper(name, B_NORMAL_PRIORITY, capacity), fDeleted(deleted)
	{
	}

	~RecordingLooper() override
	{
		if (fDeleted != nullptr)
			fDeleted->store(true);
	}

	// Runs on the looper's thread before the message is recorded.
	std::function<void(RecordingLooper*, BMessage*)> onMessage;

	void MessageReceived(BMessage* message) override
	{
		if (onMessage)
			onMessage(this, message);
		std::lock_guard<std::mutex> guard(fLock);
		fMessages.push_back(*message);
		fThreads.push_back(find_thread(NULL));
		fArrived.notify_all();
	}

	bool WaitForCount(size_t count, int seconds = 20)
	{
		std::unique_lock<std::mutex> guard(fLock);
		return fArrived.wait_for(guard, std::chrono::seconds(seconds),
		                         [&] { return fMessages.size() >= count; });
	}

	std::vector<BMessage> Messages()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fMessages;
	}

	std::vector<thread_id> Threads()
	{
		std::lock_guard<std::mutex> guard(fLock);
		return fThreads;
	}

private:
	std::atomic<bool>* fDeleted;
	std::mutex fLock;
	std::condition_variable fArrived;
	std::vector<BMessage> fMessages;
	std::vector<thread_id> fThreads;
};

// Waits until condition holds, checking every millisecond, at most seconds.
inline bool Eventually(const std::function<bool()>& condition, int seconds = 20)
{
	auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
	while (!condition()) {
		if (std::chrono::steady_clock::now() > deadline)
			return false;
		snooze(1000);
	}
	return true;
}

} // namespace messaging_test

#endif // STRIA_RECORDING_LOOPER_H
