// Private to the application kit: a sender's connection to a looper in
// another process, and the process-wide cache of them.
//
// One connection per target looper carries every message sent to it from
// this process, in order. It opens with a hello naming the looper and waits
// for the port's welcome; after that the port never writes again, so a
// readable connection means it has been closed: the looper or its process
// is gone. A write cut short by a time-out leaves half a frame behind, so
// the connection is closed then and the next send opens a new one.
#ifndef STRIA_REMOTE_CONNECTION_H
#define STRIA_REMOTE_CONNECTION_H

#include <private/LocalSocket.h>

#include <OS.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace BPrivate {

class RemoteConnection {
public:
	// Connects to the port at path and asks for the looper. B_BAD_PORT_ID
	// when nobody answers there or the looper does not exist,
	// B_PERMISSION_DENIED when the port runs as another user, B_TIMED_OUT.
	static status_t Open(const std::string& path, int32 looperToken, bigtime_t timeout,
	                     std::shared_ptr<RemoteConnection>* connection);

	// Writes one complete frame. B_BAD_PORT_ID when the target has gone.
	status_t Send(const char* frame, size_t size, bigtime_t timeout);
	// False once the port closed the connection or a send broke it; looks
	// at the socket.
	bool IsAlive();
	// True once a send or IsAlive found the connection broken.
	bool IsBroken() const { return fBroken.load(); }

private:
	explicit RemoteConnection(LocalSocket socket) : fSocket(std::move(socket)) {}

	// One writer at a time, so that frames never interleave; waiting for
	// one's turn counts against the sender's time-out.
	bool _BeginWrite(bigtime_t timeout, status_t* status);
	void _EndWrite();

	LocalSocket fSocket;
	std::mutex fWriteLock;
	std::condition_variable fWriteDone;
	bool fWriting = false;
	std::atomic<bool> fBroken{false};
};

class RemoteConnectionCache {
public:
	static RemoteConnectionCache& Default();

	// A connection to the looper, opened if there is none. With checkAlive
	// the socket is asked whether the port still keeps it open; otherwise
	// a closed connection shows when a send fails.
	status_t Get(const std::string& path, int32 looperToken, bigtime_t timeout, bool checkAlive,
	             std::shared_ptr<RemoteConnection>* connection);
	void Forget(const std::string& path, int32 looperToken,
	            const std::shared_ptr<RemoteConnection>& connection);

private:
	RemoteConnectionCache() = default;

	std::mutex fLock;
	std::map<std::pair<std::string, int32>, std::shared_ptr<RemoteConnection>> fConnections;
};

} // namespace BPrivate

#endif // STRIA_REMOTE_CONNECTION_H
