// Messaging between two real processes: delivery, replies, validity,
// time-outs, peers that send garbage, flood the port or stop, and peers of
// another user.
#include "PeerProcess.h"
#include "RecordingLooper.h"
#include "TestMessages.h"

#include "MessagingPort.h"

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <private/LocalSocket.h>

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>

using namespace messaging_test;
using BPrivate::LocalSocket;

namespace {

struct Subscription {
	BMessenger messenger;
	int32 pid = -1;
};

// Starts a peer in mode and waits for its subscription.
bool StartPeer(RecordingLooper* parent, const char* mode, std::unique_ptr<PeerProcess>* peer,
               Subscription* subscription)
{
	size_t before = parent->Messages().size();
	*peer = std::make_unique<PeerProcess>(
	        std::vector<std::string>{mode, ToHex(BMessenger(parent))});
	if ((*peer)->Pid() <= 0 || !parent->WaitForCount(before + 1))
		return false;
	BMessage message = parent->Messages()[before];
	subscription->pid = message.GetInt32("pid", -1);
	return message.what == kSubscribe &&
	       message.FindMessenger("messenger", &subscription->messenger) == B_OK;
}

// A peer in mode, subscribed to a parent looper of this process, and a
// looper that takes the peer's replies; the peer is killed and both loopers
// quit at the end of the test.
struct PeerSession {
	RecordingLooper* parent = new RecordingLooper("parent");
	RecordingLooper* replies = new RecordingLooper("replies");
	std::unique_ptr<PeerProcess> peer;
	Subscription subscription;

	explicit PeerSession(const char* mode)
	{
		parent->Run();
		replies->Run();
		started = StartPeer(parent, mode, &peer, &subscription);
	}
	~PeerSession()
	{
		peer.reset();
		for (BLooper* looper : {(BLooper*)parent, (BLooper*)replies}) {
			if (looper->Lock())
				looper->Quit();
		}
	}

	bool started = false;
};

// Where a messenger of this process says its port is, and its looper token.
void PortOf(const BMessenger& messenger, std::string* path, int32* looperToken)
{
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	ASSERT_EQ(messenger.Flatten(bytes.data(), ssize_t(bytes.size())), B_OK);
	ASSERT_GT(bytes.size(), 16u);
	memcpy(looperToken, &bytes[8], 4);
	path->assign(bytes.begin() + 16, bytes.end());
}

std::string Frame(const std::string& body)
{
	std::string frame(LocalSocket::kFrameHeaderSize, '\0');
	LocalSocket::WriteFrameHeader(frame.data(), body.size());
	return frame + body;
}

std::string Hello(int32 looperToken)
{
	std::string body = {1, 1, 0, 0};
	body.append(reinterpret_cast<const char*>(&looperToken), 4);
	int32 pid = getpid();
	body.append(reinterpret_cast<const char*>(&pid), 4);
	return Frame(body);
}

std::string MessageFrame(const BMessage& message, int32 handlerToken = -2)
{
	std::string body = {3, 1, 0, 0};
	body.append(reinterpret_cast<const char*>(&handlerToken), 4);
	std::string flat(size_t(message.FlattenedSize()), '\0');
	message.Flatten(flat.data(), ssize_t(flat.size()));
	return Frame(body + flat);
}

// True when the other side closes the connection within a few seconds.
bool HangsUp(const LocalSocket& socket)
{
	std::vector<char> body;
	for (;;) {
		status_t status = socket.ReceiveFrame(&body, 5000000);
		if (status == B_IO_ERROR)
			return true;
		if (status != B_OK)
			return false;
	}
}

} // namespace

