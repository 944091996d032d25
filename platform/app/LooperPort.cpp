#include "LooperPort.h"

#include "MessagingProtocol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace BPrivate {

namespace {

// While messages are queued, connections are still read after this many,
// so that a flood of local posts cannot starve other processes.
constexpr int32 kReadConnectionsEvery = 32;

} // namespace

LooperPort::LooperPort(int32 capacity)
    : fCapacity(capacity > 0 ? size_t(capacity) : 1),
      fWakeFD(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

LooperPort::~LooperPort()
{
	Close();
	_CloseConnections();
	if (fWakeFD >= 0)
		close(fWakeFD);
}

status_t LooperPort::Push(std::unique_ptr<BMessage> message, int32 handlerToken, bigtime_t timeout)
{
	std::unique_lock<std::mutex> guard(fMutex);
	auto room = [this] { return fClosed || fQueue.size() < fCapacity; };
	if (!room()) {
		if (timeout == 0)
			return B_WOULD_BLOCK;
		if (timeout == B_INFINITE_TIMEOUT || timeout < 0) {
			fRoom.wait(guard, room);
		} else {
			auto deadline = std::chrono::steady_clock::now() + std::chrono::microseconds(timeout);
			if (!fRoom.wait_until(guard, deadline, room))
				return B_TIMED_OUT;
		}
	}
	if (fClosed)
		return B_BAD_PORT_ID;
	LooperEnvelope envelope;
	envelope.message = std::move(message);
	envelope.handlerToken = handlerToken;
	fQueue.push_back(std::move(envelope));
	_Wake();
	return B_OK;
}

status_t LooperPort::PushQuit()
{
	std::lock_guard<std::mutex> guard(fMutex);
	if (fClosed)
		return B_BAD_PORT_ID;
	LooperEnvelope envelope;
	envelope.quit = true;
	fQueue.push_back(std::move(envelope));
	_Wake();
	return B_OK;
}

status_t LooperPort::AddConnection(LocalSocket socket, const char* pending, size_t pendingSize)
{
	auto connection = std::make_unique<Connection>();
	connection->socket = std::move(socket);
	connection->peer = connection->socket.PeerProcess();
	if (pendingSize > 0 && connection->reader.Feed(pending, pendingSize) != B_OK)
		return B_BAD_DATA;
	std::lock_guard<std::mutex> guard(fMutex);
	if (fClosed)
		return B_BAD_PORT_ID;
	fNewConnections.push_back(std::move(connection));
	// Wake the loop even when it is busy: it must start watching the socket.
	fSleeping = true;
	_Wake();
	return B_OK;
}

void LooperPort::_Wake()
{
	if (!fSleeping || fWakePending || fWakeFD < 0)
		return;
	fWakePending = true;
	uint64_t one = 1;
	ssize_t written;
	do {
		written = write(fWakeFD, &one, sizeof(one));
	} while (written < 0 && errno == EINTR);
}

bool LooperPort::Next(LooperEnvelope* envelope)
{
	return Receive(envelope, B_INFINITE_TIMEOUT) == B_OK;
}

status_t LooperPort::Receive(LooperEnvelope* envelope, bigtime_t deadline)
{
	for (;;) {
		int waitMs;
		{
			std::lock_guard<std::mutex> guard(fMutex);
			if (fClosed)
				return B_BAD_PORT_ID;
			for (auto& connection : fNewConnections)
				fConnections.push_back(std::move(connection));
			fNewConnections.clear();
			bool readNow = !fConnections.empty() && fTakenSinceRead >= kReadConnectionsEvery;
			if (!fQueue.empty() && !readNow) {
				*envelope = std::move(fQueue.front());
				fQueue.pop_front();
				fTakenSinceRead++;
				fRoom.notify_one();
				return B_OK;
			}
			if (!fQueue.empty()) {
				waitMs = 0;
			} else if (deadline == B_INFINITE_TIMEOUT) {
				waitMs = -1;
			} else {
				bigtime_t left = deadline - system_time();
				if (left <= 0)
					return B_TIMED_OUT;
				waitMs = int(std::min<bigtime_t>((left + 999) / 1000, INT_MAX));
			}
			fSleeping = waitMs != 0;
			fPolling = true;
		}
		_Poll(waitMs);
		std::lock_guard<std::mutex> guard(fMutex);
		fSleeping = false;
		fWakePending = false;
		fPolling = false;
		fTakenSinceRead = 0;
		if (fClosed)
			_CloseConnections();
	}
}

void LooperPort::_Poll(int waitMs)
{
	std::vector<struct pollfd> watched;
	watched.reserve(fConnections.size() + 1);
	watched.push_back({fWakeFD, POLLIN, 0});
	for (auto& connection : fConnections)
		watched.push_back({connection->socket.FD(), POLLIN, 0});

	int result;
	do {
		result = poll(watched.data(), watched.size(), waitMs);
	} while (result < 0 && errno == EINTR);
	if (result <= 0)
		return;

	if (watched[0].revents != 0) {
		uint64_t count;
		while (read(fWakeFD, &count, sizeof(count)) < 0 && errno == EINTR) {
		}
	}

	std::vector<LooperEnvelope> arrived;
	std::vector<char> body;
	for (size_t i = fConnections.size(); i-- > 0;) {
		if (watched[i + 1].revents == 0)
			continue;
		Connection& connection = *fConnections[i];
		status_t status = connection.reader.ReadFrom(connection.socket.FD());
		bool keep = true;
		// Frames that arrived whole before an error or the end still count.
		std::vector<LooperEnvelope> fromConnection;
		while (connection.reader.NextFrame(&body)) {
			LooperEnvelope envelope;
			if (MessagingProtocol::ReadMessage(body.data(), body.size(), &envelope.handlerToken,
			                                   &envelope.message) != B_OK) {
				keep = false;
				break;
			}
			envelope.message->_SetDelivered(true);
			envelope.message->_SetSourceTeam(connection.peer);
			fromConnection.push_back(std::move(envelope));
		}
		if (status != B_OK || connection.reader.Failed())
			keep = false;
		// Connections are visited from the back; keep each one's order and
		// put earlier connections' messages first.
		arrived.insert(arrived.begin(), std::make_move_iterator(fromConnection.begin()),
		               std::make_move_iterator(fromConnection.end()));
		if (!keep)
			fConnections.erase(fConnections.begin() + ptrdiff_t(i));
	}
	if (arrived.empty())
		return;
	std::lock_guard<std::mutex> guard(fMutex);
	if (fClosed)
		return;
	for (auto& envelope : arrived)
		fQueue.push_back(std::move(envelope));
}

void LooperPort::_CloseConnections()
{
	fConnections.clear();
}

void LooperPort::Close()
{
	std::deque<LooperEnvelope> dropped;
	std::vector<std::unique_ptr<Connection>> newConnections;
	{
		std::lock_guard<std::mutex> guard(fMutex);
		if (!fClosed) {
			fClosed = true;
			dropped.swap(fQueue);
			newConnections.swap(fNewConnections);
			fRoom.notify_all();
			fSleeping = true;
			_Wake();
		}
		if (!fPolling)
			_CloseConnections();
	}
	// Messages and sockets are released outside the lock.
}

bool LooperPort::IsClosed() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return fClosed;
}

int32 LooperPort::CountQueued() const
{
	std::lock_guard<std::mutex> guard(fMutex);
	return int32(fQueue.size());
}

} // namespace BPrivate
