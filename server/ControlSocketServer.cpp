// Answering control requests.
#include "ControlSocketServer.h"

#include "StatusText.h"
#include "WritablePaths.h"

#include <private/FrameReader.h>
#include <private/InputServerControl.h>

#include <Message.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace stria {

namespace {

// A request is a device name, a code and one small message.
const size_t kMaxRequestSize = 64 * 1024;
const std::string kFullRunEnd =
        "connections closed at once while " + std::to_string(ControlSocketServer::kMaxClients) +
        " were open";
// How long accepting pauses when the process has no file descriptor left
// and no client of ours leaves to free one.
const bigtime_t kAcceptPause = 1000000;

// Milliseconds from now until when, rounded up, for poll.
int PollTimeout(bigtime_t now, bigtime_t when)
{
	if (when <= now)
		return 0;
	bigtime_t milliseconds = (when - now + 999) / 1000;
	return milliseconds > 60000 ? 60000 : (int)milliseconds;
}

} // namespace

// One client of the control socket, read and answered without blocking:
// its request is taken in whatever pieces it comes, run, and the answer
// written as the socket takes it.
class ControlSocketServer::Client {
public:
	enum Outcome {
		kPending,
		// Answered (a malformed request is answered too, B_BAD_DATA).
		kAnswered,
		kAnsweredMalformed,
		// Closed without a request: somebody checked that we are there.
		kLeftQuietly,
		// No valid request; Why() says what went wrong.
		kInvalid
	};

	Client(int fd, bigtime_t deadline) : fFD(fd), fReader(kMaxRequestSize), fDeadline(deadline)
	{
		fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
	}

	Client(BPrivate::LocalSocket socket, bigtime_t deadline) : Client(socket.FD(), deadline)
	{
		fOwned = std::move(socket);
	}

	int FD() const { return fFD; }
	short Events() const { return fReply.empty() ? POLLIN : POLLOUT; }
	bigtime_t Deadline() const { return fDeadline; }
	status_t Why() const { return fWhy; }

	// Goes on as far as the socket lets it.
	Outcome Step(const Controller& controller)
	{
		if (fReply.empty()) {
			status_t status = fReader.ReadFrom(fFD, kMaxRequestSize);
			std::vector<char> frame;
			if (fReader.NextFrame(&frame))
				_Answer(frame, controller);
			else if (status == B_IO_ERROR)
				return kLeftQuietly;
			else if (status != B_OK) {
				fWhy = status;
				return kInvalid;
			} else
				return kPending;
		}
		size_t sent = 0;
		BPrivate::LocalSocket socket(fFD);
		status_t status = socket.SendAll(fReply.data() + fSent, fReply.size() - fSent, 0, &sent);
		socket.Release();
		fSent += sent;
		if (fSent < fReply.size() && (status == B_WOULD_BLOCK || status == B_TIMED_OUT))
			return kPending;
		// Answered, or the client left before it took the answer.
		return fMalformed ? kAnsweredMalformed : kAnswered;
	}

private:
	void _Answer(const std::vector<char>& frame, const Controller& controller)
	{
		BPrivate::InputServerControlRequest request;
		status_t result = BPrivate::decode_control_request(frame.data(), frame.size(), &request);
		if (result != B_OK)
			fMalformed = true;
		else {
			result = controller(request.device.c_str(), request.code,
			                    request.hasMessage ? &request.message : nullptr);
		}
		std::vector<char> body;
		if (!FlattenReply(result, &body))
			return;
		fReply.resize(BPrivate::LocalSocket::kFrameHeaderSize + body.size());
		BPrivate::LocalSocket::WriteFrameHeader(fReply.data(), body.size());
		memcpy(fReply.data() + BPrivate::LocalSocket::kFrameHeaderSize, body.data(), body.size());
	}

	BPrivate::LocalSocket fOwned;
	int fFD;
	BPrivate::FrameReader fReader;
	bigtime_t fDeadline;
	std::vector<char> fReply;
	size_t fSent = 0;
	bool fMalformed = false;
	status_t fWhy = B_OK;
};

