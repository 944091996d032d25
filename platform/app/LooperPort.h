// Private to the application kit: a looper's message queue.
//
// Messages posted in this process are queued directly, up to the looper's
// capacity. Messages from other processes arrive over connections that the
// process's MessagingPort hands over once the sender said which looper it
// wants; the looper's own thread reads them while it waits for work, so a
// busy looper stops reading and its senders feel the back-pressure of the
// socket. The port outlives its looper for as long as senders hold it: once
// closed, every push fails and every connection is closed, which tells
// remote senders that the target is gone.
#ifndef STRIA_LOOPER_PORT_H
#define STRIA_LOOPER_PORT_H

#include <Message.h>
#include <private/FrameReader.h>
#include <private/LocalSocket.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

namespace BPrivate {

struct LooperEnvelope {
	std::unique_ptr<BMessage> message;
	int32 handlerToken = 0;
	bool quit = false;
};

class LooperPort {
public:
	explicit LooperPort(int32 capacity);
	~LooperPort();

	status_t InitCheck() const { return fWakeFD >= 0 ? B_OK : B_NO_MEMORY; }

	// Any thread: queues a message, waiting at most timeout for room.
	// B_WOULD_BLOCK (time-out 0) or B_TIMED_OUT when the queue stays full,
	// B_BAD_PORT_ID once the port is closed.
	status_t Push(std::unique_ptr<BMessage> message, int32 handlerToken, bigtime_t timeout);
	// Queues the request to leave the loop, whatever the capacity.
	status_t PushQuit();
	// Takes over a connection from another process; pending holds bytes the
	// sender sent after its hello. Each message read from it is marked with
	// the process at its other end, as the kernel names it.
	status_t AddConnection(LocalSocket socket, const char* pending, size_t pendingSize);

	// The looper's thread: waits for the next envelope. False once closed.
	bool Next(LooperEnvelope* envelope);
	// The same with a deadline in system_time(): B_OK, B_TIMED_OUT, or
	// B_BAD_PORT_ID once closed. One thread at a time.
	status_t Receive(LooperEnvelope* envelope, bigtime_t deadline);

	// Drops what is queued, closes every connection, fails every push.
	void Close();
	bool IsClosed() const;
	int32 CountQueued() const;

private:
	struct Connection {
		LocalSocket socket;
		FrameReader reader;
		// The peer's credentials, not the process id of its hello.
		pid_t peer = -1;
	};

	void _Wake();
	void _Poll(int waitMs);
	void _CloseConnections();

	mutable std::mutex fMutex;
	std::condition_variable fRoom;
	std::deque<LooperEnvelope> fQueue;
	std::vector<std::unique_ptr<Connection>> fNewConnections;
	// Owned by the thread inside Next; closed by Close when none is.
	std::vector<std::unique_ptr<Connection>> fConnections;
	size_t fCapacity;
	int fWakeFD;
	bool fSleeping = false;
	bool fWakePending = false;
	bool fPolling = false;
	bool fClosed = false;
	int32 fTakenSinceRead = 0;
};

} // namespace BPrivate

#endif // STRIA_LOOPER_PORT_H