TEST(CrossProcess, AThousandMessagesArriveOnceInOrderAndEqual)
{
	auto* parent = new RecordingLooper("parent");
	parent->Run();
	std::unique_ptr<PeerProcess> peer;
	Subscription child;
	ASSERT_TRUE(StartPeer(parent, "subscribe", &peer, &child));
	EXPECT_EQ(child.pid, peer->Pid());
	EXPECT_EQ(child.messenger.Team(), peer->Pid());
	EXPECT_FALSE(child.messenger.IsTargetLocal());
	EXPECT_TRUE(child.messenger.IsValid());

	for (int32 i = 0; i < 1000; i++) {
		BMessage payload = MakePayload(i);
		ASSERT_EQ(child.messenger.SendMessage(&payload), B_OK) << i;
	}
	ASSERT_EQ(child.messenger.SendMessage(kDone), B_OK);
	ASSERT_TRUE(parent->WaitForCount(2));
	BMessage result = parent->Messages()[1];
	EXPECT_EQ(result.what, uint32(kResult));
	EXPECT_EQ(result.GetInt32("received", -1), 1000);
	EXPECT_EQ(result.GetInt32("out_of_order", -1), 0);
	EXPECT_EQ(result.GetInt32("mismatches", -1), 0);

	EXPECT_EQ(peer->Wait(), 0);
	EXPECT_FALSE(child.messenger.IsValid());
	EXPECT_EQ(child.messenger.SendMessage(kPayload), B_BAD_PORT_ID);
	parent->Lock();
	parent->Quit();
}

TEST(CrossProcess, TheSenderIsTheProcessTheKernelNamesNotTheOneItClaims)
{
	auto* parent = new RecordingLooper("parent");
	parent->Run();
	const std::string hex = ToHex(BMessenger(parent));

	// Posted here: from this process.
	ASSERT_EQ(BMessenger(parent).SendMessage(kPayload), B_OK);
	ASSERT_TRUE(parent->WaitForCount(1));
	// A peer that says it is this process, and one that says it is pid 1.
	const int32 claims[] = {int32(getpid()), 1};
	for (size_t index = 0; index < 2; index++) {
		PeerProcess peer({"claim", hex, std::to_string(claims[index])});
		const pid_t pid = peer.Pid();
		ASSERT_EQ(peer.Wait(), 0);
		ASSERT_TRUE(parent->WaitForCount(index + 2));
		BMessage arrived = parent->Messages()[index + 1];
		EXPECT_EQ(arrived.GetInt32("pid", 0), claims[index]);
		EXPECT_TRUE(arrived.IsSourceRemote());
		EXPECT_EQ(arrived._SourceTeam(), pid);
	}
	// A peer's ordinary messenger send.
	std::unique_ptr<PeerProcess> subscriber;
	Subscription subscription;
	ASSERT_TRUE(StartPeer(parent, "subscribe", &subscriber, &subscription));
	const BMessage subscribe = parent->Messages().back();
	EXPECT_TRUE(subscribe.IsSourceRemote());
	EXPECT_EQ(subscribe._SourceTeam(), subscriber->Pid());

	const BMessage local = parent->Messages()[0];
	EXPECT_FALSE(local.IsSourceRemote());
	EXPECT_EQ(local._SourceTeam(), getpid());
	// A copy keeps where the message came from; its bytes never carry it.
	BMessage copy(subscribe);
	EXPECT_TRUE(copy.IsSourceRemote());
	std::vector<char> flat(size_t(subscribe.FlattenedSize()));
	ASSERT_EQ(subscribe.Flatten(flat.data(), ssize_t(flat.size())), B_OK);
	BMessage rebuilt;
	ASSERT_EQ(rebuilt.Unflatten(flat.data(), ssize_t(flat.size())), B_OK);
	EXPECT_FALSE(rebuilt.IsSourceRemote());
	copy.MakeEmpty();
	EXPECT_FALSE(copy.IsSourceRemote());

	subscriber.reset();
	parent->Lock();
	parent->Quit();
}

