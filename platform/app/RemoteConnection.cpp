#include "RemoteConnection.h"

#include "MessagingProtocol.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace BPrivate {

status_t RemoteConnection::Open(const std::string& path, int32 looperToken, bigtime_t timeout,
                                std::shared_ptr<RemoteConnection>* connection)
{
	LocalSocket socket;
	status_t status = LocalSocket::Connect(path.c_str(), &socket);
	if (status == B_NAME_NOT_FOUND || status == B_BAD_VALUE)
		return B_BAD_PORT_ID;
	if (status != B_OK)
		return status;

	// The port's own thread answers the hello at once, however busy the
	// looper is; even a send that must not wait gets this long for it.
	constexpr bigtime_t kHandshakeAllowance = 1000000;
	if (timeout != B_INFINITE_TIMEOUT && timeout < kHandshakeAllowance)
		timeout = kHandshakeAllowance;

	std::vector<char> hello;
	MessagingProtocol::MakeHello(looperToken, getpid(), &hello);
	status = socket.SendFrame(hello.data(), hello.size(), timeout);
	std::vector<char> welcome;
	if (status == B_OK)
		status = socket.ReceiveFrame(&welcome, timeout, MessagingProtocol::kWelcomeSize);
	if (status == B_WOULD_BLOCK)
		status = B_TIMED_OUT;
	if (status == B_IO_ERROR || status == B_BAD_DATA)
		return B_BAD_PORT_ID;
	if (status != B_OK)
		return status;
	status_t answer;
	if (MessagingProtocol::ReadWelcome(welcome.data(), welcome.size(), &answer) != B_OK ||
	    answer != B_OK) {
		return B_BAD_PORT_ID;
	}
	socket.SetNonBlocking(true);
	connection->reset(new RemoteConnection(std::move(socket)));
	return B_OK;
}

status_t RemoteConnection::Send(const char* frame, size_t size, bigtime_t timeout)
{
	bigtime_t start = system_time();
	std::unique_lock<std::timed_mutex> guard(fWriteLock, std::defer_lock);
	if (timeout == B_INFINITE_TIMEOUT || timeout < 0)
		guard.lock();
	else if (!guard.try_lock_for(std::chrono::microseconds(timeout)))
		return timeout == 0 ? B_WOULD_BLOCK : B_TIMED_OUT;
	if (fBroken.load())
		return B_BAD_PORT_ID;
	if (timeout != B_INFINITE_TIMEOUT && timeout > 0)
		timeout = std::max<bigtime_t>(0, timeout - (system_time() - start));

	// Check first whether the port has closed the connection: a write to a
	// socket whose peer closed only moments ago may still succeed.
	if (!IsAlive())
		return B_BAD_PORT_ID;
	status_t status = fSocket.SendAll(frame, size, timeout);
	if (status == B_OK)
		return B_OK;
	fBroken.store(true);
	if (status == B_IO_ERROR)
		return B_BAD_PORT_ID;
	return status;
}

bool RemoteConnection::IsAlive()
{
	if (fBroken.load())
		return false;
	struct pollfd entry = {fSocket.FD(), POLLIN | POLLRDHUP, 0};
	int result;
	do {
		result = poll(&entry, 1, 0);
	} while (result < 0 && errno == EINTR);
	if (result == 0)
		return true;
	// The port never writes after its welcome: anything readable is the end.
	fBroken.store(true);
	return false;
}

RemoteConnectionCache& RemoteConnectionCache::Default()
{
	static RemoteConnectionCache* cache = new RemoteConnectionCache;
	return *cache;
}

status_t RemoteConnectionCache::Get(const std::string& path, int32 looperToken, bigtime_t timeout,
                                    std::shared_ptr<RemoteConnection>* connection)
{
	auto key = std::make_pair(path, looperToken);
	{
		std::lock_guard<std::mutex> guard(fLock);
		auto found = fConnections.find(key);
		if (found != fConnections.end()) {
			if (found->second->IsAlive()) {
				*connection = found->second;
				return B_OK;
			}
			fConnections.erase(found);
		}
	}
	// Connect outside the lock: one slow port must not hold up the others.
	std::shared_ptr<RemoteConnection> opened;
	status_t status = RemoteConnection::Open(path, looperToken, timeout, &opened);
	if (status != B_OK)
		return status;
	std::lock_guard<std::mutex> guard(fLock);
	auto inserted = fConnections.emplace(key, opened);
	if (!inserted.second && !inserted.first->second->IsAlive())
		inserted.first->second = opened;
	*connection = inserted.first->second;
	return B_OK;
}

void RemoteConnectionCache::Forget(const std::string& path, int32 looperToken,
                                   const std::shared_ptr<RemoteConnection>& connection)
{
	std::lock_guard<std::mutex> guard(fLock);
	auto found = fConnections.find(std::make_pair(path, looperToken));
	if (found != fConnections.end() && found->second == connection)
		fConnections.erase(found);
}

} // namespace BPrivate
