// The control socket's thread with many clients at once: silent ones beside
// real requests, the limit on open connections, and the folded log lines.
#include "ControlSocketServer.h"

#include <Message.h>
#include <private/InputServerControl.h>
#include <private/LocalSocket.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace stria {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;

class ControlSocketTest : public testing::Test {
protected:
	void SetUp() override
	{
		char folder[] = "/tmp/stria-control-test-XXXXXX";
		ASSERT_NE(mkdtemp(folder), nullptr);
		fFolder = folder;
		fSocket = fFolder + "/control";
	}

	void TearDown() override { std::filesystem::remove_all(fFolder); }

	// A server whose clients have deadline to send their request.
	std::unique_ptr<ControlSocketServer> Start(bigtime_t deadline)
	{
		auto server = std::make_unique<ControlSocketServer>(
		        [](const char* device, uint32 code, BMessage*) -> status_t {
			        return std::string(device) == "Test [Keyboard]" ? (status_t)code
			                                                         : B_NAME_NOT_FOUND;
		        },
		        [this](const std::string& line) {
			        std::lock_guard lock(fLogLock);
			        fLog.push_back(line);
		        },
		        deadline, 0);
		std::string error;
		EXPECT_TRUE(server->Start(fSocket, &error)) << error;
		return server;
	}

	status_t Request(uint32 code)
	{
		return BPrivate::send_control_request(fSocket.c_str(), "Test [Keyboard]", code, nullptr,
		                                      60000000);
	}

	std::vector<BPrivate::LocalSocket> Silent(size_t count)
	{
		std::vector<BPrivate::LocalSocket> sockets(count);
		for (BPrivate::LocalSocket& socket : sockets)
			EXPECT_EQ(BPrivate::LocalSocket::Connect(fSocket.c_str(), &socket), B_OK);
		return sockets;
	}

	// True when the server closed the connection (waits for it).
	static bool ClosedByServer(const BPrivate::LocalSocket& socket)
	{
		std::vector<char> body;
		return socket.ReceiveFrame(&body, 60000000) == B_IO_ERROR;
	}

	std::vector<std::string> Log()
	{
		std::lock_guard lock(fLogLock);
		return fLog;
	}

	std::string fFolder;
	std::string fSocket;
	std::mutex fLogLock;
	std::vector<std::string> fLog;
};

TEST_F(ControlSocketTest, SilentClientsDoNotHoldBackRealRequests)
{
	// Deadlines far off: the requests can only be answered beside the
	// silent clients, never after them.
	std::unique_ptr<ControlSocketServer> server = Start(600000000);
	std::vector<BPrivate::LocalSocket> silent = Silent(40);
	for (uint32 code : {1u, 2u, 77u})
		EXPECT_EQ(Request(code), (status_t)code);
	// A client that sends half its request and stops holds back nobody
	// either.
	BPrivate::LocalSocket slow;
	ASSERT_EQ(BPrivate::LocalSocket::Connect(fSocket.c_str(), &slow), B_OK);
	ASSERT_EQ(slow.SendAll("StFr", 4, 1000000), B_OK);
	EXPECT_EQ(Request(3), 3);
	EXPECT_EQ(server->MostClients(), 40u + 2u);
}

TEST_F(ControlSocketTest, ConnectionsBeyondTheLimitAreClosedAtOnce)
{
	std::unique_ptr<ControlSocketServer> server = Start(600000000);
	std::vector<BPrivate::LocalSocket> silent = Silent(ControlSocketServer::kMaxClients);
	std::vector<BPrivate::LocalSocket> extra = Silent(5);
	for (const BPrivate::LocalSocket& socket : extra)
		EXPECT_TRUE(ClosedByServer(socket));
	EXPECT_EQ(server->MostClients(), ControlSocketServer::kMaxClients);

	// Room again once a client leaves: the next request is answered, and
	// the run of closed connections is summed up in one line.
	silent.pop_back();
	std::this_thread::yield();
	status_t answer = B_IO_ERROR;
	for (int tries = 0; tries < 1000 && answer != 5; tries++)
		answer = Request(5);
	EXPECT_EQ(answer, 5);
	std::vector<std::string> log = Log();
	EXPECT_THAT(log, Contains("control socket: 64 connections open already; new ones are closed "
	                          "at once"));
	EXPECT_THAT(log, Contains(HasSubstr("more connections closed at once while 64 were open")));
}

TEST_F(ControlSocketTest, ClientsPastTheirDeadlineAreClosedAndLoggedOnce)
{
	std::unique_ptr<ControlSocketServer> server = Start(1000);
	std::vector<BPrivate::LocalSocket> silent = Silent(30);
	for (const BPrivate::LocalSocket& socket : silent)
		EXPECT_TRUE(ClosedByServer(socket));
	// The deadline is short for this test; a request that comes at once
	// still makes it, perhaps after a few tries.
	status_t answer = B_IO_ERROR;
	for (int tries = 0; tries < 1000 && answer != 9; tries++)
		answer = Request(9);
	ASSERT_EQ(answer, 9);
	server->Stop();
	std::vector<std::string> log = Log();
	size_t timedOut = 0;
	for (const std::string& line : log)
		timedOut += line.starts_with("control socket: no valid request");
	EXPECT_EQ(timedOut, 1u) << testing::PrintToString(log);
	EXPECT_THAT(log, Contains(HasSubstr("more connections closed without a valid request")));
}

// Open descriptors of this process.
int CountDescriptors()
{
	int count = 0;
	for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
		(void)entry;
		count++;
	}
	return count;
}

TEST_F(ControlSocketTest, OutOfDescriptorsPausesAcceptingAndSaysSoOnce)
{
	std::unique_ptr<ControlSocketServer> server = Start(600000000);
	// Client sockets made while descriptors are plenty; connected once
	// the server's process (this one) has none left for accept.
	const int kClients = 6;
	std::vector<int> clients;
	for (int i = 0; i < kClients; i++)
		clients.push_back(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
	struct sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", fSocket.c_str());

	struct rlimit saved;
	ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
	struct rlimit tight = saved;
	// Hardly a descriptor to spare: the server accepts a client or two,
	// then none.
	tight.rlim_cur = CountDescriptors() + 1;
	ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
	for (int client : clients)
		EXPECT_EQ(connect(client, (struct sockaddr*)&address, sizeof(address)), 0);
	// Wait until the server has met the limit.
	bool said = false;
	for (int round = 0; round < 100000 && !said; round++) {
		for (const std::string& line : Log())
			said = said || line.find("out of file descriptors") != std::string::npos;
		std::this_thread::yield();
	}
	ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);
	ASSERT_TRUE(said);
	EXPECT_LT(server->MostClients(), (size_t)kClients);

	// A client leaving resumes accepting: everybody waiting is taken, and a
	// request is answered.
	close(clients.front());
	clients.erase(clients.begin());
	EXPECT_EQ(Request(4), 4);
	EXPECT_EQ(server->MostClients(), (size_t)kClients);
	size_t lines = 0;
	for (const std::string& line : Log())
		lines += line.find("out of file descriptors") != std::string::npos;
	EXPECT_EQ(lines, 1u);
	for (int client : clients)
		close(client);
}

} // namespace
} // namespace stria