TEST(CrossProcess, RepliesComeBackAndTheMessengerDiesWithTheLooper)
{
	PeerSession session("echo");
	ASSERT_TRUE(session.started);
	RecordingLooper* replies = session.replies;
	std::unique_ptr<PeerProcess>& peer = session.peer;
	const Subscription& echo = session.subscription;

	BMessage question = MakePayload(17);
	question.what = kEcho;
	ASSERT_EQ(echo.messenger.SendMessage(&question, replies), B_OK);
	ASSERT_TRUE(replies->WaitForCount(1));
	BMessage answer = replies->Messages()[0];
	bool echoed = false;
	EXPECT_EQ(answer.FindBool("echoed", &echoed), B_OK);
	EXPECT_TRUE(echoed);
	answer.RemoveName("echoed");
	EXPECT_TRUE(answer.HasSameData(question));
	EXPECT_TRUE(answer.WasDelivered());

	// The same, waiting for the reply on this thread.
	BMessage syncAnswer;
	ASSERT_EQ(echo.messenger.SendMessage(&question, &syncAnswer, 5000000, 5000000), B_OK);
	syncAnswer.RemoveName("echoed");
	EXPECT_TRUE(syncAnswer.HasSameData(question));

	// The peer's looper quits while its process lives on.
	ASSERT_EQ(echo.messenger.SendMessage(kQuitLooper), B_OK);
	EXPECT_TRUE(Eventually([&] { return !echo.messenger.IsValid(); }));
	EXPECT_TRUE(peer->IsRunning());
	EXPECT_EQ(echo.messenger.SendMessage(kEcho), B_BAD_PORT_ID);

	peer->Kill();
}

TEST(CrossProcess, SendsToAPeerThatStopsReadingTimeOut)
{
	auto* parent = new RecordingLooper("parent");
	parent->Run();
	std::unique_ptr<PeerProcess> peer;
	Subscription stall;
	ASSERT_TRUE(StartPeer(parent, "stall", &peer, &stall));
	ASSERT_EQ(stall.messenger.SendMessage(kStall), B_OK);

	BMessage big(kPayload);
	std::vector<char> raw(256 * 1024, 'x');
	big.AddData("raw", B_RAW_TYPE, raw.data(), ssize_t(raw.size()));
	status_t status = B_OK;
	bigtime_t took = 0;
	for (int i = 0; i < 400 && status == B_OK; i++) {
		bigtime_t start = system_time();
		status = stall.messenger.SendMessage(&big, (BHandler*)NULL, 100000);
		took = system_time() - start;
	}
	EXPECT_EQ(status, B_TIMED_OUT);
	EXPECT_GE(took, 100000);
	EXPECT_LT(took, 10000000);

	peer->Kill();
	EXPECT_TRUE(Eventually([&] { return !stall.messenger.IsValid(); }));
	parent->Lock();
	parent->Quit();
}

TEST(CrossProcess, PeersSendingGarbageAreCutOffAndThePortGoesOn)
{
	auto* parent = new RecordingLooper("parent");
	parent->Run();
	std::string path;
	int32 token = 0;
	PortOf(BMessenger(parent), &path, &token);

	BMessage good('good');
	good.AddString("text", "fine");
	std::string flat = MessageFrame(good);
	std::string badMessage = MessageFrame(good);
	badMessage[8 + 8 + 3] ^= 0x55; // the message's magic number
	std::string wrongKind = MessageFrame(good);
	wrongKind[8] = 2;
	std::string huge(8, '\0');
	LocalSocket::WriteFrameHeader(huge.data(), 0x7fffffff);

	struct Case {
		const char* name;
		std::string hello;
		std::string after;
	} cases[] = {
	        {"garbage instead of a hello", "GARBAGE GARBAGE", ""},
	        {"a hello for a looper that does not exist", Hello(token + 100000), ""},
	        {"a message instead of a hello", flat, ""},
	        {"bytes without a frame", Hello(token), "no frame at all"},
	        {"a frame that is too big", Hello(token), huge},
	        {"a message that does not unflatten", Hello(token), badMessage},
	        {"a frame of the wrong kind", Hello(token), wrongKind},
	        {"half a message, then the end", Hello(token), flat.substr(0, flat.size() / 2)},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		LocalSocket socket;
		ASSERT_EQ(LocalSocket::Connect(path.c_str(), &socket), B_OK);
		ASSERT_EQ(socket.SendAll(item.hello.data(), item.hello.size(), 1000000), B_OK);
		if (!item.after.empty()) {
			std::vector<char> welcome;
			ASSERT_EQ(socket.ReceiveFrame(&welcome, 5000000), B_OK);
			socket.SendAll(item.after.data(), item.after.size(), 1000000);
			if (strstr(item.name, "the end") != NULL)
				shutdown(socket.FD(), SHUT_WR);
		}
		EXPECT_TRUE(HangsUp(socket));
	}

	// A well-behaved peer is still served, and nothing bad got through.
	LocalSocket socket;
	ASSERT_EQ(LocalSocket::Connect(path.c_str(), &socket), B_OK);
	std::string stream = Hello(token);
	ASSERT_EQ(socket.SendAll(stream.data(), stream.size(), 1000000), B_OK);
	std::vector<char> welcome;
	ASSERT_EQ(socket.ReceiveFrame(&welcome, 5000000), B_OK);
	ASSERT_EQ(socket.SendAll(flat.data(), flat.size(), 1000000), B_OK);
	ASSERT_TRUE(parent->WaitForCount(1));
	snooze(50000);
	auto messages = parent->Messages();
	ASSERT_EQ(messages.size(), 1u);
	EXPECT_TRUE(messages[0].HasSameData(good));
	parent->Lock();
	parent->Quit();
	EXPECT_TRUE(HangsUp(socket));
}

