#include "MessagingPort.h"

#include "LooperPort.h"
#include "MessagingProtocol.h"
#include "TokenRegistry.h"

#include <private/MessagingPortProblem.h>

#include <OS.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// A sender that connects and then says nothing is dropped after this long.
constexpr bigtime_t kHelloTimeout = 10000000;
// The welcome is a few bytes into an empty socket buffer; a sender that
// does not take it within this long is dropped.
constexpr bigtime_t kWelcomeTimeout = 1000000;
// Read from a connection before its hello is known, per round. A sender
// writes nothing but its hello before the welcome; whatever else is there
// stays in the socket for the looper to read.
constexpr size_t kPreHelloRead = 64;
// When accept fails for want of descriptors (or memory), the listener is
// left alone this long at first, then twice as long each time up to the
// maximum, unless a connection of the port closes first.
constexpr bigtime_t kFirstAcceptPause = 10000;
constexpr bigtime_t kLongestAcceptPause = 1000000;

// The port is never destroyed at exit: loopers may still use it while
// static objects go away. Only its socket file is removed then.
std::mutex sPortLock;
MessagingPort* sPort = nullptr;
std::atomic<MessagingPort*> sCurrent{nullptr};
// Why the last attempt to publish failed, in words; under sPortLock.
std::string sProblem;

// Removes the sockets that processes which have ended left behind.
void RemoveStaleSockets(const std::string& directory)
{
	DIR* folder = opendir(directory.c_str());
	if (folder == NULL)
		return;
	while (struct dirent* entry = readdir(folder)) {
		int pid = 0;
		if (sscanf(entry->d_name, "port-%d-", &pid) != 1 || pid <= 0)
			continue;
		if (kill(pid, 0) == 0 || errno != ESRCH)
			continue;
		// The process id may belong to another pid namespace: only a socket
		// that nobody answers any more is removed.
		std::string path = directory + "/" + entry->d_name;
		LocalSocket probe;
		if (LocalSocket::Connect(path.c_str(), &probe) == B_NAME_NOT_FOUND)
			unlinkat(dirfd(folder), entry->d_name, 0);
	}
	closedir(folder);
}

std::string RandomSuffix()
{
	uint64 value = 0;
	int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
	if (fd >= 0) {
		if (read(fd, &value, sizeof(value)) != ssize_t(sizeof(value)))
			value = 0;
		close(fd);
	}
	if (value == 0)
		value = uint64(system_time()) ^ (uint64(getpid()) << 32);
	char text[17];
	snprintf(text, sizeof(text), "%016llx", (unsigned long long)value);
	return text;
}

void RemovePortAtExit()
{
	std::lock_guard<std::mutex> guard(sPortLock);
	MessagingPort* port = MessagingPort::Current();
	if (port != nullptr)
		unlink(port->Path().c_str());
}

void RegisterCleanup()
{
	static bool sRegistered = (atexit(RemovePortAtExit), true);
	(void)sRegistered;
}

} // namespace

MessagingPort* MessagingPort::Published(status_t* error)
{
	MessagingPort* current = Current();
	if (current != nullptr)
		return current;
	std::lock_guard<std::mutex> guard(sPortLock);
	if (sPort != nullptr && sPort->fTeam == getpid())
		return sPort;
	std::string directory;
	std::string problem;
	status_t status = LocalSocket::RuntimeDirectory(&directory, &problem);
	if (status != B_OK)
		problem = "no usable runtime directory: " + problem;
	std::unique_ptr<MessagingPort> port;
	if (status == B_OK) {
		status = _Create(directory, &port);
		if (status != B_OK) {
			problem = "cannot listen in " + directory + ": ";
			switch (status) {
			case B_NAME_IN_USE:
				problem += "a file of the port's name is in the way";
				break;
			case B_NO_MORE_FDS:
				problem += "no file descriptor left";
				break;
			case B_PERMISSION_DENIED:
				problem += "permission denied";
				break;
			default:
				problem += "error " + std::to_string(status);
			}
		}
	}
	if (status != B_OK) {
		sProblem = problem;
		if (error != nullptr)
			*error = status;
		return nullptr;
	}
	sProblem.clear();
	// A port inherited through fork belongs to the parent and has no thread
	// here: it is left alone.
	sPort = port.release();
	sCurrent.store(sPort);
	RegisterCleanup();
	return sPort;
}

