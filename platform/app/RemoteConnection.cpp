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
	status_t status;
	if (!_BeginWrite(timeout, &status))
		return status;
	if (timeout != B_INFINITE_TIMEOUT && timeout > 0)
		timeout = std::max<bigtime_t>(0, timeout - (system_time() - start));

	// Check first whether the port has closed the connection: a write to a
	// socket whose peer closed only moments ago may still succeed.
	// A Unix socket whose peer has closed fails the write at once (EPIPE),
	// so there is no need to look before writing.
	size_t sent = 0;
	status = fSocket.SendAll(frame, size, timeout, &sent);
	// A time-out before the first byte leaves the stream whole; anything
	// else leaves half a frame or a dead peer behind.
	if (status != B_OK && !((status == B_TIMED_OUT || status == B_WOULD_BLOCK) && sent == 0))
		fBroken.store(true);
	_EndWrite();
	return status == B_IO_ERROR ? B_BAD_PORT_ID : status;
}

bool RemoteConnection::_BeginWrite(bigtime_t timeout, status_t* status)
{
	std::unique_lock<std::mutex> guard(fWriteLock);
	auto free = [this] { return !fWriting; };
	if (timeout == B_INFINITE_TIMEOUT || timeout < 0) {
		fWriteDone.wait(guard, free);
	} else if (!free()) {
		if (timeout == 0) {
			*status = B_WOULD_BLOCK;
			return false;
		}
		auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
		if (!fWriteDone.wait_until(guard, deadline, free)) {
			*status = B_TIMED_OUT;
			return false;
		}
	}
	if (fBroken.load()) {
		*status = B_BAD_PORT_ID;
		return false;
	}
	fWriting = true;
	return true;
}

void RemoteConnection::_EndWrite()
{
	std::lock_guard<std::mutex> guard(fWriteLock);
	fWriting = false;
	fWriteDone.notify_one();
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
                                    bool checkAlive, std::shared_ptr<RemoteConnection>* connection)
{
	auto key = std::make_pair(path, looperToken);
	{
		std::lock_guard<std::mutex> guard(fLock);
		auto found = fConnections.find(key);
		if (found != fConnections.end()) {
			if (checkAlive ? found->second->IsAlive() : !found->second->IsBroken()) {
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