TEST(CrossProcess, PeersOfAnotherUserAreRefused)
{
	if (geteuid() != 0)
		GTEST_SKIP() << "needs root to run a peer as another user (uid 65534)";

	char name[] = "/tmp/stria-user-test-XXXXXX";
	ASSERT_NE(mkdtemp(name), nullptr);
	std::string directory = name;
	// Others may pass through the directory and the socket's own mode lets
	// anyone connect: only the credential check stands in the way.
	ASSERT_EQ(chmod(directory.c_str(), 0711), 0);
	ASSERT_EQ(BPrivate::MessagingPort::PublishIn(directory.c_str()), B_OK);
	BPrivate::MessagingPort* port = BPrivate::MessagingPort::Current();
	ASSERT_NE(port, nullptr);
	ASSERT_EQ(chmod(port->Path().c_str(), 0666), 0);
	int64 refusedBefore = port->RefusedPeers();

	auto* parent = new RecordingLooper("parent");
	parent->Run();
	std::string path;
	int32 token = 0;
	PortOf(BMessenger(parent), &path, &token);
	ASSERT_EQ(path, port->Path());

	PeerProcess raw({"raw-as-user", "65534", path, std::to_string(token)});
	EXPECT_EQ(raw.Wait(), 0) << "the port answered a peer of another user";
	// The port counts the refusal once it has hung up on the peer.
	EXPECT_TRUE(Eventually([&] { return port->RefusedPeers() >= refusedBefore + 1; }));

	// The messenger API refuses from its side too: the port belongs to
	// another user than the sender.
	PeerProcess sender({"messenger-as-user", "65534", ToHex(BMessenger(parent))});
	EXPECT_EQ(sender.Wait(), 0) << "a sender talked to another user's port";

	snooze(50000);
	EXPECT_TRUE(parent->Messages().empty());
	parent->Lock();
	parent->Quit();

	std::string runtime;
	ASSERT_EQ(LocalSocket::RuntimeDirectory(&runtime), B_OK);
	ASSERT_EQ(BPrivate::MessagingPort::PublishIn(runtime.c_str()), B_OK);
	std::system(("rm -rf '" + directory + "'").c_str());
}

namespace {

bool IsClosedByPeer(const LocalSocket& socket)
{
	struct pollfd entry = {socket.FD(), POLLIN, 0};
	char byte;
	return poll(&entry, 1, 0) == 1 && recv(socket.FD(), &byte, 1, MSG_DONTWAIT) == 0;
}

// The peer's CPU time, peak memory and accept pauses, asked from this
// thread (whose reply connection the peer already holds).
bool AskUsage(const BMessenger& peer, int64* cpu, int64* maxRssKb, int64* acceptPauses)
{
	BMessage request(kUsage);
	BMessage usage;
	if (peer.SendMessage(&request, &usage, 10000000, 20000000) != B_OK || usage.what != kUsage)
		return false;
	*cpu = usage.GetInt64("cpu", -1);
	*maxRssKb = usage.GetInt64("max_rss_kb", -1);
	*acceptPauses = usage.GetInt64("accept_pauses", -1);
	return true;
}

} // namespace

