#include <private/LocalSocket.h>

#include <OS.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace BPrivate {

namespace {

bigtime_t DeadlineFor(bigtime_t timeout)
{
	if (timeout == B_INFINITE_TIMEOUT || timeout < 0)
		return B_INFINITE_TIMEOUT;
	bigtime_t now = system_time();
	return timeout > B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + timeout;
}

// Waits until fd is ready for events or the deadline passes.
status_t WaitFor(int fd, short events, bigtime_t deadline, bool zeroTimeout)
{
	for (;;) {
		int waitMs = -1;
		if (deadline != B_INFINITE_TIMEOUT) {
			bigtime_t left = deadline - system_time();
			if (left <= 0)
				waitMs = 0;
			else
				waitMs = int(std::min<bigtime_t>((left + 999) / 1000, INT_MAX));
		}
		struct pollfd entry = {fd, events, 0};
		int result = poll(&entry, 1, waitMs);
		if (result > 0)
			return B_OK;
		if (result < 0 && errno == EINTR)
			continue;
		if (result < 0)
			return B_IO_ERROR;
		if (waitMs == 0)
			return zeroTimeout ? B_WOULD_BLOCK : B_TIMED_OUT;
	}
}

static_assert(LocalSocket::kMaxPathLength + 1 == sizeof(sockaddr_un::sun_path));

bool FillAddress(const char* path, struct sockaddr_un* address)
{
	if (path == NULL || path[0] == '\0')
		return false;
	size_t length = strlen(path);
	if (length >= sizeof(address->sun_path))
		return false;
	memset(address, 0, sizeof(*address));
	address->sun_family = AF_UNIX;
	memcpy(address->sun_path, path, length + 1);
	return true;
}

status_t FromErrno(int error)
{
	switch (error) {
	case ENOENT:
	case ECONNREFUSED:
	case ENOTDIR:
		return B_NAME_NOT_FOUND;
	case EACCES:
	case EPERM:
		return B_PERMISSION_DENIED;
	case ENOMEM:
	case ENOBUFS:
		return B_NO_MEMORY;
	case ETIMEDOUT:
		return B_TIMED_OUT;
	case EAGAIN:
		return B_WOULD_BLOCK;
	case EMFILE:
	case ENFILE:
		return B_NO_MORE_FDS;
	default:
		return B_IO_ERROR;
	}
}

bool MakeDirectory(const std::string& path)
{
	return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

LocalSocket::LocalSocket(LocalSocket&& other) noexcept : fFD(other.Release()) {}

LocalSocket& LocalSocket::operator=(LocalSocket&& other) noexcept
{
	if (this != &other) {
		Close();
		fFD = other.Release();
	}
	return *this;
}

LocalSocket::~LocalSocket()
{
	Close();
}

int LocalSocket::Release()
{
	int fd = fFD;
	fFD = -1;
	return fd;
}

void LocalSocket::Close()
{
	if (fFD >= 0)
		close(fFD);
	fFD = -1;
}

status_t LocalSocket::CheckPrivateDirectory(const char* path, std::string* problem)
{
	auto refuse = [&](status_t status, const std::string& why) {
		if (problem != nullptr)
			*problem = std::string(path) + " " + why;
		return status;
	};
	struct stat info;
	if (lstat(path, &info) != 0) {
		int error = errno;
		return refuse(FromErrno(error), error == ENOENT ? "does not exist"
		                                               : std::string("cannot be examined: ") +
		                                                         strerror(error));
	}
	if (S_ISLNK(info.st_mode))
		return refuse(B_PERMISSION_DENIED, "is a symbolic link, not a directory");
	if (!S_ISDIR(info.st_mode))
		return refuse(B_PERMISSION_DENIED, "is not a directory");
	if (info.st_uid != geteuid()) {
		return refuse(B_PERMISSION_DENIED, "belongs to user " + std::to_string(info.st_uid) +
		                                           ", not to this user (" +
		                                           std::to_string(geteuid()) + ")");
	}
	if ((info.st_mode & 0077) != 0) {
		char mode[8];
		snprintf(mode, sizeof(mode), "%04o", unsigned(info.st_mode & 07777));
		return refuse(B_PERMISSION_DENIED, std::string("has mode ") + mode +
		                                           "; group and others must have no access "
		                                           "(0700)");
	}
	return B_OK;
}

status_t LocalSocket::RuntimeDirectory(std::string* path, std::string* problem)
{
	std::string directory;
	const char* runtime = getenv("XDG_RUNTIME_DIR");
	if (runtime != NULL && runtime[0] == '/') {
		directory = std::string(runtime) + "/stria";
	} else {
		std::string userRun = "/run/user/" + std::to_string(geteuid());
		struct stat info;
		if (stat(userRun.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
			directory = userRun + "/stria";
		else
			directory = "/tmp/stria-" + std::to_string(geteuid());
	}
	if (!MakeDirectory(directory)) {
		int error = errno;
		if (problem != nullptr)
			*problem = directory + " does not exist and cannot be created: " + strerror(error);
		return FromErrno(error);
	}
	status_t status = CheckPrivateDirectory(directory.c_str(), problem);
	if (status != B_OK)
		return status;
	*path = directory;
	return B_OK;
}

status_t LocalSocket::Listen(const char* path, LocalSocket* listener)
{
	struct sockaddr_un address;
	if (!FillAddress(path, &address))
		return B_BAD_VALUE;

	struct stat info;
	if (lstat(path, &info) == 0) {
		if (!S_ISSOCK(info.st_mode))
			return B_NAME_IN_USE;
		// Replace the socket only if nobody answers at it any more.
		LocalSocket probe;
		status_t status = Connect(path, &probe);
		if (status == B_OK || status == B_PERMISSION_DENIED)
			return B_NAME_IN_USE;
		unlink(path);
	}

	LocalSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
	if (!socket.IsOpen())
		return FromErrno(errno);
	if (bind(socket.FD(), (struct sockaddr*)&address, sizeof(address)) != 0)
		return errno == EADDRINUSE ? B_NAME_IN_USE : FromErrno(errno);
	// The directory keeps others out already; the mode says so once more.
	if (chmod(path, 0600) != 0 || listen(socket.FD(), SOMAXCONN) != 0) {
		status_t status = FromErrno(errno);
		unlink(path);
		return status;
	}
	*listener = std::move(socket);
	return B_OK;
}

status_t LocalSocket::Connect(const char* path, LocalSocket* socket)
{
	return Connect(path, socket, B_INFINITE_TIMEOUT);
}

status_t LocalSocket::Connect(const char* path, LocalSocket* socket, bigtime_t timeout)
{
	struct sockaddr_un address;
	if (!FillAddress(path, &address))
		return B_BAD_VALUE;
	int flags = SOCK_STREAM | SOCK_CLOEXEC | (timeout == 0 ? SOCK_NONBLOCK : 0);
	LocalSocket connection(::socket(AF_UNIX, flags, 0));
	if (!connection.IsOpen())
		return FromErrno(errno);
	// A connect waits only while the listener's backlog is full; the
	// kernel bounds that wait by the send time-out.
	bool bounded = timeout > 0 && timeout != B_INFINITE_TIMEOUT;
	if (bounded) {
		struct timeval limit = {time_t(timeout / 1000000), suseconds_t(timeout % 1000000)};
		setsockopt(connection.FD(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
	}
	int result;
	do {
		result = connect(connection.FD(), (struct sockaddr*)&address, sizeof(address));
	} while (result != 0 && errno == EINTR);
	if (result != 0) {
		if (errno == EAGAIN || errno == EINPROGRESS)
			return timeout == 0 ? B_WOULD_BLOCK : B_TIMED_OUT;
		return FromErrno(errno);
	}
	if (bounded) {
		struct timeval none = {0, 0};
		setsockopt(connection.FD(), SOL_SOCKET, SO_SNDTIMEO, &none, sizeof(none));
	}
	// The listener's credentials count as much as ours: never talk to a
	// socket that another user put up.
	status_t status = connection.CheckPeer();
	if (status != B_OK)
		return status;
	*socket = std::move(connection);
	return B_OK;
}

status_t LocalSocket::Accept(LocalSocket* peer, LocalSocket* refused) const
{
	int fd;
	do {
		fd = accept4(fFD, NULL, NULL, SOCK_CLOEXEC);
	} while (fd < 0 && errno == EINTR);
	if (fd < 0)
		return FromErrno(errno);
	LocalSocket connection(fd);
	status_t status = connection.CheckPeer();
	if (status != B_OK) {
		if (refused != NULL)
			*refused = std::move(connection);
		return status;
	}
	*peer = std::move(connection);
	return B_OK;
}

status_t LocalSocket::CheckPeer() const
{
	struct ucred credentials;
	socklen_t length = sizeof(credentials);
	if (getsockopt(fFD, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
		return FromErrno(errno);
	if (length != sizeof(credentials) || credentials.uid != geteuid())
		return B_PERMISSION_DENIED;
	return B_OK;
}

pid_t LocalSocket::PeerProcess() const
{
	struct ucred credentials;
	socklen_t length = sizeof(credentials);
	if (getsockopt(fFD, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
		return -1;
	return credentials.pid;
}

status_t LocalSocket::SetNonBlocking(bool nonBlocking) const
{
	int flags = fcntl(fFD, F_GETFL);
	if (flags < 0)
		return FromErrno(errno);
	flags = nonBlocking ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
	return fcntl(fFD, F_SETFL, flags) == 0 ? B_OK : FromErrno(errno);
}

void LocalSocket::WriteFrameHeader(char* header, size_t bodySize)
{
	memcpy(header, kFrameMagic, 4);
	uint32 size = uint32(bodySize);
	for (int i = 0; i < 4; i++)
		header[4 + i] = char((size >> (8 * i)) & 0xff);
}

status_t LocalSocket::SendFrame(const void* body, size_t size, bigtime_t timeout) const
{
	if (size > UINT32_MAX)
		return B_BAD_VALUE;
	std::vector<char> frame(kFrameHeaderSize + size);
	WriteFrameHeader(frame.data(), size);
	if (size > 0)
		memcpy(frame.data() + kFrameHeaderSize, body, size);
	return SendAll(frame.data(), frame.size(), timeout);
}

status_t LocalSocket::SendAll(const void* bytes, size_t size, bigtime_t timeout,
                              size_t* sentBytes) const
{
	bigtime_t deadline = DeadlineFor(timeout);
	const char* start = static_cast<const char*>(bytes);
	const char* at = start;
	// Tells the caller how far the send got, however it ends.
	struct Report {
		const char*& at;
		const char* start;
		size_t* sent;
		~Report()
		{
			if (sent != nullptr)
				*sent = size_t(at - start);
		}
	} report{at, start, sentBytes};
	while (size > 0) {
		// MSG_NOSIGNAL: a peer that has gone gives EPIPE, not a signal that
		// would kill this process.
		ssize_t sent = send(fFD, at, size, MSG_NOSIGNAL | MSG_DONTWAIT);
		if (sent > 0) {
			at += sent;
			size -= size_t(sent);
			continue;
		}
		if (sent < 0 && errno == EINTR)
			continue;
		if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
			return errno == ENOMEM || errno == ENOBUFS ? B_NO_MEMORY : B_IO_ERROR;
		status_t status = WaitFor(fFD, POLLOUT, deadline, timeout == 0);
		if (status != B_OK)
			return status;
	}
	return B_OK;
}

status_t LocalSocket::_ReceiveAll(char* buffer, size_t size, bigtime_t deadline,
                                  bool* started) const
{
	while (size > 0) {
		ssize_t received = recv(fFD, buffer, size, MSG_DONTWAIT);
		if (received > 0) {
			*started = true;
			buffer += received;
			size -= size_t(received);
			continue;
		}
		if (received == 0)
			return B_IO_ERROR;
		if (errno == EINTR)
			continue;
		if (errno != EAGAIN && errno != EWOULDBLOCK)
			return B_IO_ERROR;
		status_t status = WaitFor(fFD, POLLIN, deadline, false);
		if (status != B_OK)
			return status;
	}
	return B_OK;
}

status_t LocalSocket::ReceiveFrame(std::vector<char>* body, bigtime_t timeout, size_t maxSize) const
{
	bigtime_t deadline = DeadlineFor(timeout);
	char header[kFrameHeaderSize];
	bool started = false;
	status_t status = _ReceiveAll(header, sizeof(header), deadline, &started);
	if (status == B_TIMED_OUT && timeout == 0 && !started)
		return B_WOULD_BLOCK;
	if (status != B_OK)
		return status;
	if (memcmp(header, kFrameMagic, 4) != 0)
		return B_BAD_DATA;
	uint32 size = 0;
	for (int i = 0; i < 4; i++)
		size |= uint32(uint8(header[4 + i])) << (8 * i);
	if (size > maxSize)
		return B_BAD_DATA;
	std::vector<char> bytes(size);
	status = _ReceiveAll(bytes.data(), size, deadline, &started);
	if (status != B_OK)
		return status;
	*body = std::move(bytes);
	return B_OK;
}

} // namespace BPrivate
