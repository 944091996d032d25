// stria-listen as a black box, in processes of its own, against a running
// stria-input-server that replays scans at their real pace.
#include <OS.h>
#include <private/InputServerControl.h>

#include "../MadeUpSubscription.h"
#include "../barcode/record_encoder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

const std::string kIsbnRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";
const std::string kUpaRecord = ".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.";
const std::string kIsbnJson = "{\"barcode\":\"IBN 9780201889543\",\"tag\":\"IBN\",\"data\":"
                              "\"9780201889543\",\"label\":\"ISBN: 9-780201-889543\"}";
const std::string kUpaJson =
        "{\"barcode\":\"UPA 059280201638\",\"tag\":\"UPA\",\"data\":\"059280201638\","
        "\"label\":\"UPA: '0-59280-20163-8' [UPE equiv: none]\"}";

std::string ReadFile(const std::string& path)
{
	std::ifstream file(path);
	std::stringstream text;
	text << file.rdbuf();
	return text.str();
}

// A program of the build in a process of its own, its output in files.
class Child {
public:
	// output: where standard output goes (default: a file of the child's).
	Child(const std::string& directory, const std::string& name, std::vector<std::string> argv,
	      const std::string& output = {})
	    : fOut(output.empty() ? directory + "/" + name + ".out" : output),
	      fErr(directory + "/" + name + ".err")
	{
		std::vector<char*> args;
		for (std::string& arg : argv)
			args.push_back(arg.data());
		args.push_back(nullptr);
		fPid = fork();
		if (fPid == 0) {
			int out = open(fOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
			int err = open(fErr.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
			int in = open("/dev/null", O_RDONLY);
			if (out < 0 || err < 0 || in < 0)
				_exit(126);
			dup2(in, 0);
			dup2(out, 1);
			dup2(err, 2);
			execve(args[0], args.data(), environ);
			_exit(127);
		}
	}

	~Child()
	{
		if (fPid > 0 && !fExited) {
			kill(fPid, SIGCONT);
			kill(fPid, SIGKILL);
			waitpid(fPid, nullptr, 0);
		}
	}

	pid_t Pid() const { return fPid; }

	// The exit status, or -1 when it did not end within seconds (it is then
	// killed).
	int Wait(int seconds = 60)
	{
		for (int round = 0; round < seconds * 100; round++) {
			int status = 0;
			pid_t done = waitpid(fPid, &status, WNOHANG);
			if (done == fPid) {
				fExited = true;
				return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
			}
			snooze(10000);
		}
		return -1;
	}

	bool Exited()
	{
		if (fExited)
			return true;
		int status;
		if (waitpid(fPid, &status, WNOHANG) == fPid) {
			fExited = true;
			fStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
		}
		return fExited;
	}

	// Waits until the output holds lines lines.
	bool WaitForLines(size_t lines, int seconds = 30)
	{
		for (int round = 0; round < seconds * 100; round++) {
			std::string out = Out();
			if ((size_t)std::count(out.begin(), out.end(), '\n') >= lines)
				return true;
			snooze(10000);
		}
		return false;
	}

	std::string Out() const { return ReadFile(fOut); }
	std::string Err() const { return ReadFile(fErr); }

private:
	pid_t fPid = -1;
	bool fExited = false;
	int fStatus = -1;
	std::string fOut;
	std::string fErr;
};

class ListenProcessTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		char pattern[] = "/tmp/stria-listen-test-XXXXXX";
		ASSERT_NE(mkdtemp(pattern), nullptr);
		fDirectory = pattern;
		fSocket = fDirectory + "/control";
		// Every process of the test publishes its ports here.
		setenv("XDG_RUNTIME_DIR", fDirectory.c_str(), 1);
	}

	void TearDown() override
	{
		std::string command = "rm -rf '" + fDirectory + "'";
		EXPECT_EQ(system(command.c_str()), 0);
	}

