// Runs a program as a child process with its standard input, output and
// error on pipes, for black-box tests.
#ifndef STRIA_TEST_SERVER_PROCESS_H
#define STRIA_TEST_SERVER_PROCESS_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace stria::test {

class ServerProcess {
public:
	// Starts program with arguments; input goes to its standard input,
	// which is then closed.
	ServerProcess(const std::string& program, const std::vector<std::string>& arguments,
	              const std::string& input = {});
	~ServerProcess(); // kills the child if it still runs

	// Waits for the child to end; its exit status, or nothing after
	// timeout (or when it died from a signal).
	std::optional<int> Wait(std::chrono::seconds timeout);

	// Waits until standard output holds at least count lines.
	bool WaitForLines(size_t count, std::chrono::seconds timeout);

	void Signal(int signal);
	pid_t Pid() const { return fPid; }

	std::string Output();
	std::string Errors();

private:
	void Reader();

	pid_t fPid = -1;
	int fOutput = -1;
	int fErrors = -1;
	std::mutex fLock;
	std::condition_variable fChanged;
	std::string fOutputText;
	std::string fErrorText;
	std::thread fReader;
	std::optional<int> fStatus;
	bool fReaped = false;
};

std::vector<std::string> Lines(const std::string& text);

} // namespace stria::test

#endif // STRIA_TEST_SERVER_PROCESS_H
