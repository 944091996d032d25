// Thread data: the one-slot mailbox behind send_data and receive_data.

#include "BoundedWait.h"

#include <OS.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using stria::test::StateOf;
using stria::test::WaitUntil;
using stria::test::WaitUntilBlocked;

namespace {

// A thread that does nothing until told to end; it never reads its mailbox.
class IdleThread {
public:
	IdleThread()
	{
		fRelease = create_sem(0, "release idle thread");
		fThread = spawn_thread(Run, "idle", B_NORMAL_PRIORITY, this);
		resume_thread(fThread);
	}

	~IdleThread() { End(); }

	thread_id Id() const { return fThread; }

	void End()
	{
		if (fRelease < 0)
			return;
		release_sem(fRelease);
		wait_for_thread(fThread, NULL);
		delete_sem(fRelease);
		fRelease = -1;
	}

private:
	static status_t Run(void* data)
	{
		return acquire_sem(static_cast<IdleThread*>(data)->fRelease);
	}

	sem_id fRelease;
	thread_id fThread;
};

struct Received {
	int32 code = 0;
	thread_id sender = -1;
	char buffer[16];
	size_t bufferSize = sizeof(buffer);
};

status_t ReceiveOnce(void* data)
{
	auto* received = static_cast<Received*>(data);
	received->code = receive_data(&received->sender, received->buffer, received->bufferSize);
	return B_OK;
}

TEST(ThreadDataTest, CodeSenderAndACopyOfThePayloadArrive)
{
	Received received;
	thread_id receiver = spawn_thread(ReceiveOnce, "receiver", B_NORMAL_PRIORITY, &received);
	char payload[] = "payload";
	ASSERT_EQ(send_data(receiver, 'abcd', payload, sizeof(payload)), B_OK);
	// The sender's buffer may be reused at once.
	memset(payload, 'X', sizeof(payload));
	resume_thread(receiver);
	wait_for_thread(receiver, NULL);

	EXPECT_EQ(received.code, 'abcd');
	EXPECT_EQ(received.sender, find_thread(NULL));
	EXPECT_STREQ(received.buffer, "payload");
}

TEST(ThreadDataTest, PayloadIsCutToTheReceiversBuffer)
{
	const struct {
		size_t sent;
		size_t room;
		size_t copied;
	} cases[] = {
	        {0, 16, 0}, {4, 16, 4}, {16, 16, 16}, {32, 16, 16}, {32, 3, 3}, {8, 0, 0},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::Message() << c.sent << " bytes into " << c.room);
		std::vector<char> payload(c.sent);
		for (size_t i = 0; i < c.sent; i++)
			payload[i] = char('a' + i % 26);

		Received received;
		memset(received.buffer, '#', sizeof(received.buffer));
		received.bufferSize = c.room;
		thread_id receiver = spawn_thread(ReceiveOnce, "cut", B_NORMAL_PRIORITY, &received);
		ASSERT_EQ(send_data(receiver, 7, payload.data(), payload.size()), B_OK);
		resume_thread(receiver);
		wait_for_thread(receiver, NULL);

		EXPECT_EQ(received.code, 7);
		EXPECT_EQ(std::string(received.buffer, c.copied),
		          std::string(payload.begin(), payload.begin() + c.copied));
		for (size_t i = c.copied; i < sizeof(received.buffer); i++)
			EXPECT_EQ(received.buffer[i], '#') << "byte " << i << " written past the payload";
	}
}

TEST(ThreadDataTest, ReceiverWithoutBufferStillTakesTheItem)
{
	Received received;
	thread_id receiver =
	        spawn_thread([](void*) -> status_t { return receive_data(NULL, NULL, 100); },
	                     "no buffer", B_NORMAL_PRIORITY, &received);
	ASSERT_EQ(send_data(receiver, 3, "abc", 3), B_OK);
	resume_thread(receiver);
	status_t result = 0;
	wait_for_thread(receiver, &result);
	EXPECT_EQ(result, 3);
}

TEST(ThreadDataTest, ReceiverBlocksUntilAnItemArrives)
{
	Received received;
	thread_id receiver =
	        spawn_thread(ReceiveOnce, "blocked receiver", B_NORMAL_PRIORITY, &received);
	resume_thread(receiver);
	ASSERT_TRUE(WaitUntilBlocked(receiver, B_THREAD_RECEIVING));
	snooze(20000);
	EXPECT_EQ(received.code, 0);
	EXPECT_EQ(StateOf(receiver), B_THREAD_RECEIVING);

	ASSERT_EQ(send_data(receiver, 11, "x", 2), B_OK);
	ASSERT_EQ(wait_for_thread(receiver, NULL), B_OK);
	EXPECT_EQ(received.code, 11);
}