	std::unique_ptr<Child> StartServer(const std::string& script)
	{
		std::string path = fDirectory + "/script.txt";
		std::ofstream(path) << script;
		auto server = std::make_unique<Child>(
		        fDirectory, "server",
		        std::vector<std::string>{STRIA_SERVER_BINARY, "--add-ons",
		                                 std::string(STRIA_BINARY_DIR) + "/add-ons",
		                                 "--control-socket", fSocket, "--replay", path});
		for (int round = 0; round < 3000; round++) {
			if (BPrivate::control_socket_answers(fSocket.c_str()))
				return server;
			snooze(10000);
		}
		ADD_FAILURE() << "the server did not come up: " << server->Err();
		return server;
	}

	std::unique_ptr<Child> StartListener(const std::string& name,
	                                     std::vector<std::string> options = {},
	                                     const std::string& output = {})
	{
		std::vector<std::string> argv = {STRIA_LISTEN_BINARY, "--control-socket", fSocket};
		argv.insert(argv.end(), options.begin(), options.end());
		return std::make_unique<Child>(fDirectory, name, argv, output);
	}

	std::string fDirectory;
	std::string fSocket;
};

// Script lines for count scans, from start on, spacing apart (a scan's keys
// take about 0.1 s).
std::string ScanLines(bigtime_t start, int count, bigtime_t spacing)
{
	std::ostringstream script;
	for (int i = 0; i < count; i++) {
		script << start + i * spacing << " scan " << (i % 2 == 0 ? kIsbnRecord : kUpaRecord)
		       << "\n";
	}
	return script.str();
}

// A script that starts at once and scans later.
std::string ScanScript(bigtime_t start, int count, bigtime_t spacing)
{
	return "0 modifiers 0\n" + ScanLines(start, count, spacing);
}

std::string Lines(int count, const std::string& even, const std::string& odd)
{
	std::string lines;
	for (int i = 0; i < count; i++)
		lines += (i % 2 == 0 ? even : odd) + "\n";
	return lines;
}

// Every command line that cannot lead to scans, and every socket path no
// server answers at: the exit status, and the reason in one line.
TEST_F(ListenProcessTest, BadCommandLinesAndSocketsNoServerAnswersAtAreNamed)
{
	// A socket file that nobody listens at any more.
	const std::string stale = fDirectory + "/stale";
	{
		int fd = socket(AF_UNIX, SOCK_STREAM, 0);
		struct sockaddr_un address = {};
		address.sun_family = AF_UNIX;
		std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", stale.c_str());
		ASSERT_EQ(bind(fd, (struct sockaddr*)&address, sizeof(address)), 0);
		close(fd);
	}
	std::ofstream(fDirectory + "/file") << "not a socket\n";
	const struct {
		std::vector<std::string> arguments;
		int status;
		std::string message;
		const char* output; // where standard output goes; null: a file
	} cases[] = {
	        {{"--label", "--json"}, 2, "choose one of --label and --json", nullptr},
	        {{"--colour"}, 2, "unknown option --colour", nullptr},
	        {{"scans.txt"}, 2, "unexpected argument scans.txt", nullptr},
	        {{"--control-socket"}, 2, "--control-socket needs a path", nullptr},
	        {{"--control-socket="}, 2, "--control-socket needs a path", nullptr},
	        {{"--control-socket", fDirectory + "/nobody"},
	         1,
	         "no Stria input server answers at " + fDirectory +
	                 "/nobody: there is no socket there (is stria-input-server running?)",
	         nullptr},
	        {{"--control-socket", "/nonexistent/folder/socket"},
	         1,
	         "the folder /nonexistent/folder does not exist",
	         nullptr},
	        {{"--control-socket", fDirectory}, 1, "it is a folder, not a socket", nullptr},
	        {{"--control-socket", fDirectory + "/file"}, 1, "it is not a socket", nullptr},
	        {{"--control-socket", stale}, 1, "nothing listens at the socket", nullptr},
	        {{"--control-socket", fDirectory + "/" + std::string(120, 's')},
	         2,
	         "a socket path may be at most 107",
	         nullptr},
	        {{"--help"}, 1, "cannot write standard output: No space left on device", "/dev/full"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.arguments.back());
		std::vector<std::string> argv = {STRIA_LISTEN_BINARY};
		argv.insert(argv.end(), c.arguments.begin(), c.arguments.end());
		Child listener(fDirectory, "listener", argv, c.output ? c.output : "");
		EXPECT_EQ(listener.Wait(), c.status);
		if (c.output == nullptr) {
			EXPECT_EQ(listener.Out(), "");
		}
		const std::string errors = listener.Err();
		EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
		EXPECT_EQ(errors.rfind("stria-listen: ", 0), 0u) << errors;
	}
}

