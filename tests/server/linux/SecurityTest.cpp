// Only the user running the server reaches it: the control socket's mode
// keeps others out, and when the mode lets them in, the peer check refuses
// them (and the server says so). Only the device's two control codes put
// anything into the input stream.
#include "../ServerProcess.h"

#include <private/InputServerControl.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using stria::test::Lines;
using stria::test::ServerProcess;

namespace {

constexpr const char* kNobody = "65534";

int RunClient(const std::vector<std::string>& arguments)
{
	std::string command = "'" STRIA_BINARY_DIR "/bin/control_client'";
	for (const std::string& argument : arguments)
		command += " '" + argument + "'";
	const int result = std::system((command + " >/dev/null 2>&1").c_str());
	return WIFEXITED(result) ? WEXITSTATUS(result) : -1;
}

// Runs a program as another user with its own runtime directory; its exit
// status, and what it wrote on standard error in *errors.
int RunAs(uid_t uid, const std::string& runtime, const std::vector<std::string>& argv,
          std::string* errors)
{
	const std::string errorFile = runtime + "/errors";
	// Everything the child needs is made before the fork: other threads of
	// this process may hold locks the child would wait on for ever.
	std::vector<char*> args;
	for (const std::string& arg : argv)
		args.push_back(const_cast<char*>(arg.c_str()));
	args.push_back(nullptr);
	const std::string runtimeVariable = "XDG_RUNTIME_DIR=" + runtime;
	std::vector<char*> environment;
	for (char** variable = environ; *variable != nullptr; variable++) {
		if (std::strncmp(*variable, "XDG_RUNTIME_DIR=", 16) != 0)
			environment.push_back(*variable);
	}
	environment.push_back(const_cast<char*>(runtimeVariable.c_str()));
	environment.push_back(nullptr);
	const pid_t pid = ::fork();
	if (pid == 0) {
		const int err = ::open(errorFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
		if (err < 0 || ::dup2(err, 2) < 0 || ::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 ||
		    ::setuid(uid) != 0)
			::_exit(126);
		::execve(args[0], args.data(), environment.data());
		::_exit(127);
	}
	int status = 0;
	::waitpid(pid, &status, 0);
	std::ifstream in(errorFile);
	errors->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

size_t CountContaining(const std::string& text, const std::string& part)
{
	size_t count = 0;
	for (const std::string& line : Lines(text))
		count += line.find(part) != std::string::npos;
	return count;
}

TEST(Security, AnotherUserCannotReachTheControlSocket)
{
	if (::geteuid() != 0)
		GTEST_SKIP() << "needs root to run a client as another user";
	char pattern[] = "/tmp/stria-security-XXXXXX";
	const std::string folder = ::mkdtemp(pattern);
	// Others may pass through the folder but not list it: whether they get
	// to the socket is up to the socket's own mode and the peer check.
	ASSERT_EQ(::chmod(folder.c_str(), 0711), 0);
	const std::string socket = folder + "/control";

	// The server's own message ports go into a runtime directory of its own.
	const std::string runtime = folder + "/runtime";
	ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
	::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
	// No typer settings: it starts typing nothing.
	::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);

	ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server",
	                     {"--print", "--subscribe", "--control-socket", socket, "--add-ons",
	                      STRIA_BINARY_DIR "/add-ons"});
	bool answers = false;
	for (int i = 0; i < 500 && !answers; i++) {
		std::this_thread::sleep_for(20ms);
		answers = BPrivate::control_socket_answers(socket.c_str());
	}
	ASSERT_TRUE(answers) << server.Errors();

	struct stat info;
	ASSERT_EQ(::stat(socket.c_str(), &info), 0);
	EXPECT_EQ(info.st_mode & 0777, 0600u) << "the socket is the server user's alone";
	// The subscribing looper's port may come a moment after the socket.
	size_t ports = 0;
	for (int i = 0; i < 500 && ports == 0; i++) {
		std::this_thread::sleep_for(20ms);
		for (const auto& entry : fs::recursive_directory_iterator(runtime)) {
			ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
			ports += S_ISSOCK(info.st_mode);
		}
	}
	for (const auto& entry : fs::recursive_directory_iterator(runtime)) {
		ASSERT_EQ(::lstat(entry.path().c_str(), &info), 0);
		if (S_ISDIR(info.st_mode))
			EXPECT_EQ(info.st_mode & 0077, 0u) << entry.path();
		else
			EXPECT_EQ(info.st_mode & 0777, 0600u) << entry.path();
	}
	EXPECT_GE(ports, 1u) << "the subscribing looper's port";

	const std::string tick = std::to_string(0xCAFEBABEu);
	const std::string subscribe = std::to_string(0x000CBADDu);
	// Kept out by the mode.
	EXPECT_EQ(RunClient({"--as", kNobody, socket, tick}), 3);
	// Let in by a mode that is too open: refused by the peer check.
	ASSERT_EQ(::chmod(socket.c_str(), 0666), 0);
	EXPECT_EQ(RunClient({"--as", kNobody, socket, tick}), 3);
	EXPECT_EQ(RunClient({"--as", kNobody, socket, subscribe, "subscribe"}), 3);
	// A client that does not check whose server it reached is told why it
	// is refused: the server answers B_PERMISSION_DENIED.
	EXPECT_EQ(RunClient({"--as", kNobody, "--raw", socket, tick}), 3);
	// stria-listen of another user says who runs the server, not that
	// nobody answers.
	const std::string nobodysRuntime = folder + "/nobody";
	ASSERT_EQ(::mkdir(nobodysRuntime.c_str(), 0700), 0);
	ASSERT_EQ(::chown(nobodysRuntime.c_str(), 65534, 65534), 0);
	std::string errors;
	EXPECT_EQ(RunAs(65534, nobodysRuntime,
	                {STRIA_BINARY_DIR "/bin/stria-listen", "--control-socket", socket}, &errors),
	          1);
	EXPECT_EQ(errors, "stria-listen: no Stria input server answers at " + socket +
	                          ": the server there runs as another user (uid 0), and only the user "
	                          "that runs the server may listen to it\n");

	// Nor may another user change what the server types.
	EXPECT_EQ(RunAs(65534, nobodysRuntime,
	                {STRIA_BINARY_DIR "/bin/stria-typer", "--control-socket", socket, "type",
	                 "data"},
	                &errors),
	          1);
	EXPECT_EQ(errors, "stria-typer: no Stria input server answers at " + socket +
	                          ": the server there runs as another user (uid 0), and only the user "
	                          "that runs the server may listen to it\n");
	ServerProcess typer(STRIA_BINARY_DIR "/bin/stria-typer",
	                    {"--control-socket", socket, "show"});
	EXPECT_EQ(typer.Wait(30s), std::optional<int>(0)) << typer.Errors();
	EXPECT_EQ(typer.Output(),
	          "type = off\nend = enter\nkey-delay = 0\nlayout =\nvariant =\nfree-text = no\n");

	// The server's own user: any other code enqueues nothing; the replay
	// tick travels on to applications (no F10 has been seen to rebuild).
	EXPECT_EQ(RunClient({socket, "0x41424344"}), 0);
	EXPECT_EQ(RunClient({socket, "0x41424344", "subscribe"}), 0);
	EXPECT_EQ(RunClient({socket, tick}), 0);
	ASSERT_TRUE(server.WaitForLines(1, 10s)) << server.Errors();

	server.Signal(SIGTERM);
	EXPECT_EQ(server.Wait(30s), std::optional<int>(0)) << server.Errors();
	EXPECT_EQ(Lines(server.Output()),
	          (std::vector<std::string>{"MESSAGE what=0xcafebabe", "SHUTDOWN"}))
	        << "nothing from the other user, nothing for unknown codes";
	// Three clients, and stria-listen and stria-typer twice each (once to
	// reach the server, once to tell why they could not).
	EXPECT_EQ(CountContaining(server.Errors(), "refused a connection from another user"), 7u)
	        << server.Errors();
	::unsetenv("XDG_RUNTIME_DIR");
	fs::remove_all(folder);
}

} // namespace
