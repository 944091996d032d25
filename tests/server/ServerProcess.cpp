#include "ServerProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace stria::test {

ServerProcess::ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const std::string& input)
{
	int in[2], out[2], err[2];
	if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
		return;
	std::vector<char*> argv;
	argv.push_back(const_cast<char*>(program.c_str()));
	for (const std::string& argument : arguments)
		argv.push_back(const_cast<char*>(argument.c_str()));
	argv.push_back(nullptr);

	fPid = fork();
	if (fPid == 0) {
		dup2(in[0], 0);
		dup2(out[1], 1);
		dup2(err[1], 2);
		// The test runner may block signals; the server must see its own.
		sigset_t none;
		sigemptyset(&none);
		sigprocmask(SIG_SETMASK, &none, nullptr);
		execv(program.c_str(), argv.data());
		_exit(127);
	}
	close(in[0]);
	close(out[1]);
	close(err[1]);
	// The input is small; a pipe holds it without blocking.
	size_t written = 0;
	while (written < input.size()) {
		ssize_t result = write(in[1], input.data() + written, input.size() - written);
		if (result < 0 && errno == EINTR)
			continue;
		if (result <= 0)
			break;
		written += result;
	}
	close(in[1]);
	fOutput = out[0];
	fErrors = err[0];
	fReader = std::thread(&ServerProcess::Reader, this);
}

ServerProcess::~ServerProcess()
{
	if (fPid > 0 && !Wait(std::chrono::seconds(0))) {
		kill(fPid, SIGKILL);
		Wait(std::chrono::seconds(30));
	}
	if (fReader.joinable())
		fReader.join();
	if (fOutput >= 0)
		close(fOutput);
	if (fErrors >= 0)
		close(fErrors);
}

void ServerProcess::Reader()
{
	bool outputOpen = true;
	bool errorsOpen = true;
	while (outputOpen || errorsOpen) {
		struct pollfd watched[2] = {{outputOpen ? fOutput : -1, POLLIN, 0},
		                            {errorsOpen ? fErrors : -1, POLLIN, 0}};
		if (poll(watched, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		for (int index = 0; index < 2; index++) {
			if (watched[index].revents == 0)
				continue;
			char buffer[4096];
			ssize_t got = read(watched[index].fd, buffer, sizeof(buffer));
			if (got < 0 && errno == EINTR)
				continue;
			std::lock_guard lock(fLock);
			if (got <= 0) {
				(index == 0 ? outputOpen : errorsOpen) = false;
			} else {
				(index == 0 ? fOutputText : fErrorText).append(buffer, got);
			}
			fChanged.notify_all();
		}
	}
}

std::optional<int> ServerProcess::Wait(std::chrono::seconds timeout)
{
	if (fPid <= 0)
		return std::nullopt;
	auto deadline = std::chrono::steady_clock::now() + timeout;
	for (;;) {
		{
			std::lock_guard lock(fLock);
			if (fReaped)
				return fStatus;
		}
		int status;
		pid_t result = waitpid(fPid, &status, WNOHANG);
		if (result == fPid) {
			std::lock_guard lock(fLock);
			fReaped = true;
			if (WIFEXITED(status))
				fStatus = WEXITSTATUS(status);
			return fStatus;
		}
		if (std::chrono::steady_clock::now() >= deadline)
			return std::nullopt;
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	}
}

bool ServerProcess::WaitForLines(size_t count, std::chrono::seconds timeout)
{
	std::unique_lock lock(fLock);
	return fChanged.wait_for(lock, timeout, [&] {
		return (size_t)std::count(fOutputText.begin(), fOutputText.end(), '\n') >= count;
	});
}

void ServerProcess::Signal(int signal)
{
	if (fPid > 0)
		kill(fPid, signal);
}

std::string ServerProcess::Output()
{
	if (fReader.joinable() && fReaped)
		fReader.join();
	std::lock_guard lock(fLock);
	return fOutputText;
}

std::string ServerProcess::Errors()
{
	if (fReader.joinable() && fReaped)
		fReader.join();
	std::lock_guard lock(fLock);
	return fErrorText;
}

std::vector<std::string> Lines(const std::string& text)
{
	std::vector<std::string> lines;
	std::istringstream stream(text);
	std::string line;
	while (std::getline(stream, line))
		lines.push_back(line);
	return lines;
}

} // namespace stria::test
