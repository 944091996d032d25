// Messengers: their byte form, comparisons and what they say about their
// target in this process.
#include "RecordingLooper.h"

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

using namespace messaging_test;

namespace {

std::vector<char> Bytes(const BMessenger& messenger)
{
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	EXPECT_EQ(messenger.Flatten(bytes.data(), ssize_t(bytes.size())), B_OK);
	return bytes;
}

// A byte form built by hand: version, flags, path, team and tokens.
std::vector<char> Form(uint8 version, uint8 flags, int32 team, int32 looper, int32 handler,
                       const std::string& path, int pathLengthDelta = 0)
{
	std::vector<char> bytes(16 + path.size());
	bytes[0] = char(version);
	bytes[1] = char(flags);
	uint16 length = uint16(int(path.size()) + pathLengthDelta);
	memcpy(&bytes[2], &length, 2);
	memcpy(&bytes[4], &team, 4);
	memcpy(&bytes[8], &looper, 4);
	memcpy(&bytes[12], &handler, 4);
	memcpy(bytes.data() + 16, path.data(), path.size());
	return bytes;
}

const std::string kForeignPort = "/tmp/stria-test/port-1-0000000000000001";

} // namespace

TEST(MessengerBytes, RoundTripsKeepTheTarget)
{
	auto* looper = new RecordingLooper;
	BHandler handler("handler");
	looper->AddHandler(&handler);

	BMessenger foreign;
	ASSERT_EQ(foreign.Unflatten(Form(1, 1, 1, 42, 43, kForeignPort).data(),
	                            ssize_t(16 + kForeignPort.size())),
	          B_OK);

	struct Case {
		const char* name;
		BMessenger messenger;
		bool local;
	} cases[] = {
	        {"no target", BMessenger(), false},
	        {"looper", BMessenger(looper), true},
	        {"preferred handler", BMessenger(NULL, looper), true},
	        {"handler", BMessenger(&handler), true},
	        {"other process", foreign, false},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		std::vector<char> bytes = Bytes(item.messenger);
		BMessenger rebuilt(looper);
		ASSERT_EQ(rebuilt.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);
		EXPECT_TRUE(rebuilt == item.messenger);
		EXPECT_FALSE(rebuilt < item.messenger || item.messenger < rebuilt);
		EXPECT_EQ(rebuilt.IsTargetLocal(), item.local);
		EXPECT_EQ(rebuilt.IsValid(), item.local);
		EXPECT_EQ(Bytes(rebuilt), bytes);
	}

	// A messenger of this process tells others how to reach it.
	std::vector<char> bytes = Bytes(BMessenger(looper));
	ASSERT_GT(bytes.size(), 16u);
	EXPECT_EQ(bytes[16], '/');
	int32 team;
	memcpy(&team, &bytes[4], 4);
	EXPECT_EQ(team, int32(getpid()));

	looper->RemoveHandler(&handler);
	looper->Quit();
}

TEST(MessengerBytes, MalformedFormsAreRefusedAndChangeNothing)
{
	std::string tooLong = "/" + std::string(107, 'x');
	std::string withZero = std::string("/tmp/a\0b", 8);
	struct Case {
		const char* name;
		std::vector<char> bytes;
	} cases[] = {
	        {"empty", {}},
	        {"shorter than the fixed part", std::vector<char>(15, 0)},
	        {"version 0", Form(0, 1, 1, 5, 5, kForeignPort)},
	        {"version 2", Form(2, 1, 1, 5, 5, kForeignPort)},
	        {"unknown flag", Form(1, 5, 1, 5, 5, kForeignPort)},
	        {"reply slot without a target", Form(1, 2, 0, 0, 0, "")},
	        {"path longer than said", Form(1, 1, 1, 5, 5, kForeignPort, -1)},
	        {"path shorter than said", Form(1, 1, 1, 5, 5, kForeignPort, 1)},
	        {"path too long for a socket", Form(1, 1, 1, 5, 5, tooLong)},
	        {"relative path", Form(1, 1, 1, 5, 5, "tmp/port")},
	        {"zero byte in the path", Form(1, 1, 1, 5, 5, withZero)},
	        {"team 0", Form(1, 1, 0, 5, 5, kForeignPort)},
	        {"negative team", Form(1, 1, -4, 5, 5, kForeignPort)},
	        {"looper token 0", Form(1, 1, 1, 0, 5, kForeignPort)},
	        {"handler token -1", Form(1, 1, 1, 5, -1, kForeignPort)},
	        {"no target but a team", Form(1, 0, 7, 0, 0, "")},
	        {"no target but a path", Form(1, 0, 0, 0, 0, "/x")},
	};
	auto* looper = new RecordingLooper;
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		BMessenger messenger(looper);
		BMessenger before(messenger);
		EXPECT_NE(messenger.Unflatten(item.bytes.data(), ssize_t(item.bytes.size())), B_OK);
		EXPECT_TRUE(messenger == before);
		EXPECT_TRUE(messenger.IsValid());
	}
	BMessenger messenger;
	EXPECT_EQ(messenger.Unflatten(NULL, 16), B_BAD_VALUE);
	looper->Quit();
}

