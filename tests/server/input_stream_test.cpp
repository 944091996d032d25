// The input stream's thread: one thread for every filter call, order kept
// per producer, nothing lost when it closes.
#include "ApplicationSide.h"
#include "FilterChain.h"
#include "InputStream.h"

#include <InputServerFilter.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <atomic>
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

} // namespace
} // namespace stria