ControlSocketServer::ControlSocketServer(Controller controller, Logger log,
                                         bigtime_t clientDeadline, bigtime_t logFoldTime)
    : fController(std::move(controller)), fLog(std::move(log)), fClientDeadline(clientDeadline),
      fLogFoldTime(logFoldTime)
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
	std::vector<std::unique_ptr<Client>> clients;
	bigtime_t acceptPausedUntil = 0;
	std::vector<struct pollfd> watched;
	for (;;) {
		bigtime_t now = system_time();
		size_t before = clients.size();
		std::erase_if(clients, [&](const std::unique_ptr<Client>& client) {
			if (client->Deadline() > now)
				return false;
			StartOrCount(fInvalidRun, "control socket: no valid request (" +
			                                  StatusText(B_TIMED_OUT) + "); connection closed");
			fServed++;
			return true;
		});
		if (clients.size() < before)
			acceptPausedUntil = 0;

		bool accepting = now >= acceptPausedUntil;
		bigtime_t wake = accepting ? B_INFINITE_TIMEOUT : acceptPausedUntil;
		watched.clear();
		watched.push_back({fWake[0], POLLIN, 0});
		watched.push_back({accepting ? fListener.FD() : -1, POLLIN, 0});
		for (const std::unique_ptr<Client>& client : clients) {
			watched.push_back({client->FD(), client->Events(), 0});
			wake = std::min(wake, client->Deadline());
		}
		int ready = poll(watched.data(), watched.size(),
		                 wake == B_INFINITE_TIMEOUT ? -1 : PollTimeout(now, wake));
		if (ready < 0) {
			if (errno == EINTR)
				continue;
			fLog("control socket: poll failed; no more control requests are taken");
			return;
		}
		if (watched[0].revents != 0) {
			EndRun(fInvalidRun, "connections closed without a valid request", true);
			EndRun(fFullRun, kFullRunEnd, true);
			return;
		}

		for (size_t index = 0; index < clients.size(); index++) {
			if (watched[index + 2].revents == 0)
				continue;
			Client::Outcome outcome = clients[index]->Step(fController);
			switch (outcome) {
			case Client::kPending:
				continue;
			case Client::kAnswered:
				EndRun(fInvalidRun, "connections closed without a valid request");
				break;
			case Client::kAnsweredMalformed:
				StartOrCount(fInvalidRun, "control socket: refused a malformed request");
				break;
			case Client::kLeftQuietly:
				break;
			case Client::kInvalid:
				StartOrCount(fInvalidRun, "control socket: no valid request (" +
				                                  StatusText(clients[index]->Why()) +
				                                  "); connection closed");
				break;
			}
			fServed++;
			clients[index].reset();
			acceptPausedUntil = 0;
		}
		std::erase(clients, nullptr);

		if ((watched[1].revents & POLLIN) != 0 && !Accept(clients))
			acceptPausedUntil = system_time() + kAcceptPause;
	}
}

bool ControlSocketServer::Accept(std::vector<std::unique_ptr<Client>>& clients)
{
	for (;;) {
		int fd = accept4(fListener.FD(), NULL, NULL, SOCK_CLOEXEC);
		if (fd < 0) {
			if (errno == EINTR)
				continue;
			if (errno == EMFILE || errno == ENFILE) {
				// The connection stays in the backlog: stop looking at the
				// listener for now instead of finding it ready again at once.
				if (!fOutOfDescriptors) {
					fLog("control socket: out of file descriptors; accepting pauses until a "
					     "connection closes");
				}
				fOutOfDescriptors = true;
				return false;
			}
			return true; // nothing more waiting, or the peer left before it was taken
		}
		fOutOfDescriptors = false;
		BPrivate::LocalSocket peer(fd);
		if (peer.CheckPeer() != B_OK) {
			fLog("control socket: refused a connection from another user");
			Refuse(peer);
			continue;
		}
		if (clients.size() >= kMaxClients) {
			StartOrCount(fFullRun, "control socket: " + std::to_string(kMaxClients) +
			                               " connections open already; new ones are closed at "
			                               "once");
			continue;
		}
		EndRun(fFullRun, kFullRunEnd);
		clients.push_back(std::make_unique<Client>(std::move(peer),
		                                           system_time() + fClientDeadline));
		size_t most = fMostClients.load();
		if (clients.size() > most)
			fMostClients = clients.size();
	}
}

void ControlSocketServer::StartOrCount(Run& run, const std::string& first)
{
	if (run.events.Drop()) {
		run.started = system_time();
		fLog(first);
	}
}

void ControlSocketServer::EndRun(Run& run, const std::string& what, bool force)
{
	if (!run.events.InRun() || (!force && system_time() - run.started < fLogFoldTime))
		return;
	int64 more = run.events.EndRun();
	if (more > 0)
		fLog("control socket: " + std::to_string(more) + " more " + what);
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
	Client client(peer.FD(), system_time() + timeout);
	for (;;) {
		switch (client.Step(controller)) {
		case Client::kPending:
			break;
		case Client::kAnswered:
		case Client::kLeftQuietly:
			return;
		case Client::kAnsweredMalformed:
			log("control socket: refused a malformed request");
			return;
		case Client::kInvalid:
			log("control socket: no valid request (" + StatusText(client.Why()) +
			    "); connection closed");
			return;
		}
		bigtime_t now = system_time();
		if (now >= client.Deadline()) {
			log("control socket: no valid request (" + StatusText(B_TIMED_OUT) +
			    "); connection closed");
			return;
		}
		struct pollfd watched = {client.FD(), client.Events(), 0};
		poll(&watched, 1, PollTimeout(now, client.Deadline()));
	}
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