TEST_F(ListenProcessTest, CodesReachTheTerminalEscapedAndAFullDiskEndsTheListener)
{
	// Code 128 can carry an escape sequence and a backslash.
	std::unique_ptr<Child> server = StartServer("0 modifiers 0\n2500000 scan " +
	                                            make_record("128", "A\x1b[2J\\x41") + "\n");
	std::unique_ptr<Child> plain = StartListener("plain");
	std::unique_ptr<Child> json = StartListener("json", {"--json"});
	std::unique_ptr<Child> full = StartListener("full", {}, "/dev/full");

	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_EQ(plain->Wait(), 0) << plain->Err();
	EXPECT_EQ(json->Wait(), 0) << json->Err();
	EXPECT_EQ(plain->Out(), "128 A\\x1b[2J\\\\x41\n");
	EXPECT_NE(json->Out().find("\"barcode\":\"128 A\\u001b[2J\\\\x41\""), std::string::npos)
	        << json->Out();
	EXPECT_EQ(full->Wait(), 1);
	EXPECT_EQ(full->Err(), "stria-listen: cannot write standard output: No space left on device\n");
}

// Across processes: a scan that is no record never reaches the listener,
// and a wrong check digit arrives flagged.
TEST_F(ListenProcessTest, OnlyWholeScansArriveAndAWrongCheckDigitIsFlagged)
{
	std::unique_ptr<Child> server =
	        StartServer("0 modifiers 0\n2500000 scan " + make_record("UPA", "012345678904", 0x43) +
	                    "\n2800000 scan .hello.\n3100000 scan " + kIsbnRecord + "\n");
	std::unique_ptr<Child> label = StartListener("label", {"--label"});
	std::unique_ptr<Child> json = StartListener("json", {"--json"});

	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_EQ(label->Wait(), 0) << label->Err();
	EXPECT_EQ(json->Wait(), 0) << json->Err();
	EXPECT_EQ(label->Out(), "UPA 012345678904\tUPA: '0-12345-67890-4' [UPE equiv: none] "
	                        "[check digit wrong]\n"
	                        "IBN 9780201889543\tISBN: 9-780201-889543\n");
	EXPECT_EQ(json->Out(), "{\"barcode\":\"UPA 012345678904\",\"tag\":\"UPA\",\"data\":"
	                       "\"012345678904\",\"label\":\"UPA: '0-12345-67890-4' [UPE equiv: "
	                       "none] [check digit wrong]\",\"check_failed\":true}\n" +
	                               kIsbnJson + "\n");
	EXPECT_NE(server->Err().find("StriaFilter: scan dropped: not a scanner record"),
	          std::string::npos)
	        << server->Err();
}

TEST_F(ListenProcessTest, EveryListenerPrintsEveryScanThenEndsWithTheServer)
{
	std::unique_ptr<Child> server = StartServer(ScanScript(3000000, 4, 300000));
	std::unique_ptr<Child> plain = StartListener("plain");
	std::unique_ptr<Child> label = StartListener("label", {"--label"});
	std::unique_ptr<Child> json = StartListener("json", {"--json"});

	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_EQ(plain->Wait(), 0) << plain->Err();
	EXPECT_EQ(label->Wait(), 0) << label->Err();
	EXPECT_EQ(json->Wait(), 0) << json->Err();
	EXPECT_EQ(plain->Out(), Lines(4, "IBN 9780201889543", "UPA 059280201638"));
	EXPECT_EQ(label->Out(), Lines(4, "IBN 9780201889543\tISBN: 9-780201-889543",
	                              "UPA 059280201638\tUPA: '0-59280-20163-8' [UPE equiv: none]"));
	EXPECT_EQ(json->Out(), Lines(4, kIsbnJson, kUpaJson));
	EXPECT_EQ(plain->Err() + label->Err() + json->Err(), "");
}

