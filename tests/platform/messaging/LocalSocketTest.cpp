// The socket layer under cross-process messaging: the runtime directory,
// listening sockets, peer checks and frames.
#include <private/FrameReader.h>
#include <private/LocalSocket.h>

#include <OS.h>

#include "PeerProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

using BPrivate::FrameReader;
using BPrivate::LocalSocket;

namespace {

// A fresh directory under /tmp, removed with everything in it afterwards.
class TemporaryDirectory {
public:
	TemporaryDirectory()
	{
		char name[] = "/tmp/stria-socket-test-XXXXXX";
		fPath = mkdtemp(name);
	}
	~TemporaryDirectory() { std::system(("rm -rf '" + fPath + "'").c_str()); }
	const std::string& Path() const { return fPath; }

private:
	std::string fPath;
};

class ScopedEnvironment {
public:
	ScopedEnvironment(const char* name, const char* value) : fName(name)
	{
		const char* old = getenv(name);
		fHad = old != NULL;
		if (fHad)
			fOld = old;
		setenv(name, value, 1);
	}
	~ScopedEnvironment()
	{
		if (fHad)
			setenv(fName.c_str(), fOld.c_str(), 1);
		else
			unsetenv(fName.c_str());
	}

private:
	std::string fName;
	std::string fOld;
	bool fHad;
};

mode_t ModeOf(const std::string& path)
{
	struct stat info;
	EXPECT_EQ(lstat(path.c_str(), &info), 0) << path;
	return info.st_mode & 07777;
}

void SocketPair(LocalSocket* first, LocalSocket* second)
{
	int fds[2];
	ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
	*first = LocalSocket(fds[0]);
	*second = LocalSocket(fds[1]);
}

std::string Frame(const std::string& body)
{
	std::string frame(LocalSocket::kFrameHeaderSize, '\0');
	LocalSocket::WriteFrameHeader(frame.data(), body.size());
	return frame + body;
}

} // namespace

TEST(RuntimeDirectory, IsCreatedPrivateUnderXdgRuntimeDir)
{
	TemporaryDirectory base;
	ScopedEnvironment runtime("XDG_RUNTIME_DIR", base.Path().c_str());
	std::string path;
	ASSERT_EQ(LocalSocket::RuntimeDirectory(&path), B_OK);
	EXPECT_EQ(path, base.Path() + "/stria");
	EXPECT_EQ(ModeOf(path), mode_t(0700));
	// Found again as it is.
	ASSERT_EQ(LocalSocket::RuntimeDirectory(&path), B_OK);
}

// An unusable runtime directory is refused with its path and what is wrong
// with it; a process that cannot publish its message port there cannot put
// a messenger of its own into a message for another process either, and
// says why.
TEST(RuntimeDirectory, UnsafeDirectoriesAreRefusedWithTheReason)
{
	struct Case {
		const char* name;
		// Prepares base/stria.
		std::string (*prepare)(const std::string& stria);
		const char* reason;
		bool needsRoot;
	} cases[] = {
	        {"open to the group",
	         [](const std::string& stria) {
		         mkdir(stria.c_str(), 0700);
		         chmod(stria.c_str(), 0750);
		         return std::string();
	         },
	         "/stria has mode 0750", false},
	        {"open to others",
	         [](const std::string& stria) {
		         mkdir(stria.c_str(), 0700);
		         chmod(stria.c_str(), 0755);
		         return std::string();
	         },
	         "/stria has mode 0755", false},
	        {"a link to a private directory",
	         [](const std::string& stria) {
		         std::string target = stria + "-target";
		         mkdir(target.c_str(), 0700);
		         symlink(target.c_str(), stria.c_str());
		         return std::string();
	         },
	         "/stria is a symbolic link", false},
	        {"a file",
	         [](const std::string& stria) {
		         close(open(stria.c_str(), O_CREAT | O_WRONLY, 0600));
		         return std::string();
	         },
	         "/stria is not a directory", false},
	        {"missing and impossible to create",
	         [](const std::string& stria) {
		         // The base itself is taken away.
		         std::string base = stria.substr(0, stria.rfind('/'));
		         return std::string(rmdir(base.c_str()) == 0 ? "" : "rmdir failed");
	         },
	         "/stria does not exist and cannot be created", false},
	        {"owned by another user",
	         [](const std::string& stria) {
		         mkdir(stria.c_str(), 0700);
		         if (chown(stria.c_str(), 65534, 65534) != 0)
			         return std::string("chown failed");
		         return std::string();
	         },
	         "/stria belongs to user 65534", true},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		if (item.needsRoot && geteuid() != 0) {
			GTEST_LOG_(INFO) << "skipped (needs root): " << item.name;
			continue;
		}
		TemporaryDirectory base;
		ScopedEnvironment runtime("XDG_RUNTIME_DIR", base.Path().c_str());
		ASSERT_EQ(item.prepare(base.Path() + "/stria"), "");
		std::string path = "unchanged";
		std::string problem;
		EXPECT_NE(LocalSocket::RuntimeDirectory(&path, &problem), B_OK);
		EXPECT_EQ(path, "unchanged");
		std::string expected = base.Path() + item.reason;
		EXPECT_NE(problem.find(expected), std::string::npos) << problem;

		// A fresh process, which has no port yet, finds the same.
		messaging_test::PeerProcess peer({"add-messenger", expected});
		EXPECT_EQ(peer.Wait(), 0);
	}
}

