// Private to the application kit: a sender's connection to a looper in
// another process, and the process-wide cache of them.
//
// One connection per target looper carries every message sent to it from
// this process, in order. It opens with a hello naming the looper; the
// port's welcome is awaited by the first send (or validity check) that
// needs it, so that neither opening nor a check ever waits on the other
// process. After the welcome the port never writes again, so a readable
// connection means it has been closed: the looper or its process is gone.
// A write cut short by a time-out leaves half a frame behind, so the
// connection is closed then and the next send opens a new one.
#ifndef STRIA_REMOTE_CONNECTION_H
#define STRIA_REMOTE_CONNECTION_H

#include <private/LocalSocket.h>

#include <OS.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

namespace BPrivate {

class RemoteConnection {
public:
	// Connects to the port at path and says hello to the looper, without
	// waiting for the answer. The connect itself waits only while the
	// port's backlog is full, at most timeout (B_WOULD_BLOCK at once for 0).
	// B_BAD_PORT_ID when nobody listens there, B_PERMISSION_DENIED when the
	// port runs as another user, B_NO_MORE_FDS when this process has no
	// descriptor left.
	static status_t Open(const std::string& path, int32 looperToken, bigtime_t timeout,
	                     std::shared_ptr<RemoteConnection>* connection);

	// Writes one complete frame, after the welcome if it has not come yet
	// (that wait is given at least kHandshakeAllowance unless timeout is 0).
	// B_BAD_PORT_ID when the target has gone or does not exist,
	// B_WOULD_BLOCK for a time-out of 0 when nothing can be written now.
	status_t Send(const char* frame, size_t size, bigtime_t timeout);
	// Never waits: false once the port refused the looper, closed the
	// connection or a send broke it; true while the welcome is still to
	// come.
	bool IsAlive();
	// True once a send or IsAlive found the connection broken.
	bool IsBroken() const { return fBroken.load(); }
	// True when the port refused the looper or closed the connection: the
	// looper is gone for good (a half-written frame only breaks the
	// connection).
	bool IsGone() const { return fGone.load(); }

	// The port's own thread answers a hello at once, however busy the
	// looper is; a send that may wait at all may wait this long for it.
	static constexpr bigtime_t kHandshakeAllowance = 1000000;

private:
	explicit RemoteConnection(LocalSocket socket) : fSocket(std::move(socket)) {}

	// One writer at a time, so that frames never interleave; waiting for
	// one's turn counts against the sender's time-out.
	bool _BeginWrite(bigtime_t timeout, status_t* status);
	void _EndWrite();
	// With the write turn held: reads the welcome if it has not been read.
	status_t _AwaitWelcome(bigtime_t timeout);

	LocalSocket fSocket;
	std::mutex fWriteLock;
	std::condition_variable fWriteDone;
	bool fWriting = false;
	// Owned by the thread with the write turn.
	bool fWelcomed = false;
	std::string fWelcome;
	std::atomic<bool> fBroken{false};
	std::atomic<bool> fGone{false};
};

class RemoteConnectionCache {
public:
	static RemoteConnectionCache& Default();

	// A connection to the looper, opened if there is none (timeout bounds
	// the connect). With checkAlive the socket is asked whether the port
	// still keeps it open; otherwise a closed connection shows when a send
	// fails.
	status_t Get(const std::string& path, int32 looperToken, bigtime_t timeout, bool checkAlive,
	             std::shared_ptr<RemoteConnection>* connection);
	void Forget(const std::string& path, int32 looperToken,
	            const std::shared_ptr<RemoteConnection>& connection);

private:
	RemoteConnectionCache() = default;

	using Key = std::pair<std::string, int32>;
	// Keeps a connection that turned out gone out of the cache and its
	// target among the gone ones.
	void _Remember(const Key& key, const std::shared_ptr<RemoteConnection>& connection);

	std::mutex fLock;
	std::map<Key, std::shared_ptr<RemoteConnection>> fConnections;
	// Loopers known to be gone: asked again, they stay gone rather than
	// look valid until a new hello is answered. Forgotten in bulk when the
	// list grows long.
	std::set<Key> fGone;
};

} // namespace BPrivate

#endif // STRIA_REMOTE_CONNECTION_H