TEST_F(ListenProcessTest, StoppedListenerHoldsBackNoOtherAndCatchesUpLater)
{
	// One scan to connect both listeners, then 24 more while one is stopped.
	std::unique_ptr<Child> server =
	        StartServer(ScanScript(2500000, 1, 0) + ScanLines(5000000, 24, 150000));
	std::unique_ptr<Child> lively = StartListener("lively");
	std::unique_ptr<Child> stopped = StartListener("stopped");
	ASSERT_TRUE(lively->WaitForLines(1));
	ASSERT_TRUE(stopped->WaitForLines(1));
	ASSERT_EQ(kill(stopped->Pid(), SIGSTOP), 0);

	// The server and the lively listener finish while the other is stopped.
	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_EQ(lively->Wait(), 0) << lively->Err();
	std::string all = "IBN 9780201889543\n" + Lines(24, "IBN 9780201889543", "UPA 059280201638");
	EXPECT_EQ(lively->Out(), all);
	EXPECT_FALSE(stopped->Exited());

	ASSERT_EQ(kill(stopped->Pid(), SIGCONT), 0);
	EXPECT_EQ(stopped->Wait(), 0) << stopped->Err();
	EXPECT_EQ(stopped->Out(), all);
}

TEST_F(ListenProcessTest, ServerThatDiesWithoutNoticeEndsTheListenerWithAnError)
{
	std::unique_ptr<Child> server =
	        StartServer("0 modifiers 0\n2000000 scan " + kIsbnRecord + "\n120000000 modifiers 0\n");
	std::unique_ptr<Child> listener = StartListener("listener");
	ASSERT_TRUE(listener->WaitForLines(1));
	ASSERT_EQ(kill(server->Pid(), SIGKILL), 0);
	server->Wait();

	EXPECT_EQ(listener->Wait(), 1);
	EXPECT_EQ(listener->Out(), "IBN 9780201889543\n");
	EXPECT_EQ(listener->Err(), "stria-listen: the input server at " + fSocket +
	                                   " went away without a shutdown notice\n");
}

TEST_F(ListenProcessTest, InterruptedListenerEndsCleanlyAndTheServerGoesOn)
{
	std::unique_ptr<Child> server = StartServer("0 modifiers 0\n120000000 modifiers 0\n");
	std::unique_ptr<Child> listener = StartListener("listener");
	snooze(1000000);
	ASSERT_EQ(kill(listener->Pid(), SIGINT), 0);
	EXPECT_EQ(listener->Wait(), 0) << listener->Err();
	EXPECT_FALSE(server->Exited());

	ASSERT_EQ(kill(server->Pid(), SIGTERM), 0);
	EXPECT_EQ(server->Wait(), 0) << server->Err();
}

} // namespace

