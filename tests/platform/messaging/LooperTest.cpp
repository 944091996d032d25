// Loopers: the lock, the queue, handlers, quitting, and BApplication.
#include "RecordingLooper.h"

#include <Application.h>
#include <Autolock.h>
#include <Handler.h>
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace messaging_test;

namespace {

// Deletes a looper that never ran, the way the platform wants it: locked,
// then Quit.
void Dispose(BLooper* looper)
{
	if (looper->Lock())
		looper->Quit();
}

status_t LockFromOtherThread(BLooper* looper, bigtime_t timeout, bigtime_t* waited = nullptr,
                             bool unlockAfter = true)
{
	status_t status = B_ERROR;
	std::thread other([&] {
		bigtime_t start = system_time();
		status = looper->LockWithTimeout(timeout);
		if (waited != nullptr)
			*waited = system_time() - start;
		if (status == B_OK && unlockAfter)
			looper->Unlock();
	});
	other.join();
	return status;
}

} // namespace

TEST(LooperLock, IsHeldByTheConstructingThreadUntilRun)
{
	auto* looper = new RecordingLooper;
	EXPECT_TRUE(looper->IsLocked());
	EXPECT_EQ(looper->CountLocks(), 1);
	EXPECT_EQ(looper->LockingThread(), find_thread(NULL));
	EXPECT_EQ(LockFromOtherThread(looper, 0), B_WOULD_BLOCK);

	looper->Run();
	EXPECT_FALSE(looper->IsLocked());
	EXPECT_EQ(LockFromOtherThread(looper, 2000000), B_OK);
	Dispose(looper);
}

TEST(LooperLock, IsRecursiveAndOnlyTheOwnerReleasesIt)
{
	auto* looper = new RecordingLooper;
	ASSERT_TRUE(looper->Lock());
	EXPECT_EQ(looper->CountLocks(), 2);

	// Another thread neither gets the lock nor can release it.
	bigtime_t waited = 0;
	EXPECT_EQ(LockFromOtherThread(looper, 50000, &waited), B_TIMED_OUT);
	EXPECT_GE(waited, 50000);
	EXPECT_LT(waited, 5000000);
	std::thread([&] {
		EXPECT_FALSE(looper->IsLocked());
		looper->Unlock();
	}).join();
	EXPECT_EQ(looper->CountLocks(), 2);

	looper->Unlock();
	EXPECT_TRUE(looper->IsLocked());
	EXPECT_EQ(LockFromOtherThread(looper, 20000), B_TIMED_OUT);
	looper->Unlock();
	EXPECT_FALSE(looper->IsLocked());
	EXPECT_EQ(looper->LockingThread(), B_ERROR);

	// Held elsewhere, it is this thread that waits.
	std::atomic<bool> held{false};
	std::atomic<bool> release{false};
	std::thread holder([&] {
		looper->Lock();
		held = true;
		while (!release)
			snooze(1000);
		looper->Unlock();
	});
	ASSERT_TRUE(Eventually([&] { return held.load(); }));
	EXPECT_EQ(looper->LockWithTimeout(30000), B_TIMED_OUT);
	release = true;
	EXPECT_EQ(looper->LockWithTimeout(5000000), B_OK);
	holder.join();
	looper->Quit();
}

TEST(LooperLock, WaitersFailWhenTheLooperIsDeleted)
{
	auto* looper = new RecordingLooper;
	BMessenger messenger(looper);
	std::atomic<int> result{-1};
	std::thread waiter([&] { result = messenger.LockTarget() ? 1 : 0; });
	snooze(50000);
	EXPECT_EQ(result.load(), -1);
	looper->Quit();
	waiter.join();
	EXPECT_EQ(result.load(), 0);
}