TEST(ThreadDataTest, SecondSendWaitsUntilTheFirstIsTaken)
{
	Received received;
	thread_id receiver = spawn_thread(ReceiveOnce, "slow receiver", B_NORMAL_PRIORITY, &received);
	std::atomic<int> sendsDone{0};
	std::atomic<thread_id> senderId{-1};
	std::thread sender([&] {
		senderId = find_thread(NULL);
		send_data(receiver, 1, "first", 6);
		sendsDone++;
		send_data(receiver, 2, "second", 7);
		sendsDone++;
	});

	EXPECT_TRUE(WaitUntil([&] { return sendsDone >= 1; }));
	EXPECT_TRUE(WaitUntilBlocked(senderId, B_THREAD_WAITING));
	snooze(50000);
	EXPECT_EQ(sendsDone, 1) << "second send_data did not wait for the slot";
	EXPECT_TRUE(has_data(receiver));

	// Taking the first item lets the second in.
	resume_thread(receiver);
	sender.join();
	wait_for_thread(receiver, NULL);
	EXPECT_EQ(received.code, 1);
	EXPECT_STREQ(received.buffer, "first");
	EXPECT_EQ(sendsDone, 2);
}

TEST(ThreadDataTest, HasDataTellsWhetherAnItemIsPending)
{
	IdleThread idle;
	EXPECT_FALSE(has_data(idle.Id()));
	ASSERT_EQ(send_data(idle.Id(), 1, NULL, 0), B_OK);
	EXPECT_TRUE(has_data(idle.Id()));
}

TEST(ThreadDataTest, SendingToAThreadThatEndedFails)
{
	IdleThread idle;
	thread_id id = idle.Id();
	idle.End();
	EXPECT_EQ(send_data(id, 1, "x", 1), B_BAD_THREAD_ID);
	EXPECT_EQ(send_data(987654321, 1, "x", 1), B_BAD_THREAD_ID);
}

TEST(ThreadDataTest, SenderWaitingOnAFullSlotFailsWhenTheTargetEnds)
{
	IdleThread idle;
	ASSERT_EQ(send_data(idle.Id(), 1, NULL, 0), B_OK);

	// Shared with the sender, which outlives the test if the fault is there.
	struct Outcome {
		std::atomic<status_t> status{B_OK};
		std::atomic<bool> done{false};
		std::atomic<thread_id> senderId{-1};
	};
	auto outcome = std::make_shared<Outcome>();
	thread_id target = idle.Id();
	std::thread sender([outcome, target] {
		outcome->senderId = find_thread(NULL);
		outcome->status = send_data(target, 2, NULL, 0);
		outcome->done = true;
	});
	EXPECT_TRUE(WaitUntil([&] { return outcome->senderId > 0; }));
	EXPECT_TRUE(WaitUntilBlocked(outcome->senderId, B_THREAD_WAITING));
	EXPECT_FALSE(outcome->done);

	idle.End();
	if (!WaitUntil([&] { return outcome->done.load(); })) {
		sender.detach();
		FAIL() << "sender hangs on an ended thread";
	}
	sender.join();
	EXPECT_EQ(outcome->status, B_BAD_THREAD_ID);
}

TEST(ThreadDataTest, SendingToItselfWithAFullSlotDoesNotHang)
{
	ASSERT_EQ(send_data(find_thread(NULL), 1, "a", 1), B_OK);
	EXPECT_EQ(send_data(find_thread(NULL), 2, "b", 1), B_WOULD_BLOCK);
	char byte = 0;
	thread_id sender = -1;
	EXPECT_EQ(receive_data(&sender, &byte, 1), 1);
	EXPECT_EQ(byte, 'a');
	EXPECT_EQ(sender, find_thread(NULL));
}

TEST(ThreadDataTest, NullPayloadWithASizeIsRefused)
{
	IdleThread idle;
	EXPECT_EQ(send_data(idle.Id(), 1, NULL, 4), B_BAD_VALUE);
	EXPECT_FALSE(has_data(idle.Id()));
}

// Several senders at once: every item arrives exactly once, and each
// sender's items in the order sent.
TEST(ThreadDataTest, ManySendersLoseNothing)
{
	constexpr int kSenders = 3;
	constexpr int kItemsEach = 300;
	struct Tally {
		int count[kSenders] = {};
		bool inOrder = true;
	} tally;
	thread_id receiver = spawn_thread(
	        [](void* data) -> status_t {
		        auto* tally = static_cast<Tally*>(data);
		        for (int i = 0; i < kSenders * kItemsEach; i++) {
			        int32 item[2];
			        receive_data(NULL, item, sizeof(item));
			        if (item[1] != tally->count[item[0]])
				        tally->inOrder = false;
			        tally->count[item[0]]++;
		        }
		        return B_OK;
	        },
	        "tally", B_NORMAL_PRIORITY, &tally);
	resume_thread(receiver);

	std::vector<std::thread> senders;
	for (int s = 0; s < kSenders; s++) {
		senders.emplace_back([=] {
			for (int i = 0; i < kItemsEach; i++) {
				int32 item[2] = {s, i};
				ASSERT_EQ(send_data(receiver, 1, item, sizeof(item)), B_OK);
			}
		});
	}
	for (auto& sender : senders)
		sender.join();
	ASSERT_EQ(wait_for_thread(receiver, NULL), B_OK);
	for (int s = 0; s < kSenders; s++)
		EXPECT_EQ(tally.count[s], kItemsEach);
	EXPECT_TRUE(tally.inOrder);
}

} // namespace
