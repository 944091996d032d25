// StriaSubscriber on its own: the bounded queue, drops, and the end of
// delivery.
#include "ScanCollector.h"

#include <StriaSubscriber.h>

#include <OS.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace filter_test;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

namespace {

std::string Code(int number)
{
	return "C39 SCAN" + std::to_string(number);
}

TEST(StriaSubscriber, FullQueueDropsScansAndKeepsTheOthersInOrder)
{
	// A looper that holds one message in its queue and stalls on the first
	// it handles: the subscriber's queue of three fills at once.
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	std::vector<std::string> accepted;
	{
		StriaSubscriber subscriber(collector->Subscription(), 1, 3);
		ASSERT_TRUE(subscriber.HasMessenger());
		for (int number = 1; number <= 50; number++) {
			if (subscriber.QueueScan(Code(number).c_str()))
				accepted.push_back("CATSCAN " + Code(number));
		}
		EXPECT_GE(accepted.size(), 3u);
		EXPECT_LE(accepted.size(), 3u + 3u) << "queue, one in flight, port, handler";
		EXPECT_EQ(subscriber.CountDropped(), 50 - (int64)accepted.size());

		collector->SetGate(true);
		subscriber.QueueShutdown(system_time() + 30000000);
		subscriber.WaitForDelivery();
		EXPECT_EQ(subscriber.CountDropped(), 50 - (int64)accepted.size());
	}
	accepted.push_back("SHUTDOWN");
	EXPECT_THAT(collector->WaitForNotes(accepted.size()), ElementsAreArray(accepted));
	collector->Stop();
}

TEST(StriaSubscriber, DeliveryEndsAtTheDeadlineWhenTheSubscriberTakesNothing)
{
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	{
		StriaSubscriber subscriber(collector->Subscription(), 1);
		for (int number = 1; number <= 5; number++)
			EXPECT_TRUE(subscriber.QueueScan(Code(number).c_str()));
		EXPECT_TRUE(collector->WaitUntilStalled());
		subscriber.QueueShutdown(system_time() + 300000);
		subscriber.WaitForDelivery();
		// The looper took two (one handled, one queued); three were given up.
		EXPECT_EQ(subscriber.CountDropped(), 3);
		EXPECT_FALSE(subscriber.QueueScan(Code(6).c_str())) << "no scans after the shutdown";
	}
	EXPECT_THAT(collector->Flush(), ElementsAreArray({"CATSCAN " + Code(1), "CATSCAN " + Code(2)}));
	collector->Stop();
}

TEST(StriaSubscriber, SubscriberThatIsGoneIsSkippedWithoutDropsAndNeedsNoThread)
{
	ScanCollector* collector = ScanCollector::Start();
	BMessage subscription = collector->Subscription();
	collector->Stop();

	StriaSubscriber subscriber(subscription, 1);
	EXPECT_TRUE(subscriber.HasMessenger());
	EXPECT_TRUE(subscriber.QueueScan(Code(1).c_str()));
	for (int round = 0; round < 1000 && !subscriber.IsGone(); round++)
		snooze(10000);
	EXPECT_TRUE(subscriber.IsGone());
	// Its thread has ended: waiting returns before any shutdown.
	subscriber.WaitForDelivery();
	for (int number = 2; number <= 5; number++)
		EXPECT_TRUE(subscriber.QueueScan(Code(number).c_str()));
	subscriber.QueueShutdown(system_time() + 30000000);
	EXPECT_EQ(subscriber.CountDropped(), 0);
}

TEST(StriaSubscriber, SubscriptionWithoutMessengerGetsNothing)
{
	BMessage subscription(STRIA_SUBSCRIBE);
	subscription.AddInt32("other", 1);
	StriaSubscriber subscriber(subscription, 1);
	EXPECT_FALSE(subscriber.HasMessenger());
	EXPECT_TRUE(subscriber.QueueScan("UPA 012000003455"));
	subscriber.QueueShutdown(system_time());
	subscriber.WaitForDelivery();
	EXPECT_EQ(subscriber.CountDropped(), 0);
	EXPECT_TRUE(subscriber.Subscription().HasSameData(subscription));
}

TEST(StriaSubscriber, DestroyingWithoutShutdownEndsPromptly)
{
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	{
		StriaSubscriber subscriber(collector->Subscription(), 1);
		for (int number = 1; number <= 5; number++)
			subscriber.QueueScan(Code(number).c_str());
		EXPECT_TRUE(collector->WaitUntilStalled());
	}
	// What the looper took before it stalled (the first scan, perhaps the
	// second) arrives; nothing after.
	std::vector<std::string> notes = collector->Flush();
	ASSERT_GE(notes.size(), 1u);
	ASSERT_LE(notes.size(), 2u);
	for (size_t i = 0; i < notes.size(); i++)
		EXPECT_EQ(notes[i], "CATSCAN " + Code(i + 1));
	collector->Stop();
}

} // namespace
