// The server's control socket: lets applications in other processes reach
// find_input_device/BInputDevice::Control. Only Control requests are taken
// (device name, code, optional message), each answered with the device's
// status; peers of another user are answered B_PERMISSION_DENIED without
// their request being read, and logged.
#ifndef STRIA_CONTROL_SOCKET_SERVER_H
#define STRIA_CONTROL_SOCKET_SERVER_H

#include <SupportDefs.h>
#include <private/LocalSocket.h>

#include <functional>
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

	ControlSocketServer(Controller controller, Logger log);
	~ControlSocketServer();

	ControlSocketServer(const ControlSocketServer&) = delete;
	ControlSocketServer& operator=(const ControlSocketServer&) = delete;

	// Listens at path and starts answering on a thread of its own. On
	// failure, error says why.
	bool Start(const std::string& path, std::string* error);
	// Stops answering and removes the socket file.
	void Stop();

	// Serves one accepted connection: reads one request (waiting at most
	// timeout), runs it and replies. Exposed for tests and fuzzing.
	static void Serve(const BPrivate::LocalSocket& peer, const Controller& controller,
	                  const Logger& log, bigtime_t timeout);

private:
	void Loop();
	// Answers a peer of another user with B_PERMISSION_DENIED.
	static void Refuse(const BPrivate::LocalSocket& peer);
	static bool FlattenReply(status_t result, std::vector<char>* bytes);

	Controller fController;
	Logger fLog;
	BPrivate::LocalSocket fListener;
	std::string fPath;
	int fWake[2] = {-1, -1};
	std::thread fThread;
};

} // namespace stria

#endif // STRIA_CONTROL_SOCKET_SERVER_H