std::string MessagingPort::Problem()
{
	std::lock_guard<std::mutex> guard(sPortLock);
	return sProblem;
}

std::string message_port_problem()
{
	return MessagingPort::Problem();
}

MessagingPort* MessagingPort::Current()
{
	MessagingPort* current = sCurrent.load();
	return current != nullptr && current->fTeam == getpid() ? current : nullptr;
}

status_t MessagingPort::PublishIn(const char* directory)
{
	std::unique_ptr<MessagingPort> port;
	status_t status = _Create(directory, &port);
	if (status != B_OK)
		return status;
	MessagingPort* replaced;
	{
		std::lock_guard<std::mutex> guard(sPortLock);
		replaced = sPort != nullptr && sPort->fTeam == getpid() ? sPort : nullptr;
		sPort = port.release();
		sCurrent.store(sPort);
	}
	RegisterCleanup();
	delete replaced;
	return B_OK;
}

status_t MessagingPort::_Create(const std::string& directory,
                                std::unique_ptr<MessagingPort>* created)
{
	RemoveStaleSockets(directory);
	std::unique_ptr<MessagingPort> port(new MessagingPort);
	port->fTeam = getpid();
	port->fPath = directory + "/port-" + std::to_string(port->fTeam) + "-" + RandomSuffix();
	status_t status = LocalSocket::Listen(port->fPath.c_str(), &port->fListener);
	if (status != B_OK)
		return status;
	port->fListener.SetNonBlocking(true);
	port->fWakeFD = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
	if (port->fWakeFD < 0) {
		unlink(port->fPath.c_str());
		return B_NO_MEMORY;
	}
	port->fThread = std::thread(&MessagingPort::_AcceptLoop, port.get());
	*created = std::move(port);
	return B_OK;
}

MessagingPort::~MessagingPort()
{
	if (fThread.joinable()) {
		uint64_t one = 1;
		while (write(fWakeFD, &one, sizeof(one)) < 0 && errno == EINTR) {
		}
		fThread.join();
	}
	if (fListener.IsOpen())
		unlink(fPath.c_str());
	if (fWakeFD >= 0)
		close(fWakeFD);
}

void MessagingPort::_AcceptLoop()
{
	std::vector<struct pollfd> watched;
	for (;;) {
		bool listening = fAcceptPausedUntil == 0;
		watched.clear();
		watched.push_back({fWakeFD, POLLIN, 0});
		// While accept cannot get a descriptor the listener stays readable:
		// watching it then would spin.
		watched.push_back({listening ? fListener.FD() : -1, POLLIN, 0});
		bigtime_t nextDeadline = listening ? B_INFINITE_TIMEOUT : fAcceptPausedUntil;
		for (auto& pending : fPending) {
			watched.push_back({pending->socket.FD(), POLLIN, 0});
			nextDeadline = std::min(nextDeadline, pending->deadline);
		}
		int waitMs = -1;
		if (nextDeadline != B_INFINITE_TIMEOUT) {
			bigtime_t left = nextDeadline - system_time();
			waitMs = left <= 0 ? 0 : int(std::min<bigtime_t>(left / 1000 + 1, INT_MAX));
		}
		int result = poll(watched.data(), watched.size(), waitMs);
		if (result < 0 && errno != EINTR)
			return;
		if (watched[0].revents != 0)
			return;

		bigtime_t now = system_time();
		size_t pendingBefore = fPending.size();
		for (size_t i = fPending.size(); i-- > 0;) {
			bool done;
			if (watched[i + 2].revents != 0)
				done = _Serve(*fPending[i]);
			else
				done = fPending[i]->deadline <= now;
			if (done)
				fPending.erase(fPending.begin() + ptrdiff_t(i));
		}
		// A connection given up or handed on may have freed a descriptor.
		if (!listening && (fPending.size() < pendingBefore || fAcceptPausedUntil <= now))
			fAcceptPausedUntil = 0;
		if (fAcceptPausedUntil == 0 && (!listening || watched[1].revents != 0))
			_Accept();
	}
}

