// The input stream's thread: one thread for every filter call, order kept
// per producer, nothing lost when it closes.
#include "ApplicationSide.h"
#include "FilterChain.h"
#include "InputStream.h"

#include <InputServerFilter.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace stria {
namespace {

// Notes the threads it runs on; drops messages whose code is 'drop'.
class ThreadNotingFilter : public BInputServerFilter {
public:
	filter_result Filter(BMessage* message, BList*) override
	{
		std::lock_guard lock(fLock);
		fThreads.insert(std::this_thread::get_id());
		return message->what == 'drop' ? B_SKIP_MESSAGE : B_DISPATCH_MESSAGE;
	}

	std::set<std::thread::id> Threads()
	{
		std::lock_guard lock(fLock);
		return fThreads;
	}

private:
	std::mutex fLock;
	std::set<std::thread::id> fThreads;
};

class RecordingSide : public ApplicationSide {
public:
	void Deliver(const BMessage& message) override
	{
		std::lock_guard lock(fLock);
		EXPECT_EQ(fFinished, 0) << "a message after Finish";
		fDelivered.push_back({message.what, message.GetInt32("n", -1)});
	}

	void Finish() override
	{
		std::lock_guard lock(fLock);
		fFinished++;
	}

	std::vector<std::pair<uint32, int32>> Delivered()
	{
		std::lock_guard lock(fLock);
		return fDelivered;
	}

	int Finished()
	{
		std::lock_guard lock(fLock);
		return fFinished;
	}

private:
	std::mutex fLock;
	std::vector<std::pair<uint32, int32>> fDelivered;
	int fFinished = 0;
};

std::unique_ptr<BMessage> Numbered(uint32 what, int32 n)
{
	auto message = std::make_unique<BMessage>(what);
	message->AddInt32("n", n);
	return message;
}

TEST(InputStreamTest, OneThreadPassesEveryProducersMessagesInTheirOrder)
{
	ThreadNotingFilter first;
	ThreadNotingFilter second;
	FilterChain chain({&first, &second});
	RecordingSide side;
	InputStream stream(chain, &side);
	stream.Start();

	const int kProducers = 4;
	const int kEach = 500;
	std::vector<std::thread> producers;
	for (int producer = 0; producer < kProducers; producer++) {
		producers.emplace_back([&stream, producer] {
			for (int n = 0; n < kEach; n++)
				EXPECT_TRUE(stream.Enqueue(Numbered('pr00' + producer, n)));
		});
	}
	for (std::thread& producer : producers)
		producer.join();
	stream.Close();

	std::vector<int32> next(kProducers, 0);
	for (auto [what, n] : side.Delivered()) {
		int producer = (int)(what - 'pr00');
		ASSERT_GE(producer, 0);
		ASSERT_LT(producer, kProducers);
		EXPECT_EQ(n, next[producer]++) << "producer " << producer;
	}
	for (int producer = 0; producer < kProducers; producer++)
		EXPECT_EQ(next[producer], kEach);
	EXPECT_EQ(stream.CountDelivered(), (uint64_t)(kProducers * kEach));
	EXPECT_EQ(first.Threads().size(), 1u);
	EXPECT_EQ(first.Threads(), second.Threads());
	EXPECT_EQ(first.Threads().count(std::this_thread::get_id()), 0u);
	EXPECT_EQ(side.Finished(), 1);
}

TEST(InputStreamTest, CloseDrainsTheQueueThenRefusesNewMessages)
{
	ThreadNotingFilter filter;
	FilterChain chain({&filter});
	RecordingSide side;
	InputStream stream(chain, &side);
	// Queue before the thread starts, so that Close finds work waiting.
	for (int n = 0; n < 100; n++)
		stream.Enqueue(Numbered(n % 10 == 0 ? 'drop' : 'keep', n));
	stream.Start();
	stream.Close();

	std::vector<std::pair<uint32, int32>> delivered = side.Delivered();
	ASSERT_EQ(delivered.size(), 90u);
	EXPECT_EQ(delivered.front().second, 1);
	EXPECT_EQ(delivered.back().second, 99);
	EXPECT_EQ(side.Finished(), 1);

	EXPECT_FALSE(stream.Enqueue(Numbered('late', 0))); // freed, not leaked (ASan)
	stream.Close();                                    // a second Close changes nothing
	EXPECT_EQ(side.Finished(), 1);
	EXPECT_EQ(side.Delivered().size(), 90u);
}

TEST(InputStreamTest, WaitUntilQuietWaitsForMessagesThatComeLate)
{
	FilterChain chain;
	RecordingSide side;
	InputStream stream(chain, &side);
	stream.Start();
	std::thread late([&stream] {
		std::this_thread::sleep_for(std::chrono::milliseconds(20));
		stream.Enqueue(Numbered('late', 1));
	});
	// The late message comes well within the quiet time, so the wait covers it.
	stream.WaitUntilQuiet(std::chrono::milliseconds(500), std::chrono::milliseconds(10000));
	late.join();
	stream.Close();
	EXPECT_EQ(side.Delivered().size(), 1u);
}

TEST(InputStreamTest, WithoutApplicationSideMessagesAreDropped)
{
	FilterChain chain;
	InputStream stream(chain, nullptr);
	stream.Start();
	for (int n = 0; n < 10; n++)
		stream.Enqueue(Numbered('keep', n));
	stream.Close();
	EXPECT_EQ(stream.CountDelivered(), 10u);
}


// Holds the stream's thread in its first call until opened; while held, it
// enqueues one message of its own on every call, as an add-on whose filter
// asks its device for a tick would, into a queue that may be full.
class GateFilter : public BInputServerFilter {
public:
	// ticks: whether it enqueues messages of its own.
	GateFilter(InputStream*& stream, bool ticks) : fStream(stream), fTicks(ticks ? 0 : 3) {}

