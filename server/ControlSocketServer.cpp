// Answering control requests.
#include "ControlSocketServer.h"

#include "StatusText.h"
#include "WritablePaths.h"

#include <private/InputServerControl.h>

#include <Message.h>

#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <vector>

namespace stria {

namespace {

// A request is a device name, a code and one small message.
const size_t kMaxRequestSize = 64 * 1024;
// How long one client may take to send its request or read the answer;
// clients are served one after the other.
const bigtime_t kClientTimeout = 1000000;

} // namespace

ControlSocketServer::ControlSocketServer(Controller controller, Logger log)
    : fController(std::move(controller)), fLog(std::move(log))
{
}

ControlSocketServer::~ControlSocketServer()
{
	Stop();
}

bool ControlSocketServer::Start(const std::string& path, std::string* error)
{
	status_t status = BPrivate::LocalSocket::Listen(path.c_str(), &fListener);
	if (status != B_OK) {
		if (std::optional<PathProblem> problem = ControlSocketPathProblem(path))
			*error = problem->message;
		else
			*error = "cannot listen on control socket " + path + ": " + StatusText(status);
		return false;
	}
	fListener.SetNonBlocking(true);
	if (pipe2(fWake, O_CLOEXEC | O_NONBLOCK) != 0) {
		*error = "cannot start the control socket's thread";
		fListener.Close();
		unlink(path.c_str());
		return false;
	}
	fPath = path;
	fThread = std::thread(&ControlSocketServer::Loop, this);
	return true;
}

void ControlSocketServer::Stop()
{
	if (fThread.joinable()) {
		char wake = 1;
		while (write(fWake[1], &wake, 1) < 0 && errno == EINTR) {
		}
		fThread.join();
	}
	for (int& fd : fWake) {
		if (fd >= 0)
			close(fd);
		fd = -1;
	}
	if (fListener.IsOpen()) {
		fListener.Close();
		unlink(fPath.c_str());
	}
}

void ControlSocketServer::Loop()
{
	for (;;) {
		struct pollfd watched[2] = {{fListener.FD(), POLLIN, 0}, {fWake[0], POLLIN, 0}};
		int ready = poll(watched, 2, -1);
		if (ready < 0) {
			if (errno == EINTR)
				continue;
			fLog("control socket: poll failed; no more control requests are taken");
			return;
		}
		if (watched[1].revents != 0)
			return;
		if ((watched[0].revents & POLLIN) == 0)
			continue;

		BPrivate::LocalSocket peer;
		BPrivate::LocalSocket refused;
		status_t status = fListener.Accept(&peer, &refused);
		if (status == B_PERMISSION_DENIED) {
			fLog("control socket: refused a connection from another user");
			if (refused.IsOpen())
				Refuse(refused);
			continue;
		}
		if (status != B_OK)
			continue; // the peer left before it was taken, or nothing was waiting
		Serve(peer, fController, fLog, kClientTimeout);
	}
}

void ControlSocketServer::Refuse(const BPrivate::LocalSocket& peer)
{
	// The peer learns why before the connection closes; a peer that does
	// not read at once is not waited for.
	std::vector<char> bytes;
	if (FlattenReply(B_PERMISSION_DENIED, &bytes))
		peer.SendFrame(bytes.data(), bytes.size(), 0);
}

void ControlSocketServer::Serve(const BPrivate::LocalSocket& peer, const Controller& controller,
                                const Logger& log, bigtime_t timeout)
{
	std::vector<char> frame;
	status_t status = peer.ReceiveFrame(&frame, timeout, kMaxRequestSize);
	if (status == B_IO_ERROR)
		return; // closed without a request: somebody checked that we are there
	if (status != B_OK) {
		log("control socket: no valid request (" + StatusText(status) + "); connection closed");
		return;
	}

	BPrivate::InputServerControlRequest request;
	status_t result = BPrivate::decode_control_request(frame.data(), frame.size(), &request);
	if (result != B_OK) {
		log("control socket: refused a malformed request");
	} else {
		result = controller(request.device.c_str(), request.code,
		                    request.hasMessage ? &request.message : nullptr);
	}

	std::vector<char> bytes;
	if (FlattenReply(result, &bytes))
		peer.SendFrame(bytes.data(), bytes.size(), timeout);
}

bool ControlSocketServer::FlattenReply(status_t result, std::vector<char>* bytes)
{
	BMessage reply;
	BPrivate::make_control_reply(result, &reply);
	ssize_t size = reply.FlattenedSize();
	if (size < 0)
		return false;
	bytes->resize(size);
	return reply.Flatten(bytes->data(), size) == B_OK;
}

} // namespace stria
