#include "RemoteConnection.h"

#include "MessagingProtocol.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace BPrivate {

status_t RemoteConnection::Open(const std::string& path, int32 looperToken, bigtime_t timeout,
                                std::shared_ptr<RemoteConnection>* connection)
{
	LocalSocket socket;
	status_t status = LocalSocket::Connect(path.c_str(), &socket, timeout);
	if (status == B_NAME_NOT_FOUND || status == B_BAD_VALUE)
		return B_BAD_PORT_ID;
	if (status != B_OK)
		return status;
	socket.SetNonBlocking(true);
	// A hello is a few bytes into an empty socket buffer: it never waits.
	std::vector<char> hello;
	MessagingProtocol::MakeHello(looperToken, getpid(), &hello);
	status = socket.SendFrame(hello.data(), hello.size(), 0);
	if (status == B_IO_ERROR)
		return B_BAD_PORT_ID;
	if (status != B_OK)
		return status;
	connection->reset(new RemoteConnection(std::move(socket)));
	return B_OK;
}

status_t RemoteConnection::_AwaitWelcome(bigtime_t timeout)
{
	if (fWelcomed)
		return B_OK;
	if (fBroken.load())
		return B_BAD_PORT_ID;
	const size_t frameSize = LocalSocket::kFrameHeaderSize + MessagingProtocol::kWelcomeSize;
	bigtime_t deadline = B_INFINITE_TIMEOUT;
	if (timeout != B_INFINITE_TIMEOUT && timeout >= 0) {
		bigtime_t now = system_time();
		deadline = timeout > B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + timeout;
	}
	auto broken = [this] {
		fGone.store(true);
		fBroken.store(true);
		return B_BAD_PORT_ID;
	};
	while (fWelcome.size() < frameSize) {
		char bytes[32];
		ssize_t received =
		        recv(fSocket.FD(), bytes, frameSize - fWelcome.size(), MSG_DONTWAIT);
		if (received > 0) {
			fWelcome.append(bytes, size_t(received));
			continue;
		}
		if (received == 0)
			return broken();
		if (errno == EINTR)
			continue;
		if (errno != EAGAIN && errno != EWOULDBLOCK)
			return broken();
		if (timeout == 0)
			return B_WOULD_BLOCK;
		int waitMs = -1;
		if (deadline != B_INFINITE_TIMEOUT) {
			bigtime_t left = deadline - system_time();
			if (left <= 0)
				return B_TIMED_OUT;
			waitMs = int(std::min<bigtime_t>((left + 999) / 1000, INT_MAX));
		}
		struct pollfd entry = {fSocket.FD(), POLLIN, 0};
		if (poll(&entry, 1, waitMs) < 0 && errno != EINTR)
			return broken();
	}
	uint32 bodySize = 0;
	for (int i = 0; i < 4; i++)
		bodySize |= uint32(uint8(fWelcome[4 + size_t(i)])) << (8 * i);
	status_t answer;
	if (memcmp(fWelcome.data(), LocalSocket::kFrameMagic, 4) != 0 ||
	    bodySize != MessagingProtocol::kWelcomeSize ||
	    MessagingProtocol::ReadWelcome(fWelcome.data() + LocalSocket::kFrameHeaderSize,
	                                   bodySize, &answer) != B_OK ||
	    answer != B_OK) {
		return broken();
	}
	fWelcomed = true;
	fWelcome.clear();
	return B_OK;
}

status_t RemoteConnection::Send(const char* frame, size_t size, bigtime_t timeout)
{
	bigtime_t start = system_time();
	status_t status;
	if (!_BeginWrite(timeout, &status))
		return status;
	if (!fWelcomed) {
		bigtime_t allowed = timeout;
		if (timeout > 0 && timeout < kHandshakeAllowance)
			allowed = kHandshakeAllowance;
		status = _AwaitWelcome(allowed);
		if (status != B_OK) {
			_EndWrite();
			return status;
		}
	}
	if (timeout != B_INFINITE_TIMEOUT && timeout > 0)
		timeout = std::max<bigtime_t>(1, timeout - (system_time() - start));

	// A Unix socket whose peer has closed fails the write at once (EPIPE),
	// so there is no need to look before writing.
	size_t sent = 0;
	status = fSocket.SendAll(frame, size, timeout, &sent);
	// A time-out before the first byte leaves the stream whole; anything
	// else leaves half a frame or a dead peer behind.
	if (status != B_OK && !((status == B_TIMED_OUT || status == B_WOULD_BLOCK) && sent == 0))
		fBroken.store(true);
	if (status == B_IO_ERROR)
		fGone.store(true);
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
	status_t status;
	// Another thread writing now will find out soon enough.
	if (!_BeginWrite(0, &status))
		return !fBroken.load();
	bool alive = true;
	status = _AwaitWelcome(0);
	if (status == B_OK) {
		struct pollfd entry = {fSocket.FD(), POLLIN | POLLRDHUP, 0};
		int result;
		do {
			result = poll(&entry, 1, 0);
		} while (result < 0 && errno == EINTR);
		// The port never writes after its welcome: anything readable is the
		// end.
		if (result != 0) {
			fGone.store(true);
			fBroken.store(true);
			alive = false;
		}
	} else if (status != B_WOULD_BLOCK) {
		alive = false;
	}
	_EndWrite();
	return alive;
}

RemoteConnectionCache& RemoteConnectionCache::Default()
{
	static RemoteConnectionCache* cache = new RemoteConnectionCache;
	return *cache;
}

status_t RemoteConnectionCache::Get(const std::string& path, int32 looperToken, bigtime_t timeout,
                                    bool checkAlive, std::shared_ptr<RemoteConnection>* connection)
{
	Key key = std::make_pair(path, looperToken);
	{
		std::lock_guard<std::mutex> guard(fLock);
		if (fGone.count(key) != 0)
			return B_BAD_PORT_ID;
		auto found = fConnections.find(key);
		if (found != fConnections.end()) {
			std::shared_ptr<RemoteConnection> cached = found->second;
			if (checkAlive ? cached->IsAlive() : !cached->IsBroken()) {
				*connection = cached;
				return B_OK;
			}
			_Remember(key, cached);
			if (cached->IsGone())
				return B_BAD_PORT_ID;
		}
	}
	// Connect outside the lock: one slow port must not hold up the others.
	std::shared_ptr<RemoteConnection> opened;
	status_t status = RemoteConnection::Open(path, looperToken, timeout, &opened);
	if (status != B_OK)
		return status;
	std::lock_guard<std::mutex> guard(fLock);
	auto inserted = fConnections.emplace(key, opened);
	if (!inserted.second && inserted.first->second->IsBroken())
		inserted.first->second = opened;
	*connection = inserted.first->second;
	return B_OK;
}

void RemoteConnectionCache::Forget(const std::string& path, int32 looperToken,
                                   const std::shared_ptr<RemoteConnection>& connection)
{
	std::lock_guard<std::mutex> guard(fLock);
	_Remember(std::make_pair(path, looperToken), connection);
}

void RemoteConnectionCache::_Remember(const Key& key,
                                      const std::shared_ptr<RemoteConnection>& connection)
{
	auto found = fConnections.find(key);
	if (found != fConnections.end() && found->second == connection)
		fConnections.erase(found);
	if (connection->IsGone()) {
		constexpr size_t kMostRemembered = 4096;
		if (fGone.size() >= kMostRemembered)
			fGone.clear();
		fGone.insert(key);
	}
}

} // namespace BPrivate