TEST(MessagePort, SilentConnectionsBeyondTheLimitAndLongWritesBeforeAHelloAreClosed)
{
	auto* parent = new RecordingLooper("parent");
	parent->Run();
	std::string path;
	int32 token = 0;
	PortOf(BMessenger(parent), &path, &token);
	BPrivate::MessagingPort* port = BPrivate::MessagingPort::Current();
	ASSERT_NE(port, nullptr);

	// Before its hello a sender is nobody: nothing longer than a hello is
	// buffered for it.
	std::string promisesMuch(LocalSocket::kFrameHeaderSize, '\0');
	LocalSocket::WriteFrameHeader(promisesMuch.data(), 15 * 1024 * 1024);
	promisesMuch += std::string(64 * 1024, 'x');
	std::string longHello = Hello(token);
	LocalSocket::WriteFrameHeader(longHello.data(), 13);
	longHello += "x";
	const struct Case {
		const char* name;
		std::string bytes;
	} cases[] = {
	        {"a frame promising 15 MiB", promisesMuch},
	        {"a hello one byte too long", longHello},
	        {"a kilobyte without a frame", std::string(1024, 'x')},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		LocalSocket socket;
		ASSERT_EQ(LocalSocket::Connect(path.c_str(), &socket), B_OK);
		// The port may hang up in the middle of the write.
		socket.SendAll(item.bytes.data(), item.bytes.size(), 2000000);
		EXPECT_TRUE(HangsUp(socket));
	}

	// Connections that never say hello: beyond the limit, the ones that
	// have kept silent longest are closed.
	constexpr size_t kOver = 8;
	int64 droppedBefore = port->DroppedSilentPeers();
	std::vector<LocalSocket> silent(BPrivate::MessagingPort::kMaxPendingConnections + kOver);
	for (LocalSocket& socket : silent)
		ASSERT_EQ(LocalSocket::Connect(path.c_str(), &socket), B_OK);
	ASSERT_TRUE(Eventually([&] { return port->DroppedSilentPeers() >= droppedBefore + int64(kOver); }));
	EXPECT_EQ(port->DroppedSilentPeers(), droppedBefore + int64(kOver));
	for (size_t i = 0; i < silent.size(); i++)
		EXPECT_EQ(IsClosedByPeer(silent[i]), i < kOver) << "connection " << i;

	// A sender that says hello is served meanwhile.
	LocalSocket socket;
	ASSERT_EQ(LocalSocket::Connect(path.c_str(), &socket), B_OK);
	std::string hello = Hello(token);
	ASSERT_EQ(socket.SendAll(hello.data(), hello.size(), 1000000), B_OK);
	std::vector<char> welcome;
	EXPECT_EQ(socket.ReceiveFrame(&welcome, 5000000), B_OK);
	parent->Lock();
	parent->Quit();
}

