// Fuzzes the filter's subscriber list with sequences of subscriptions (of
// loopers in this process, made-up ones in other processes, ones without a
// messenger), scans, loopers that quit, and checks on a clock the input
// moves. Whatever the order: the list never holds more than its limit nor
// a messenger twice, every looper that stays gets every scan queued after
// its subscription, in order, then the shutdown notice, and the shutdown
// always ends.
#include "../../tests/MadeUpSubscription.h"

#include <StriaClock.h>
#include <SubscriberList.h>

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>
#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

class ManualClock : public StriaClock {
public:
	bigtime_t Now() override
	{
		std::lock_guard lock(fLock);
		return fNow;
	}

	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	               bigtime_t deadline) override
	{
		{
			std::lock_guard guard(fLock);
			if (fNow >= deadline)
				return;
			fWaiters.push_back({lock.mutex(), &changed});
		}
		changed.wait(lock);
		std::lock_guard guard(fLock);
		std::erase_if(fWaiters, [&](const Waiter& waiter) { return waiter.changed == &changed; });
	}

	void Advance(bigtime_t span)
	{
		std::vector<Waiter> waiters;
		{
			std::lock_guard guard(fLock);
			fNow += span;
			waiters = fWaiters;
		}
		for (const Waiter& waiter : waiters) {
			std::lock_guard guard(*waiter.mutex);
			waiter.changed->notify_all();
		}
	}

private:
	struct Waiter {
		std::mutex* mutex;
		std::condition_variable* changed;
	};
	std::mutex fLock;
	bigtime_t fNow = 0;
	std::vector<Waiter> fWaiters;
};

class Collector : public BLooper {
public:
	Collector() : BLooper("fuzz collector") {}

	void MessageReceived(BMessage* message) override
	{
		std::lock_guard lock(fLock);
		if (message->what == STRIA_CATSCAN) {
			const char* barcode = "(none)";
			message->FindString(STRIA_BARCODE_FIELD, &barcode);
			fNotes.push_back(barcode);
		} else if (message->what == STRIA_SHUTDOWN)
			fNotes.push_back("SHUTDOWN");
		else if (message->what != STRIA_SUBSCRIBE_REFUSED)
			BLooper::MessageReceived(message);
		fChanged.notify_all();
	}

	std::vector<std::string> WaitForShutdown()
	{
		std::unique_lock lock(fLock);
		fChanged.wait_for(lock, std::chrono::seconds(30),
		                  [&] { return !fNotes.empty() && fNotes.back() == "SHUTDOWN"; });
		return fNotes;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fNotes;
};

pid_t EndedProcess()
{
	static pid_t ended = [] {
		pid_t pid = fork();
		if (pid == 0)
			_exit(0);
		waitpid(pid, nullptr, 0);
		return pid;
	}();
	return ended;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	if (size < 1 || size > 256)
		return 0;
	const int kCollectors = 3;
	ManualClock clock;
	SubscriberList::Limits limits = SubscriberList::DefaultLimits();
	limits.maxSubscribers = 1 + data[0] % 4;
	limits.threads = 2;

	Collector* collectors[kCollectors];
	bool running[kCollectors];
	// Per collector, the first scan queued after its subscription was
	// added; -1 while not subscribed.
	int firstScan[kCollectors];
	for (int i = 0; i < kCollectors; i++) {
		collectors[i] = new Collector;
		collectors[i]->Run();
		running[i] = true;
		firstScan[i] = -1;
	}
	int scans = 0;
	{
		SubscriberList list(&clock, limits);
		for (size_t at = 1; at + 1 < size; at += 2) {
			uint8_t argument = data[at + 1];
			switch (data[at] % 6) {
			case 0: {
				int which = argument % kCollectors;
				if (!running[which])
					break;
				BMessage subscription;
				make_scan_subscription(BMessenger(collectors[which]), &subscription);
				SubscriberList::AddResult result = list.Add(subscription);
				if (result == SubscriberList::kAdded) {
					if (firstScan[which] >= 0)
						std::abort(); // a looper that never left is added twice
					firstScan[which] = scans;
				} else if (result == SubscriberList::kAlreadySubscribed && firstScan[which] < 0)
					std::abort();
				else if (result == SubscriberList::kNoMessenger)
					std::abort();
				break;
			}
			case 1:
				list.Add(MadeUpSubscription(argument % 2 ? getpid() : EndedProcess(), 1 + argument));
				break;
			case 2: {
				BMessage withoutMessenger(STRIA_SUBSCRIBE);
				if (list.Add(withoutMessenger) != SubscriberList::kNoMessenger)
					std::abort();
				break;
			}
			case 3:
				list.QueueScan("C39 SCAN" + std::to_string(scans++));
				break;
			case 4: {
				int which = argument % kCollectors;
				if (running[which] && collectors[which]->Lock()) {
					collectors[which]->Quit();
					running[which] = false;
				}
				break;
			}
			case 5:
				clock.Advance((bigtime_t)argument * 100000);
				break;
			}
			if (list.CountSubscribers() > limits.maxSubscribers)
				std::abort();
		}
		list.Shutdown(clock.Now() + 1000000000);
		if (list.CountDropped() != 0)
			std::abort(); // nobody stalls and no queue can fill
	}
	for (int i = 0; i < kCollectors; i++) {
		if (!running[i])
			continue;
		if (firstScan[i] >= 0) {
			std::vector<std::string> notes = collectors[i]->WaitForShutdown();
			std::vector<std::string> expected;
			for (int scan = firstScan[i]; scan < scans; scan++)
				expected.push_back("C39 SCAN" + std::to_string(scan));
			expected.push_back("SHUTDOWN");
			if (notes != expected)
				std::abort();
		}
		if (collectors[i]->Lock())
			collectors[i]->Quit();
	}
	return 0;
}
