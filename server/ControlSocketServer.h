// The server's control socket: lets applications in other processes reach
// find_input_device/BInputDevice::Control. Only Control requests are taken
// (device name, code, optional message), each answered with the device's
// status; peers of another user are answered B_PERMISSION_DENIED without
// their request being read, and logged.
//
// Clients are served side by side by one thread that waits on all of them:
// each has kClientDeadline from its connection to send its request and take
// the answer, so no number of silent or slow clients delays a real request
// by more than that. At most kMaxClients connections are open; more are
// closed at once. When the process runs out of file descriptors, accepting
// pauses until a client leaves (or a while has passed).
#ifndef STRIA_CONTROL_SOCKET_SERVER_H
#define STRIA_CONTROL_SOCKET_SERVER_H

#include <DropCounter.h>
#include <SupportDefs.h>
#include <private/LocalSocket.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

class BMessage;

namespace stria {

class ControlSocketServer {
public:
	using Logger = std::function<void(const std::string&)>;
	// Runs one Control call: device name, code, message (null: none).
	using Controller = std::function<status_t(const char*, uint32, BMessage*)>;

	// Connections open at once; more are closed as soon as they come.
	static constexpr size_t kMaxClients = 64;
	// How long a client has for its request and the answer.
	static constexpr bigtime_t kClientDeadline = 1000000;

	// Shortest time a run of like log lines is folded into one: under a
	// flood of connections the log gets a line or two per this time.
	static constexpr bigtime_t kLogFoldTime = 10000000;

	// clientDeadline: see kClientDeadline; logFoldTime: see kLogFoldTime.
	ControlSocketServer(Controller controller, Logger log,
	                    bigtime_t clientDeadline = kClientDeadline,
	                    bigtime_t logFoldTime = kLogFoldTime);
	~ControlSocketServer();

	ControlSocketServer(const ControlSocketServer&) = delete;
	ControlSocketServer& operator=(const ControlSocketServer&) = delete;

	// Listens at path and starts answering on a thread of its own. On
	// failure, error says why.
	bool Start(const std::string& path, std::string* error);
	// Stops answering and removes the socket file.
	void Stop();

	// Serves one accepted connection on its own, as the socket's thread
	// serves each: reads one request (waiting at most timeout), runs it and
	// replies. Exposed for tests and fuzzing.
	static void Serve(const BPrivate::LocalSocket& peer, const Controller& controller,
	                  const Logger& log, bigtime_t timeout);

	// Connections served so far (answered or closed), and the most that
	// were open at once; for tests.
	uint64_t CountServed() const { return fServed.load(); }
	size_t MostClients() const { return fMostClients.load(); }

private:
	class Client;

	void Loop();
	// Takes every connection waiting; false when the process is out of
	// file descriptors.
	bool Accept(std::vector<std::unique_ptr<Client>>& clients);
	// Logs the first of a run of like events at once and counts the rest;
	// EndRun logs the count, if any, as one line, once the run is at least
	// the fold time old (or at once with force).
	struct Run {
		DropCounter events;
		bigtime_t started = 0;
	};
	void StartOrCount(Run& run, const std::string& first);
	void EndRun(Run& run, const std::string& what, bool force = false);
	// Answers a peer of another user with B_PERMISSION_DENIED.
	static void Refuse(const BPrivate::LocalSocket& peer);
	static bool FlattenReply(status_t result, std::vector<char>* bytes);

	Controller fController;
	Logger fLog;
	bigtime_t fClientDeadline;
	bigtime_t fLogFoldTime;
	BPrivate::LocalSocket fListener;
	std::string fPath;
	int fWake[2] = {-1, -1};
	std::thread fThread;
	std::atomic<uint64_t> fServed{0};
	std::atomic<size_t> fMostClients{0};
	// Runs of log lines, folded (touched by the socket's thread only).
	Run fInvalidRun;
	Run fFullRun;
	bool fOutOfDescriptors = false;
};

} // namespace stria

#endif // STRIA_CONTROL_SOCKET_SERVER_H