	filter_result Filter(BMessage* message, BList*) override
	{
		if (message->what == 'tick')
			return B_DISPATCH_MESSAGE;
		{
			std::unique_lock lock(fLock);
			fEntered = true;
			fChanged.notify_all();
			fChanged.wait(lock, [this] { return fOpen; });
		}
		if (fTicks < 3) {
			EXPECT_TRUE(fStream->Enqueue(Numbered('tick', fTicks)));
			fTicks++;
		}
		return B_DISPATCH_MESSAGE;
	}

	void WaitUntilEntered()
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return fEntered; });
	}

	void Open()
	{
		std::lock_guard lock(fLock);
		fOpen = true;
		fChanged.notify_all();
	}

private:
	InputStream*& fStream;
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fEntered = false;
	bool fOpen = false;
	int fTicks = 0;
};

TEST(InputStreamTest, FullQueueHoldsReadersBackAndLosesNothing)
{
	const size_t kCapacity = 8;
	const int kMessages = 200;
	InputStream* streamOfFilter = nullptr;
	GateFilter gate(streamOfFilter, true);
	FilterChain chain({&gate});
	RecordingSide side;
	InputStream stream(chain, &side, kCapacity);
	streamOfFilter = &stream;
	stream.Start();

	// The thread holds the first message; the reader fills the queue behind
	// it and waits for room.
	ASSERT_TRUE(stream.EnqueueWaiting(Numbered('key ', 0)));
	gate.WaitUntilEntered();
	std::atomic<int> queued{0};
	std::thread reader([&] {
		for (int n = 1; n < kMessages; n++) {
			EXPECT_TRUE(stream.EnqueueWaiting(Numbered('key ', n)));
			queued++;
		}
	});
	while (stream.CountWaits() == 0)
		std::this_thread::yield();
	EXPECT_EQ(queued.load(), (int)kCapacity);
	EXPECT_EQ(stream.HighWaterMark(), kCapacity);

	// The filter's own messages go past the bound instead of waiting on
	// the thread that would make room.
	gate.Open();
	reader.join();
	stream.Close();

	std::vector<int32> keys;
	int ticks = 0;
	for (auto [what, n] : side.Delivered()) {
		if (what == 'key ')
			keys.push_back(n);
		else
			ticks++;
	}
	ASSERT_EQ(keys.size(), (size_t)kMessages);
	for (int n = 0; n < kMessages; n++)
		EXPECT_EQ(keys[n], n);
	EXPECT_EQ(ticks, 3);
	EXPECT_LE(stream.HighWaterMark(), kCapacity + 1) << "one tick at most beyond the bound";
}

TEST(InputStreamTest, CloseReleasesReadersWaitingForRoom)
{
	InputStream* streamOfFilter = nullptr;
	GateFilter gate(streamOfFilter, false);
	FilterChain chain({&gate});
	RecordingSide side;
	InputStream stream(chain, &side, 2);
	streamOfFilter = &stream;
	stream.Start();
	// The stream's thread holds one message in the gate before any reader
	// comes, however late that thread runs: then the queue only fills.
	ASSERT_TRUE(stream.EnqueueWaiting(Numbered('key ', 999)));
	gate.WaitUntilEntered();

	const int kReaders = 3;
	std::atomic<int> refused{0};
	std::vector<std::thread> readers;
	for (int reader = 0; reader < kReaders; reader++) {
		readers.emplace_back([&, reader] {
			for (int n = 0; n < 10; n++) {
				if (!stream.EnqueueWaiting(Numbered('key ', reader * 100 + n))) {
					refused++;
					return;
				}
			}
		});
	}
	while (stream.CountWaits() < (uint64_t)kReaders)
		std::this_thread::yield();

	// The thread stays held: only Close can release the readers.
	std::thread closer([&] { stream.Close(); });
	for (std::thread& reader : readers)
		reader.join();
	EXPECT_EQ(refused.load(), kReaders);
	gate.Open();
	closer.join();
	EXPECT_EQ(side.Delivered().size(), 1u + 2u) << "the held one and the queued two";
	EXPECT_EQ(side.Finished(), 1);
}

} // namespace
} // namespace stria