void MessagingPort::_Accept()
{
	for (;;) {
		LocalSocket peer;
		status_t status = fListener.Accept(&peer);
		if (status == B_PERMISSION_DENIED) {
			// Checked on every connection, whatever the file modes allowed.
			fRefusedPeers++;
			continue;
		}
		if (status == B_WOULD_BLOCK) {
			// Everyone waiting has been taken: the shortage is over.
			if (fAcceptPause != 0) {
				fprintf(stderr, "stria: message port %s: accepting connections again\n",
				        fPath.c_str());
				fAcceptPause = 0;
			}
			return;
		}
		if (status != B_OK) {
			_PauseAccepting(status);
			return;
		}
		peer.SetNonBlocking(true);
		auto pending = std::make_unique<Pending>();
		pending->socket = std::move(peer);
		pending->deadline = system_time() + kHelloTimeout;
		// A sender writes its hello right after connecting: most are
		// served here and never wait in the list.
		if (_Serve(*pending))
			continue;
		fPending.push_back(std::move(pending));
		if (fPending.size() > kMaxPendingConnections) {
			// The one that has kept silent longest goes.
			fPending.erase(fPending.begin());
			fDroppedSilent++;
		}
	}
}

void MessagingPort::_PauseAccepting(status_t why)
{
	// Said once for each time the port runs short, not on every retry.
	if (fAcceptPause == 0) {
		fprintf(stderr,
		        "stria: message port %s: cannot accept connections (%s); waiting until "
		        "a file descriptor is free\n",
		        fPath.c_str(),
		        why == B_NO_MORE_FDS ? "no file descriptor left"
		        : why == B_NO_MEMORY ? "out of memory"
		                             : "accept failed");
		fAcceptPause = kFirstAcceptPause;
	} else {
		fAcceptPause = std::min(fAcceptPause * 2, kLongestAcceptPause);
	}
	fAcceptPauses++;
	fAcceptPausedUntil = system_time() + fAcceptPause;
}

bool MessagingPort::_Serve(Pending& pending)
{
	status_t status = pending.reader.ReadFrom(pending.socket.FD(), kPreHelloRead);
	std::vector<char> body;
	if (!pending.reader.NextFrame(&body)) {
		// The reader refuses a first frame longer than a hello, so what a
		// connection buffers before it is known stays within a few rounds'
		// reads.
		return status != B_OK || pending.reader.Failed() ||
		       pending.reader.BufferedSize() > kMaxPreHelloBytes;
	}

	int32 looperToken;
	int32 team;
	if (MessagingProtocol::ReadHello(body.data(), body.size(), &looperToken, &team) != B_OK)
		return true;

	LooperEntry entry;
	status_t answer =
	        TokenRegistry::Default().FindLooper(looperToken, &entry) && entry.port != nullptr
	                ? status_t(B_OK)
	                : status_t(B_BAD_HANDLER);
	std::vector<char> welcome;
	MessagingProtocol::MakeWelcome(answer, &welcome);
	if (pending.socket.SendFrame(welcome.data(), welcome.size(), kWelcomeTimeout) != B_OK ||
	    answer != B_OK) {
		return true;
	}
	entry.port->AddConnection(std::move(pending.socket), pending.reader.Buffered(),
	                          pending.reader.BufferedSize());
	return true;
}

} // namespace BPrivate
