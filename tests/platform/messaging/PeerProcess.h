// The messaging_peer program, started for one test and never left behind.
#ifndef STRIA_PEER_PROCESS_H
#define STRIA_PEER_PROCESS_H

#include <OS.h>

#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

extern char** environ;

namespace messaging_test {

class PeerProcess {
public:
	explicit PeerProcess(const std::vector<std::string>& arguments)
	{
		std::string program = std::string(STRIA_BINARY_DIR) + "/bin/messaging_peer";
		std::vector<char*> argv;
		argv.push_back(program.data());
		std::vector<std::string> copies = arguments;
		for (std::string& argument : copies)
			argv.push_back(argument.data());
		argv.push_back(nullptr);
		if (posix_spawn(&fPid, program.c_str(), NULL, NULL, argv.data(), environ) != 0)
			fPid = -1;
	}

	~PeerProcess()
	{
		if (fPid > 0) {
			kill(fPid, SIGKILL);
			waitpid(fPid, NULL, 0);
		}
	}

	PeerProcess(const PeerProcess&) = delete;
	PeerProcess& operator=(const PeerProcess&) = delete;

	pid_t Pid() const { return fPid; }
	bool IsRunning() const { return fPid > 0 && kill(fPid, 0) == 0; }

	// The exit status, or -1 when the process had to be killed after the
	// time allowed.
	int Wait(int seconds = 30)
	{
		bigtime_t deadline = system_time() + bigtime_t(seconds) * 1000000;
		while (fPid > 0) {
			int status;
			pid_t result = waitpid(fPid, &status, WNOHANG);
			if (result == fPid) {
				fPid = -1;
				return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
			}
			if (system_time() > deadline)
				break;
			snooze(2000);
		}
		return -1;
	}

	void Kill()
	{
		if (fPid > 0) {
			kill(fPid, SIGKILL);
			waitpid(fPid, NULL, 0);
			fPid = -1;
		}
	}

private:
	pid_t fPid = -1;
};

} // namespace messaging_test

#endif // STRIA_PEER_PROCESS_H