TEST(MessengerBytes, TheTeamABytesFormClaimsNeverMakesAnotherTarget)
{
	// A messenger is where its port leads. This process's own port with any
	// process id is this process's looper; another port with any id is the
	// same target as with the id it first came with.
	auto* looper = new RecordingLooper;
	const BMessenger own(NULL, looper);
	std::vector<char> ownBytes = Bytes(own);
	const std::string ownPort(ownBytes.begin() + 16, ownBytes.end());
	int32 token;
	memcpy(&token, &ownBytes[8], 4);

	BMessenger foreign;
	std::vector<char> foreignForm = Form(1, 1, 77, 42, -2, kForeignPort);
	ASSERT_EQ(foreign.Unflatten(foreignForm.data(), ssize_t(foreignForm.size())), B_OK);

	const struct {
		const char* name;
		std::vector<char> bytes;
		const BMessenger* sameAs;
		bool local;
		int32 team;
	} cases[] = {
	        {"own port, own id", Form(1, 1, getpid(), token, -2, ownPort), &own, true, getpid()},
	        {"own port, made-up id", Form(1, 1, 4242, token, -2, ownPort), &own, true, getpid()},
	        {"own port, id 1", Form(1, 1, 1, token, -2, ownPort), &own, true, getpid()},
	        {"own id without a port", Form(1, 1, getpid(), token, -2, ""), &own, true, getpid()},
	        {"foreign port, another id", Form(1, 1, 78, 42, -2, kForeignPort), &foreign, false, 78},
	        {"foreign port, own id", Form(1, 1, getpid(), 42, -2, kForeignPort), &foreign, false,
	         getpid()},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		BMessenger messenger;
		ASSERT_EQ(messenger.Unflatten(c.bytes.data(), ssize_t(c.bytes.size())), B_OK);
		EXPECT_TRUE(messenger == *c.sameAs);
		EXPECT_FALSE(messenger < *c.sameAs || *c.sameAs < messenger);
		EXPECT_EQ(messenger.IsTargetLocal(), c.local);
		EXPECT_EQ(messenger.Team(), c.team);
	}
	// Other tokens, another port, or no port and another id: other targets.
	for (const std::vector<char>& bytes :
	     {Form(1, 1, getpid(), token, token, ownPort), Form(1, 1, 77, 43, -2, kForeignPort),
	      Form(1, 1, 77, 42, -2, kForeignPort + "x"), Form(1, 1, 4242, token, -2, "")}) {
		BMessenger messenger;
		ASSERT_EQ(messenger.Unflatten(bytes.data(), ssize_t(bytes.size())), B_OK);
		EXPECT_TRUE(messenger != own && messenger != foreign);
	}
	looper->Quit();
}

TEST(MessengerBytes, FlattenNeedsRoomForThePath)
{
	BMessenger foreign;
	std::vector<char> form = Form(1, 1, 1, 42, 43, kForeignPort);
	ASSERT_EQ(foreign.Unflatten(form.data(), ssize_t(form.size())), B_OK);
	ASSERT_EQ(foreign.FlattenedSize(), ssize_t(form.size()));
	std::vector<char> buffer(form.size());
	EXPECT_EQ(foreign.Flatten(buffer.data(), ssize_t(form.size() - 1)), B_BAD_VALUE);
	EXPECT_EQ(foreign.Flatten(buffer.data(), ssize_t(form.size())), B_OK);
	EXPECT_EQ(buffer, form);
}

TEST(MessengerBytes, TravelInsideMessages)
{
	auto* looper = new RecordingLooper;
	BMessage message('msgr');
	ASSERT_EQ(message.AddMessenger("messenger", BMessenger(looper)), B_OK);
	std::vector<char> flat(size_t(message.FlattenedSize()));
	ASSERT_EQ(message.Flatten(flat.data(), ssize_t(flat.size())), B_OK);
	BMessage rebuilt;
	ASSERT_EQ(rebuilt.Unflatten(flat.data(), ssize_t(flat.size())), B_OK);
	BMessenger found;
	ASSERT_EQ(rebuilt.FindMessenger("messenger", &found), B_OK);
	EXPECT_TRUE(found == BMessenger(looper));
	EXPECT_TRUE(found.IsTargetLocal());
	EXPECT_TRUE(found.IsValid());
	looper->Quit();
	EXPECT_FALSE(found.IsValid());
}

TEST(Messenger, ConstructionChecksHandlerAndLooper)
{
	auto* first = new RecordingLooper("first");
	auto* second = new RecordingLooper("second");
	BHandler inFirst("in first");
	BHandler loose("loose");
	first->AddHandler(&inFirst);

	struct Case {
		const char* name;
		BHandler* handler;
		BLooper* looper;
		status_t expected;
	} cases[] = {
	        {"handler alone", &inFirst, NULL, B_OK},
	        {"handler and its looper", &inFirst, first, B_OK},
	        {"looper alone", NULL, second, B_OK},
	        {"handler of another looper", &inFirst, second, B_MISMATCHED_VALUES},
	        {"handler without a looper", &loose, NULL, B_BAD_HANDLER},
	        {"nothing", NULL, NULL, B_BAD_VALUE},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		status_t status = B_ERROR;
		BMessenger messenger(item.handler, item.looper, &status);
		EXPECT_EQ(status, item.expected);
		EXPECT_EQ(messenger.IsValid(), item.expected == B_OK);
		if (item.expected == B_OK) {
			BLooper* looper = NULL;
			EXPECT_EQ(messenger.Target(&looper), item.handler);
			EXPECT_EQ(looper, item.looper != NULL ? item.looper : first);
			EXPECT_EQ(messenger.Team(), getpid());
		}
	}
	EXPECT_TRUE(BMessenger(first) != BMessenger(second));
	EXPECT_TRUE(BMessenger(first) == BMessenger(first));
	EXPECT_TRUE(BMessenger(&inFirst) != BMessenger(first));
	EXPECT_TRUE(BMessenger() < BMessenger(first));

	first->RemoveHandler(&inFirst);
	first->Quit();
	second->Quit();
}