namespace {

// The ways a thread can wait for a looper's lock.
enum class LockPath { kLock, kLockWithTimeout, kAutolock, kLockTarget, kLockLooper };

bool LockBy(LockPath path, BLooper* looper, const BMessenger& messenger, BHandler* handler)
{
	switch (path) {
	case LockPath::kLock:
		if (!looper->Lock())
			return false;
		break;
	case LockPath::kLockWithTimeout:
		if (looper->LockWithTimeout(60000000) != B_OK)
			return false;
		break;
	case LockPath::kAutolock: {
		BAutolock lock(looper);
		return lock.IsLocked();
	}
	case LockPath::kLockTarget:
		if (!messenger.LockTarget())
			return false;
		break;
	case LockPath::kLockLooper:
		if (!handler->LockLooper())
			return false;
		handler->UnlockLooper();
		return true;
	}
	looper->Unlock();
	return true;
}

// Counts up; threads wait until it reaches a value.
class Count {
public:
	void Add()
	{
		std::lock_guard<std::mutex> guard(fLock);
		fValue++;
		fChanged.notify_all();
	}
	void WaitFor(int value)
	{
		std::unique_lock<std::mutex> guard(fLock);
		fChanged.wait(guard, [&] { return fValue >= value; });
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	int fValue = 0;
};

} // namespace

// Many threads wait for the lock of loopers that are deleted while they
// wait: either the looper quits from its own thread, holding the lock, or
// it never ran and its constructing thread deletes it. Every waiter must
// fail, and none may touch the freed looper (the sanitizer builds watch).
TEST(LooperLock, WaitersFailWhenTheLooperQuitsOrIsDeletedMeanwhile)
{
	constexpr int kWaiters = 12;
	const struct Case {
		const char* name;
		LockPath path;
	} paths[] = {
	        {"Lock", LockPath::kLock},
	        {"LockWithTimeout", LockPath::kLockWithTimeout},
	        {"BAutolock", LockPath::kAutolock},
	        {"BMessenger::LockTarget", LockPath::kLockTarget},
	        {"BHandler::LockLooper", LockPath::kLockLooper},
	};
	for (bool quitsItself : {true, false}) {
		for (const Case& item : paths) {
			// Many loopers for the plain Lock; the other paths share its
			// waiting and need fewer.
			const int kLoopers = item.path == LockPath::kLock ? 40 : 8;
			SCOPED_TRACE(std::string(item.name) +
			             (quitsItself ? ", quits itself" : ", deleted before Run"));
			std::vector<std::unique_ptr<BHandler>> handlers;
			std::vector<std::thread> waiters;
			Count started;
			std::atomic<int> locked{0};
			std::atomic<int> deleted{0};
			Count dispatching;
			// Every looper exists, holding its lock, before the first waiter
			// starts: no looper is made at the address of a deleted one.
			std::vector<BLooper*> loopers;
			for (int i = 0; i < kLoopers; i++) {
				auto* looper = new RecordingLooper("doomed");
				handlers.push_back(std::make_unique<BHandler>("handler"));
				looper->AddHandler(handlers.back().get());
				loopers.push_back(looper);
				if (quitsItself) {
					// The looper's thread holds the lock from the moment it
					// takes the message until it has deleted the looper.
					looper->onMessage = [&](RecordingLooper* self, BMessage*) {
						dispatching.Add();
						started.WaitFor(kLoopers * kWaiters);
						snooze(1000);
						self->Quit();
						deleted++;
					};
					looper->Run();
					looper->PostMessage('quit');
					dispatching.WaitFor(i + 1);
				}
			}
			for (int i = 0; i < kLoopers; i++) {
				BLooper* looper = loopers[size_t(i)];
				BMessenger messenger(looper);
				BHandler* handler = handlers[size_t(i)].get();
				for (int w = 0; w < kWaiters; w++) {
					waiters.emplace_back([&, looper, messenger, handler] {
						started.Add();
						if (LockBy(item.path, looper, messenger, handler))
							locked++;
					});
				}
			}
			if (!quitsItself) {
				// Still held by this thread since construction.
				started.WaitFor(kLoopers * kWaiters);
				snooze(1000);
				for (BLooper* looper : loopers) {
					looper->Quit();
					deleted++;
				}
			}
			for (std::thread& waiter : waiters)
				waiter.join();
			EXPECT_EQ(deleted.load(), kLoopers);
			EXPECT_EQ(locked.load(), 0);
		}
	}
}

TEST(LooperLock, ADispatchWaitsWhileAnotherThreadHoldsTheLock)
{
	auto* looper = new RecordingLooper;
	looper->Run();
	ASSERT_TRUE(looper->Lock());
	looper->PostMessage('held');
	snooze(50000);
	EXPECT_TRUE(looper->Messages().empty());
	looper->Unlock();
	EXPECT_TRUE(looper->WaitForCount(1));
	Dispose(looper);
}

TEST(LooperQueue, MessagesArriveInOrderOnTheLoopersThread)
{
	auto* looper = new RecordingLooper;
	thread_id thread = looper->Run();
	ASSERT_GT(thread, 0);
	EXPECT_EQ(looper->Thread(), thread);

	for (int32 i = 0; i < 150; i++) {
		BMessage message('ordr');
		message.AddInt32("index", i);
		ASSERT_EQ(looper->PostMessage(&message), B_OK);
	}
	ASSERT_TRUE(looper->WaitForCount(150));
	auto messages = looper->Messages();
	for (int32 i = 0; i < 150; i++)
		EXPECT_EQ(messages[size_t(i)].GetInt32("index", -1), i);
	for (thread_id handledOn : looper->Threads())
		EXPECT_EQ(handledOn, thread);
	EXPECT_NE(thread, find_thread(NULL));
	Dispose(looper);
}

TEST(LooperQueue, EachSendersMessagesStayInOrder)
{
	auto* looper = new RecordingLooper("recorder", 1000);
	looper->Run();
	constexpr int32 kPerSender = 200;
	auto send = [&](int32 sender) {
		BMessenger messenger(looper);
		for (int32 i = 0; i < kPerSender; i++) {
			BMessage message('ordr');
			message.AddInt32("sender", sender);
			message.AddInt32("index", i);
			EXPECT_EQ(messenger.SendMessage(&message), B_OK);
		}
	};
	std::thread first(send, 0);
	std::thread second(send, 1);
	first.join();
	second.join();
	ASSERT_TRUE(looper->WaitForCount(2 * kPerSender));
	int32 next[2] = {0, 0};
	for (const BMessage& message : looper->Messages()) {
		int32 sender = message.GetInt32("sender", -1);
		ASSERT_TRUE(sender == 0 || sender == 1);
		EXPECT_EQ(message.GetInt32("index", -1), next[sender]++);
	}
	Dispose(looper);
}

TEST(LooperQueue, PostMessageSendsACopy)
{
	auto* looper = new RecordingLooper;
	looper->Run();
	BMessage message('copy');
	message.AddString("text", "before");
	ASSERT_EQ(looper->PostMessage(&message), B_OK);
	message.ReplaceString("text", "after");
	ASSERT_TRUE(looper->WaitForCount(1));
	const char* text = NULL;
	BMessage received = looper->Messages()[0];
	ASSERT_EQ(received.FindString("text", &text), B_OK);
	EXPECT_STREQ(text, "before");
	Dispose(looper);
}

TEST(LooperQueue, AFullQueueRefusesPostsUntilTheLoopTakesThem)
{
	auto* looper = new RecordingLooper("small", 3);
	for (int32 i = 0; i < 3; i++)
		EXPECT_EQ(looper->PostMessage('fill'), B_OK);
	EXPECT_EQ(looper->PostMessage('over'), B_WOULD_BLOCK);
	BMessenger messenger(looper);
	BMessage extra('wait');
	bigtime_t start = system_time();
	EXPECT_EQ(messenger.SendMessage(&extra, (BHandler*)NULL, 30000), B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 30000);

	looper->Run();
	ASSERT_TRUE(looper->WaitForCount(3));
	EXPECT_EQ(looper->PostMessage('more'), B_OK);
	ASSERT_TRUE(looper->WaitForCount(4));
	for (const BMessage& message : looper->Messages())
		EXPECT_NE(message.what, uint32('over'));
	Dispose(looper);
}

class NamedHandler : public BHandler {
public:
	explicit NamedHandler(const char* name) : BHandler(name) {}
	void MessageReceived(BMessage* message) override { received.push_back(message->what); }
	std::vector<uint32> received;
};

TEST(LooperHandlers, MessagesReachTheHandlerTheyAreSentTo)
{
	auto* looper = new RecordingLooper;
	NamedHandler target("target");
	NamedHandler preferred("preferred");
	NamedHandler stranger("stranger");
	looper->AddHandler(&target);
	looper->AddHandler(&preferred);
	EXPECT_EQ(looper->CountHandlers(), 3);
	EXPECT_EQ(looper->HandlerAt(0), looper);
	EXPECT_EQ(looper->HandlerAt(3), nullptr);
	EXPECT_EQ(target.Looper(), looper);

	auto* other = new RecordingLooper("other");
	NamedHandler foreign("foreign");
	other->AddHandler(&foreign);

	struct Case {
		BHandler* handler;
		status_t expected;
	} cases[] = {
	        {&target, B_OK},
	        {&stranger, B_BAD_HANDLER},
	        {&foreign, B_MISMATCHED_VALUES},
	};
	for (const Case& item : cases)
		EXPECT_EQ(looper->PostMessage('to_h', item.handler), item.expected) << item.handler->Name();

	// No handler: the preferred handler, or the looper while there is none.
	looper->PostMessage('nopf', NULL);
	looper->Run();
	ASSERT_TRUE(looper->WaitForCount(1));
	ASSERT_TRUE(looper->Lock());
	looper->SetPreferredHandler(&preferred);
	looper->Unlock();
	looper->PostMessage('pref', NULL);
	looper->PostMessage('self');
	ASSERT_TRUE(looper->WaitForCount(2));
	ASSERT_TRUE(looper->Lock());
	EXPECT_EQ(target.received, std::vector<uint32>{'to_h'});
	EXPECT_EQ(preferred.received, std::vector<uint32>{'pref'});
	auto mine = looper->Messages();
	ASSERT_EQ(mine.size(), 2u);
	EXPECT_EQ(mine[0].what, uint32('nopf'));
	EXPECT_EQ(mine[1].what, uint32('self'));

	// A removed handler no longer gets what was addressed to it.
	BMessenger toTarget(&target);
	EXPECT_TRUE(looper->RemoveHandler(&target));
	EXPECT_FALSE(looper->RemoveHandler(&target));
	EXPECT_FALSE(looper->RemoveHandler(looper));
	EXPECT_EQ(target.Looper(), nullptr);
	looper->Unlock();
	EXPECT_EQ(toTarget.SendMessage('gone'), B_OK);
	looper->PostMessage('last');
	ASSERT_TRUE(looper->WaitForCount(3));
	EXPECT_EQ(target.received, std::vector<uint32>{'to_h'});

	looper->Lock();
	looper->RemoveHandler(&preferred);
	looper->Quit();
	other->RemoveHandler(&foreign);
	other->Quit();
}

TEST(LooperQuit, QuitFromTheLoopersThreadFinishesTheMessageAndDeletesIt)
{
	std::atomic<bool> deleted{false};
	auto* looper = new RecordingLooper("quitter", 200, &deleted);
	looper->onMessage = [](RecordingLooper* self, BMessage* message) {
		if (message->what == 'quit')
			self->Quit();
	};
	BMessenger messenger(looper);
	looper->Run();
	ASSERT_TRUE(messenger.IsValid());
	// The looper may be gone as soon as 'quit' is handled: only the
	// messenger may be used from here on.
	messenger.SendMessage('quit');
	messenger.SendMessage('late');
	ASSERT_TRUE(Eventually([&] { return deleted.load(); }));
	EXPECT_FALSE(messenger.IsValid());
	EXPECT_EQ(messenger.SendMessage('more'), B_BAD_PORT_ID);
	BLooper* target = looper;
	EXPECT_EQ(messenger.Target(&target), nullptr);
	EXPECT_EQ(target, nullptr);
	EXPECT_FALSE(messenger.LockTarget());
}

TEST(LooperQuit, QuitFromAnotherThreadHandlesWhatWasQueuedAndWaits)
{
	std::atomic<bool> deleted{false};
	std::atomic<int32> handled{0};
	auto* looper = new RecordingLooper("quitter", 200, &deleted);
	looper->onMessage = [&](RecordingLooper*, BMessage*) {
		snooze(200);
		handled++;
	};
	looper->Run();
	for (int32 i = 0; i < 50; i++)
		ASSERT_EQ(looper->PostMessage('work'), B_OK);
	BMessenger messenger(looper);
	ASSERT_TRUE(looper->Lock());
	looper->Quit();
	EXPECT_TRUE(deleted.load());
	EXPECT_EQ(handled.load(), 50);
	EXPECT_FALSE(messenger.IsValid());
}

class Reluctant : public RecordingLooper {
public:
	explicit Reluctant(std::atomic<bool>* deleted) : RecordingLooper("reluctant", 200, deleted) {}
	bool QuitRequested() override { return agree.load(); }
	std::atomic<bool> agree{false};
};

TEST(LooperQuit, QuitRequestedDecidesOnBQuitRequested)
{
	std::atomic<bool> deleted{false};
	auto* looper = new Reluctant(&deleted);
	looper->Run();
	BMessenger messenger(looper);
	ASSERT_EQ(messenger.SendMessage(B_QUIT_REQUESTED), B_OK);
	ASSERT_EQ(messenger.SendMessage('mark'), B_OK);
	ASSERT_TRUE(looper->WaitForCount(1));
	EXPECT_FALSE(deleted.load());
	looper->agree = true;
	ASSERT_EQ(messenger.SendMessage(B_QUIT_REQUESTED), B_OK);
	ASSERT_TRUE(Eventually([&] { return deleted.load(); }));
}

TEST(LooperQuit, QuitBeforeRunDeletesAtOnce)
{
	std::atomic<bool> deleted{false};
	auto* looper = new RecordingLooper("unrun", 200, &deleted);
	looper->PostMessage('lost');
	looper->Quit();
	EXPECT_TRUE(deleted.load());
}

TEST(LooperMessages, CurrentMessageCanBeDetached)
{
	auto* looper = new RecordingLooper;
	std::atomic<BMessage*> detached{nullptr};
	std::atomic<bool> sawCurrent{false};
	looper->onMessage = [&](RecordingLooper* self, BMessage* message) {
		sawCurrent = self->CurrentMessage() == message;
		if (message->what == 'keep')
			detached = self->DetachCurrentMessage();
	};
	looper->PostMessage('keep');
	looper->Run();
	ASSERT_TRUE(looper->WaitForCount(1));
	EXPECT_TRUE(sawCurrent.load());
	ASSERT_NE(detached.load(), nullptr);
	EXPECT_EQ(detached.load()->what, uint32('keep'));
	EXPECT_TRUE(detached.load()->WasDelivered());
	delete detached.load();
	Dispose(looper);
}

TEST(LooperMessages, ReplyHandlerGetsTheReply)
{
	auto* server = new RecordingLooper("server");
	std::atomic<status_t> noTargetReply{B_OK};
	server->onMessage = [&](RecordingLooper*, BMessage* message) {
		BMessage reply('pong');
		reply.AddInt32("of", message->GetInt32("n", -1));
		if (message->what == 'ping')
			message->SendReply(&reply);
		else
			noTargetReply = message->SendReply(&reply);
	};
	auto* client = new RecordingLooper("client");
	NamedHandler replies("replies");
	client->AddHandler(&replies);
	server->Run();
	client->Run();

	BMessenger toServer(server);
	BMessage ping('ping');
	ping.AddInt32("n", 7);
	ASSERT_EQ(toServer.SendMessage(&ping, client), B_OK);
	ASSERT_TRUE(client->WaitForCount(1));
	BMessage reply = client->Messages()[0];
	EXPECT_EQ(reply.what, uint32('pong'));
	EXPECT_EQ(reply.GetInt32("of", -1), 7);

	// To a handler of the client, through a messenger.
	ASSERT_EQ(toServer.SendMessage(&ping, BMessenger(&replies)), B_OK);
	ASSERT_TRUE(Eventually([&] {
		client->Lock();
		bool arrived = replies.received.size() == 1;
		client->Unlock();
		return arrived;
	}));

	// Without a reply target (and without be_app) there is nobody to reply
	// to.
	ASSERT_EQ(toServer.SendMessage('none'), B_OK);
	ASSERT_TRUE(server->WaitForCount(3));
	EXPECT_EQ(noTargetReply.load(), B_BAD_REPLY);

	client->Lock();
	client->RemoveHandler(&replies);
	client->Quit();
	Dispose(server);
}

class TestApplication : public BApplication {
public:
	TestApplication() : BApplication("application/x-vnd.stria-test") {}
	void ReadyToRun() override
	{
		events.push_back('rdy!');
		ready = true;
	}
	void MessageReceived(BMessage* message) override
	{
		events.push_back(message->what);
		threads.push_back(find_thread(NULL));
	}
	std::vector<uint32> events;
	std::vector<thread_id> threads;
	std::atomic<bool> ready{false};
};

TEST(Application, RunsOnTheCallingThreadUntilQuit)
{
	TestApplication app;
	EXPECT_EQ(be_app, &app);
	EXPECT_TRUE(be_app_messenger.IsValid());
	app.PostMessage('frst');
	std::thread quitter([&] {
		Eventually([&] { return app.ready.load(); });
		BMessenger messenger(be_app_messenger);
		messenger.SendMessage('scnd');
		snooze(20000);
		be_app->Quit();
	});
	EXPECT_EQ(app.Run(), find_thread(NULL));
	quitter.join();
	EXPECT_EQ(app.events, (std::vector<uint32>{'frst', 'rdy!', 'scnd'}));
	for (thread_id thread : app.threads)
		EXPECT_EQ(thread, find_thread(NULL));
}

TEST(Application, BQuitRequestedEndsRunAndRepliesGoToBeApp)
{
	TestApplication app;
	auto* server = new RecordingLooper("server");
	server->onMessage = [](RecordingLooper*, BMessage* message) { message->SendReply('rply'); };
	server->Run();
	// With no reply handler, replies go to be_app.
	BMessenger(server).SendMessage('ask!');
	std::thread quitter([&] {
		server->WaitForCount(1);
		snooze(20000);
		be_app_messenger.SendMessage(B_QUIT_REQUESTED);
	});
	app.Run();
	quitter.join();
	// The reply may come before or after ReadyToRun.
	std::sort(app.events.begin(), app.events.end());
	EXPECT_EQ(app.events, (std::vector<uint32>{'rdy!', 'rply'}));
	Dispose(server);
}

TEST(LooperMessages, SynchronousSendsWaitForTheReply)
{
	auto* server = new RecordingLooper("server");
	std::atomic<BMessage*> kept{nullptr};
	server->onMessage = [&](RecordingLooper* self, BMessage* message) {
		switch (message->what) {
		case 'echo': {
			BMessage reply('rply');
			reply.AddInt32("n", message->GetInt32("n", -1));
			message->SendReply(&reply);
			break;
		}
		case 'keep':
			// Held back, and answered only with the next message.
			kept = self->DetachCurrentMessage();
			break;
		case 'late': {
			std::unique_ptr<BMessage> held(kept.exchange(nullptr));
			if (held)
				held->SendReply('old!');
			BMessage reply('rply');
			reply.AddInt32("n", message->GetInt32("n", -1));
			message->SendReply(&reply);
			break;
		}
		case 'self': {
			BMessage answer;
			BMessenger me(self);
			BMessage inner('echo');
			int32 status = me.SendMessage(&inner, &answer);
			BMessage reply('rply');
			reply.AddInt32("status", status);
			message->SendReply(&reply);
			break;
		}
		default:
			// Handled without a reply.
			break;
		}
	};
	server->Run();
	BMessenger target(server);

	struct Case {
		uint32 what;
		int32 n;
		bigtime_t replyTimeout;
		status_t expectedStatus;
		uint32 expectedReply;
	} cases[] = {
	        {'echo', 1, B_INFINITE_TIMEOUT, B_OK, 'rply'},
	        {'mute', 2, B_INFINITE_TIMEOUT, B_OK, B_NO_REPLY},
	        {'keep', 3, 50000, B_TIMED_OUT, 0},
	        // The late answer to 'keep' arrives first and is not taken for this
	        // one's.
	        {'late', 4, B_INFINITE_TIMEOUT, B_OK, 'rply'},
	        {'echo', 5, 5000000, B_OK, 'rply'},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.n);
		BMessage message(item.what);
		message.AddInt32("n", item.n);
		BMessage reply;
		EXPECT_EQ(target.SendMessage(&message, &reply, B_INFINITE_TIMEOUT, item.replyTimeout),
		          item.expectedStatus);
		if (item.expectedStatus == B_OK) {
			EXPECT_EQ(reply.what, item.expectedReply);
			if (item.expectedReply == 'rply') {
				EXPECT_EQ(reply.GetInt32("n", -1), item.n);
			}
		}
	}

	// From the looper's own thread it would wait for ever.
	BMessage answer;
	ASSERT_EQ(target.SendMessage('self', &answer), B_OK);
	EXPECT_EQ(answer.GetInt32("status", 0), B_MESSAGE_TO_SELF);
	Dispose(server);
	delete kept.load();
}