// A process allowed 64 descriptors is flooded with connections: its port
// stops accepting instead of spinning on a listener it cannot take from,
// buffers nothing for senders it does not know, tells nobody the process
// has gone, and serves the sender that waited once descriptors are free.
TEST(MessagePort, AFloodUnderADescriptorLimitNeitherSpinsNorLosesSenders)
{
	PeerSession session("limited");
	ASSERT_TRUE(session.started);
	RecordingLooper* replies = session.replies;
	std::unique_ptr<PeerProcess>& peer = session.peer;
	const Subscription& limited = session.subscription;
	std::string path;
	int32 token = 0;
	PortOf(limited.messenger, &path, &token);

	int64 cpuBefore, rssBefore, pausesBefore;
	ASSERT_TRUE(AskUsage(limited.messenger, &cpuBefore, &rssBefore, &pausesBefore));
	EXPECT_EQ(pausesBefore, 0);

	std::vector<LocalSocket> flood(200);
	std::string bulk(1024 * 1024, 'x');
	for (size_t i = 0; i < flood.size(); i++) {
		ASSERT_EQ(LocalSocket::Connect(path.c_str(), &flood[i], 5000000), B_OK) << i;
		if (i % 20 == 0) {
			// Written as far as the socket takes it, never waiting.
			flood[i].SendAll(bulk.data(), bulk.size(), 0);
		}
	}
	// A real sender arrives while the peer has no descriptor left.
	LocalSocket waiting;
	ASSERT_EQ(LocalSocket::Connect(path.c_str(), &waiting, 5000000), B_OK);
	std::string hello = Hello(token);
	ASSERT_EQ(waiting.SendAll(hello.data(), hello.size(), 1000000), B_OK);
	// Time for a spinning accept thread to show in the peer's CPU time.
	snooze(2000000);

	EXPECT_TRUE(limited.messenger.IsValid());
	int64 cpuAfter, rssAfter, pausesAfter;
	ASSERT_TRUE(AskUsage(limited.messenger, &cpuAfter, &rssAfter, &pausesAfter));
	EXPECT_GT(pausesAfter, 0) << "the flood never exhausted the peer's descriptors";
	// A spinning thread burns most of the two seconds; a waiting one next
	// to nothing. The bounds are generous on purpose.
	EXPECT_LT(cpuAfter - cpuBefore, 700000);
	EXPECT_LT(rssAfter - rssBefore, 64 * 1024);

	flood.clear();
	std::vector<char> welcome;
	EXPECT_EQ(waiting.ReceiveFrame(&welcome, 20000000), B_OK);
	ASSERT_EQ(limited.messenger.SendMessage(kEcho, replies), B_OK);
	EXPECT_TRUE(replies->WaitForCount(1));

	peer->Kill();
}

namespace {

bool IsStopped(pid_t pid)
{
	std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
	std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
	size_t end = text.rfind(')');
	return end != std::string::npos && end + 2 < text.size() && text[end + 2] == 'T';
}

} // namespace

TEST(CrossProcess, ChecksAndZeroTimeOutSendsDoNotWaitForAStoppedPeer)
{
	PeerSession session("echo");
	ASSERT_TRUE(session.started);
	RecordingLooper* replies = session.replies;
	std::unique_ptr<PeerProcess>& peer = session.peer;
	const Subscription& echo = session.subscription;
	ASSERT_EQ(kill(peer->Pid(), SIGSTOP), 0);
	ASSERT_TRUE(Eventually([&] { return IsStopped(peer->Pid()); }));

	// Nothing has been sent to the peer yet: no connection is open, and
	// the stopped process cannot answer a hello.
	std::atomic<bool> valid{false};
	std::atomic<status_t> sent{B_ERROR};
	std::atomic<bool> finished{false};
	std::thread caller([&] {
		valid = echo.messenger.IsValid();
		BMessage question(kEcho);
		sent = echo.messenger.SendMessage(&question, replies, 0);
		finished = true;
	});
	// A watchdog only: the calls must come back at all while the peer
	// stays stopped.
	bool returned = Eventually([&] { return finished.load(); }, 60);
	kill(peer->Pid(), SIGCONT);
	caller.join();
	EXPECT_TRUE(returned);
	EXPECT_TRUE(valid.load()) << "a stopped process is not a gone one";
	EXPECT_EQ(sent.load(), B_WOULD_BLOCK);

	// Running again, it is reached as before.
	ASSERT_EQ(echo.messenger.SendMessage(kEcho, replies), B_OK);
	EXPECT_TRUE(replies->WaitForCount(1));
	EXPECT_TRUE(echo.messenger.IsValid());

	peer->Kill();
	EXPECT_TRUE(Eventually([&] { return !echo.messenger.IsValid(); }));
}