TEST(LocalSocket, ListenMakesAPrivateSocketAndReplacesOnlyStaleOnes)
{
	TemporaryDirectory directory;
	std::string path = directory.Path() + "/socket";
	LocalSocket listener;
	ASSERT_EQ(LocalSocket::Listen(path.c_str(), &listener), B_OK);
	EXPECT_EQ(ModeOf(path) & 0777, mode_t(0600));

	// A live socket stays.
	LocalSocket second;
	EXPECT_EQ(LocalSocket::Listen(path.c_str(), &second), B_NAME_IN_USE);
	LocalSocket client;
	ASSERT_EQ(LocalSocket::Connect(path.c_str(), &client), B_OK);
	LocalSocket accepted;
	ASSERT_EQ(listener.Accept(&accepted), B_OK);
	EXPECT_EQ(accepted.CheckPeer(), B_OK);
	EXPECT_EQ(accepted.PeerProcess(), getpid());

	// Once nobody listens, the file left behind is replaced.
	listener.Close();
	EXPECT_EQ(LocalSocket::Connect(path.c_str(), &client), B_NAME_NOT_FOUND);
	ASSERT_EQ(LocalSocket::Listen(path.c_str(), &second), B_OK);

	std::string file = directory.Path() + "/file";
	close(open(file.c_str(), O_CREAT | O_WRONLY, 0600));
	LocalSocket onFile;
	EXPECT_EQ(LocalSocket::Listen(file.c_str(), &onFile), B_NAME_IN_USE);

	struct Case {
		std::string path;
		status_t expected;
	} cases[] = {
	        {"", B_BAD_VALUE},
	        {"/" + std::string(108, 'x'), B_BAD_VALUE},
	        {directory.Path() + "/missing", B_NAME_NOT_FOUND},
	        {"/nonexistent-dir/socket", B_NAME_NOT_FOUND},
	};
	for (const Case& item : cases) {
		LocalSocket socket;
		EXPECT_EQ(LocalSocket::Connect(item.path.c_str(), &socket), item.expected) << item.path;
	}
}

TEST(LocalSocketFrames, SurvivePiecemealTransfers)
{
	LocalSocket reader, writer;
	SocketPair(&reader, &writer);
	std::string body(5000, '\0');
	for (size_t i = 0; i < body.size(); i++)
		body[i] = char(i * 13);
	std::string frame = Frame(body) + Frame("") + Frame("tail");
	std::thread trickle([&] {
		// Pieces of every size up to 97 bytes, with pauses between them.
		size_t at = 0;
		for (size_t piece = 1; at < frame.size(); piece = piece % 97 + 1) {
			size_t size = std::min(piece, frame.size() - at);
			ASSERT_EQ(send(writer.FD(), frame.data() + at, size, MSG_NOSIGNAL), ssize_t(size));
			at += size;
			if (piece % 10 == 0)
				snooze(200);
		}
	});
	std::vector<char> received;
	ASSERT_EQ(reader.ReceiveFrame(&received, 10000000), B_OK);
	EXPECT_EQ(std::string(received.begin(), received.end()), body);
	ASSERT_EQ(reader.ReceiveFrame(&received, 10000000), B_OK);
	EXPECT_TRUE(received.empty());
	ASSERT_EQ(reader.ReceiveFrame(&received, 10000000), B_OK);
	EXPECT_EQ(std::string(received.begin(), received.end()), "tail");
	trickle.join();
}