// A listener whose runtime directory is not private cannot be reached by the
// server: it says which directory and what is wrong, instead of subscribing
// and waiting for scans that could never come.
TEST_F(ListenProcessTest, AnUnsafeRuntimeDirectoryIsNamedWithWhatIsWrong)
{
	std::unique_ptr<Child> server = StartServer("0 modifiers 0\n120000000 modifiers 0\n");
	const std::string base = fDirectory + "/listener-runtime";
	const std::string stria = base + "/stria";
	const struct {
		const char* name;
		bool ownSocket; // --control-socket given
		int (*prepare)(const std::string& stria);
		std::string message;
	} cases[] = {
	        {"open to others, with --control-socket", true,
	         [](const std::string& path) { return mkdir(path.c_str(), 0700) | chmod(path.c_str(), 0755); },
	         "stria-listen: cannot receive scans from another process: no usable runtime "
	         "directory: " + stria + " has mode 0755"},
	        {"open to others, default socket", false,
	         [](const std::string& path) { return mkdir(path.c_str(), 0700) | chmod(path.c_str(), 0755); },
	         "stria-listen: no usable runtime directory: " + stria + " has mode 0755"},
	        {"a symbolic link", true,
	         [](const std::string& path) {
		         return mkdir((path + "-real").c_str(), 0700) |
		                symlink((path + "-real").c_str(), path.c_str());
	         },
	         "no usable runtime directory: " + stria + " is a symbolic link"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		ASSERT_EQ(system(("rm -rf '" + base + "'").c_str()), 0);
		ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
		ASSERT_EQ(c.prepare(stria), 0);
		std::vector<std::string> argv = {STRIA_LISTEN_BINARY};
		if (c.ownSocket)
			argv.insert(argv.end(), {"--control-socket", fSocket});
		setenv("XDG_RUNTIME_DIR", base.c_str(), 1);
		Child listener(fDirectory, "listener", argv);
		setenv("XDG_RUNTIME_DIR", fDirectory.c_str(), 1);
		EXPECT_EQ(listener.Wait(), 1);
		EXPECT_EQ(listener.Out(), "");
		const std::string errors = listener.Err();
		EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
	}
	EXPECT_FALSE(server->Exited());
}

// A listener that runs out of file descriptors (a flood of connections to its
// message port, under a limit of 64) neither takes that for the server's end
// nor loses the scans that come once the flood is over.
TEST_F(ListenProcessTest, AListenerOutOfDescriptorsWaitsAndStillGetsItsScans)
{
	std::unique_ptr<Child> server = StartServer(ScanScript(10000000, 1, 0));
	std::unique_ptr<Child> listener = std::make_unique<Child>(
	        fDirectory, "listener",
	        std::vector<std::string>{"/usr/bin/prlimit", "--nofile=64:64", STRIA_LISTEN_BINARY,
	                                 "--control-socket", fSocket});
	// Its port appears as it subscribes.
	const std::string prefix = "port-" + std::to_string(listener->Pid()) + "-";
	std::string port;
	for (int round = 0; round < 1000 && port.empty(); round++) {
		if (DIR* folder = opendir((fDirectory + "/stria").c_str())) {
			while (struct dirent* entry = readdir(folder)) {
				if (std::string(entry->d_name).rfind(prefix, 0) == 0)
					port = fDirectory + "/stria/" + entry->d_name;
			}
			closedir(folder);
		}
		snooze(10000);
	}
	ASSERT_FALSE(port.empty()) << listener->Err();

	std::vector<int> flood;
	for (int i = 0; i < 200; i++) {
		int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
		struct sockaddr_un address = {};
		address.sun_family = AF_UNIX;
		std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", port.c_str());
		ASSERT_EQ(connect(fd, (struct sockaddr*)&address, sizeof(address)), 0) << i;
		flood.push_back(fd);
	}
	// Longer than the listener gives a silent server before it counts as gone.
	snooze(3000000);
	EXPECT_FALSE(listener->Exited()) << listener->Err();
	for (int fd : flood)
		close(fd);

	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_EQ(listener->Wait(), 0) << listener->Err();
	EXPECT_EQ(listener->Out(), "IBN 9780201889543\n");
	EXPECT_NE(listener->Err().find("cannot accept connections (no file descriptor left)"),
	          std::string::npos)
	        << "the flood never exhausted the listener's descriptors";
}

namespace {

// With as many subscribers as the server serves, a listener is told there is
// no room and ends with a reason, instead of waiting for scans that never
// come.
TEST_F(ListenProcessTest, ListenerBeyondTheSubscriberLimitIsRefusedWithAReason)
{
	std::unique_ptr<Child> server = StartServer("0 modifiers 0\n60000000 modifiers 0\n");
	// Made-up subscribers in this process, which lives: they are kept.
	for (int32 looper = 1; looper <= 256; looper++) {
		BMessage subscription = MadeUpSubscription(getpid(), looper);
		ASSERT_EQ(BPrivate::send_control_request(fSocket.c_str(), STRIA_DEVICE_NAME,
		                                         STRIA_SUBSCRIBE, &subscription, 5000000),
		          B_OK);
	}
	std::unique_ptr<Child> listener = StartListener("refused");
	EXPECT_EQ(listener->Wait(), 1);
	EXPECT_EQ(listener->Err(), "stria-listen: the input server at " + fSocket +
	                                   " took no subscription: it has as many subscribers "
	                                   "as it serves\n");
	EXPECT_EQ(listener->Out(), "");
	kill(server->Pid(), SIGTERM);
	EXPECT_EQ(server->Wait(), 0) << server->Err();
	EXPECT_NE(server->Err().find("256 subscribers already; subscription refused"),
	          std::string::npos)
	        << server->Err();
}

} // namespace
