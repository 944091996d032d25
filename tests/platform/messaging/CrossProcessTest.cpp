// Messaging between two real processes: delivery, replies, validity,
// time-outs, peers that send garbage and peers of another user.
#include "PeerProcess.h"
#include "RecordingLooper.h"
#include "TestMessages.h"

#include "MessagingPort.h"

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <private/LocalSocket.h>

#include <gtest/gtest.h>

#include <cstring>
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

TEST(CrossProcess, RepliesComeBackAndTheMessengerDiesWithTheLooper)
{
	auto* parent = new RecordingLooper("parent");
	auto* replies = new RecordingLooper("replies");
	parent->Run();
	replies->Run();
	std::unique_ptr<PeerProcess> peer;
	Subscription echo;
	ASSERT_TRUE(StartPeer(parent, "echo", &peer, &echo));

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
	parent->Lock();
	parent->Quit();
	replies->Lock();
	replies->Quit();
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