TEST(LocalSocketFrames, BadStreamsAreRefused)
{
	std::string oversized(LocalSocket::kFrameHeaderSize, '\0');
	LocalSocket::WriteFrameHeader(oversized.data(), 1001);
	struct Case {
		const char* name;
		std::string bytes;
		bool closeAfter;
		status_t expected;
	} cases[] = {
	        {"wrong magic", std::string("XtFr\x04\0\0\0abcd", 12), false, B_BAD_DATA},
	        {"longer than the limit", oversized, false, B_BAD_DATA},
	        {"ends inside the header", "StF", true, B_IO_ERROR},
	        {"ends inside the body", Frame("abcdef").substr(0, 11), true, B_IO_ERROR},
	        {"nothing arrives", "", false, B_TIMED_OUT},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		LocalSocket reader, writer;
		SocketPair(&reader, &writer);
		if (!item.bytes.empty())
			send(writer.FD(), item.bytes.data(), item.bytes.size(), MSG_NOSIGNAL);
		if (item.closeAfter)
			writer.Close();
		std::vector<char> body;
		EXPECT_EQ(reader.ReceiveFrame(&body, 50000, 1000), item.expected);
	}
	LocalSocket reader, writer;
	SocketPair(&reader, &writer);
	std::vector<char> body;
	EXPECT_EQ(reader.ReceiveFrame(&body, 0), B_WOULD_BLOCK);
}

TEST(LocalSocketFrames, WritingToAGonePeerFailsWithoutASignal)
{
	LocalSocket reader, writer;
	SocketPair(&reader, &writer);
	reader.Close();
	// Without MSG_NOSIGNAL, SIGPIPE would end the test program here.
	EXPECT_EQ(writer.SendFrame("data", 4, 1000000), B_IO_ERROR);
}

TEST(LocalSocketFrames, AFullSocketTimesOut)
{
	LocalSocket reader, writer;
	SocketPair(&reader, &writer);
	std::vector<char> big(64 * 1024);
	status_t status = B_OK;
	bigtime_t start = 0;
	for (int i = 0; i < 1000 && status == B_OK; i++) {
		start = system_time();
		status = writer.SendFrame(big.data(), big.size(), 20000);
	}
	EXPECT_EQ(status, B_TIMED_OUT);
	EXPECT_GE(system_time() - start, 20000);
}

TEST(FrameReader, TakesFramesApartWhereverTheBytesAreCut)
{
	std::string stream = Frame("first") + Frame("") + Frame(std::string(300, 'z'));
	for (size_t cut = 0; cut <= stream.size(); cut++) {
		SCOPED_TRACE(cut);
		FrameReader reader(1000);
		std::vector<std::string> bodies;
		std::vector<char> body;
		ASSERT_EQ(reader.Feed(stream.data(), cut), B_OK);
		while (reader.NextFrame(&body))
			bodies.emplace_back(body.begin(), body.end());
		ASSERT_EQ(reader.Feed(stream.data() + cut, stream.size() - cut), B_OK);
		while (reader.NextFrame(&body))
			bodies.emplace_back(body.begin(), body.end());
		ASSERT_EQ(bodies.size(), 3u);
		EXPECT_EQ(bodies[0], "first");
		EXPECT_EQ(bodies[1], "");
		EXPECT_EQ(bodies[2], std::string(300, 'z'));
		EXPECT_EQ(reader.BufferedSize(), 0u);
	}
}

TEST(FrameReader, RefusesBadHeadersAsSoonAsTheyShow)
{
	std::string oversized(LocalSocket::kFrameHeaderSize, '\0');
	LocalSocket::WriteFrameHeader(oversized.data(), 101);
	struct Case {
		const char* name;
		std::string bytes;
		size_t framesBefore;
	} cases[] = {
	        {"wrong first byte", "X", 0},
	        {"wrong third byte", "StX", 0},
	        {"oversized", oversized, 0},
	        {"garbage after a good frame", Frame("ok") + "Sx", 1},
	        {"oversized after a good frame", Frame("ok") + oversized, 1},
	};
	for (const Case& item : cases) {
		SCOPED_TRACE(item.name);
		FrameReader reader(100);
		status_t status = reader.Feed(item.bytes.data(), item.bytes.size());
		std::vector<char> body;
		size_t frames = 0;
		while (reader.NextFrame(&body))
			frames++;
		EXPECT_EQ(frames, item.framesBefore);
		EXPECT_TRUE(status == B_BAD_DATA || reader.Failed());
		EXPECT_TRUE(reader.Failed());
		EXPECT_EQ(reader.Feed(Frame("more").data(), 12), B_BAD_DATA);
	}
}
