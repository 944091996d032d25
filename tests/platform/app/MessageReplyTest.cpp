// BMessage with real loopers: messenger fields, the return address in the
// byte form, delivery state and replies.
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include "FlatMessageWriter.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr bigtime_t kGenerousWait = 10000000;

// Records what arrives; the test thread waits on a semaphore per message.
class Recorder : public BLooper {
public:
	Recorder() : BLooper("recorder"), fArrived(create_sem(0, "arrived")) {}
	~Recorder() override { delete_sem(fArrived); }

	void MessageReceived(BMessage* message) override
	{
		fWhats.push_back(message->what);
		fDelivered.push_back(message->WasDelivered());
		release_sem(fArrived);
	}

	bool WaitForMessage()
	{
		return acquire_sem_etc(fArrived, 1, B_RELATIVE_TIMEOUT, kGenerousWait) == B_OK;
	}

	// Read only after WaitForMessage, which orders them after the writes.
	std::vector<uint32> fWhats;
	std::vector<bool> fDelivered;

private:
	sem_id fArrived;
};

// Answers every message with a reply whose what is the request's plus one.
class Replier : public BLooper {
public:
	Replier() : BLooper("replier") {}

	void MessageReceived(BMessage* message) override { message->SendReply(message->what + 1); }
};

template <typename T>
class Running {
public:
	Running() : fLooper(new T) { fLooper->Run(); }

	~Running()
	{
		fLooper->Lock();
		fLooper->Quit();
	}

	T* operator->() const { return fLooper; }
	T* Get() const { return fLooper; }

private:
	T* fLooper;
};

TEST(MessengerField, TravelsThroughTheByteFormAndStillReachesItsTarget)
{
	Running<Recorder> recorder;
	BMessenger target(recorder.Get());
	BMessage message('msgr');
	ASSERT_EQ(message.AddMessenger("messenger", target), B_OK);
	ASSERT_EQ(message.AddMessenger("messenger", BMessenger()), B_OK);

	BMessage copy;
	ASSERT_EQ(copy.Unflatten(FlatBytes(message).data()), B_OK);
	BMessenger found, empty(target);
	ASSERT_EQ(copy.FindMessenger("messenger", 0, &found), B_OK);
	ASSERT_EQ(copy.FindMessenger("messenger", 1, &empty), B_OK);
	EXPECT_TRUE(found == target);
	EXPECT_TRUE(found.IsValid());
	EXPECT_FALSE(empty.IsValid());

	ASSERT_EQ(found.SendMessage('hey!'), B_OK);
	ASSERT_TRUE(recorder->WaitForMessage());
	EXPECT_EQ(recorder->fWhats.front(), uint32('hey!'));
	EXPECT_TRUE(recorder->fDelivered.front());
}

TEST(MessengerField, FailingFindsLeaveTheMessengerUnchanged)
{
	Running<Recorder> recorder;
	BMessenger target(recorder.Get());
	BMessage message;
	message.AddInt32("number", 1);
	message.AddMessenger("messenger", target);

	BMessenger kept(target);
	EXPECT_EQ(message.FindMessenger("number", &kept), B_BAD_TYPE);
	EXPECT_EQ(message.FindMessenger("none", &kept), B_NAME_NOT_FOUND);
	EXPECT_EQ(message.FindMessenger("messenger", 1, &kept), B_BAD_INDEX);
	EXPECT_TRUE(kept == target);

	ASSERT_EQ(message.ReplaceMessenger("messenger", BMessenger()), B_OK);
	BMessenger replaced(target);
	ASSERT_EQ(message.FindMessenger("messenger", &replaced), B_OK);
	EXPECT_FALSE(replaced.IsValid());
}

TEST(ReturnAddress, TravelsWithTheFlattenedMessage)
{
	Running<Recorder> recorder;
	BMessenger replyTarget(recorder.Get());

	BMessage request('rqst');
	EXPECT_FALSE(request.ReturnAddress().IsValid());
	request._SetReplyTo(replyTarget);
	EXPECT_TRUE(request.ReturnAddress() == replyTarget);

	// Copies and the byte form both keep it; HasSameData looks at fields only.
	BMessage copy(request);
	EXPECT_TRUE(copy.ReturnAddress() == replyTarget);
	BMessage unflattened;
	ASSERT_EQ(unflattened.Unflatten(FlatBytes(request).data()), B_OK);
	EXPECT_TRUE(unflattened.ReturnAddress() == replyTarget);
	EXPECT_TRUE(unflattened.HasSameData(BMessage('rqst')));

	ASSERT_EQ(unflattened.SendReply('rply'), B_OK);
	ASSERT_TRUE(recorder->WaitForMessage());
	EXPECT_EQ(recorder->fWhats.front(), uint32('rply'));

	// Without a return address, and with one that has no target, there is
	// nobody to reply to.
	BMessage orphan('orph');
	EXPECT_EQ(orphan.SendReply('rply'), B_BAD_REPLY);
	orphan._SetReplyTo(BMessenger());
	EXPECT_EQ(orphan.SendReply('rply'), B_BAD_REPLY);
	EXPECT_EQ(orphan.SendReply(static_cast<BMessage*>(NULL)), B_BAD_VALUE);
	request.MakeEmpty();
	EXPECT_EQ(request.SendReply('rply'), B_BAD_REPLY);
}

TEST(ReturnAddress, ALooperRepliesToTheSenderOfAMessage)
{
	Running<Recorder> recorder;
	Running<Replier> replier;
	BMessage request('ping');
	ASSERT_EQ(BMessenger(replier.Get()).SendMessage(&request, recorder.Get()), B_OK);
	ASSERT_TRUE(recorder->WaitForMessage());
	EXPECT_EQ(recorder->fWhats.front(), uint32('ping') + 1);
}

TEST(Delivery, WasDeliveredIsStateThatTheByteFormDoesNotCarry)
{
	BMessage message('dlvr');
	EXPECT_FALSE(message.WasDelivered());
	message._SetDelivered(true);
	EXPECT_TRUE(message.WasDelivered());
	EXPECT_TRUE(BMessage(message).WasDelivered());

	BMessage unflattened;
	unflattened._SetDelivered(true);
	ASSERT_EQ(unflattened.Unflatten(FlatBytes(message).data()), B_OK);
	EXPECT_FALSE(unflattened.WasDelivered());
	message._SetDelivered(false);
	EXPECT_FALSE(message.WasDelivered());
}

} // namespace
