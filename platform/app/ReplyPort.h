// Private to the application kit: where synchronous replies come back to.
//
// A thread that sends a message and waits for the reply gets a port of its
// own, listed in the token table like a looper (without one), so that
// replies reach it from this process and, through the process's message
// port, from others. The waiting thread reads the port itself: no looper
// stands between the reply and the thread. Each request gets a serial
// number that the reply messenger carries as its handler token, so a late
// reply to an earlier request that timed out is told apart and dropped.
#ifndef STRIA_REPLY_PORT_H
#define STRIA_REPLY_PORT_H

#include "LooperPort.h"

#include <memory>

namespace BPrivate {

class ReplyPort {
public:
	// The calling thread's port, made on first use; nullptr without memory.
	static ReplyPort* ForThisThread();

	~ReplyPort();

	int32 Token() const { return fToken; }
	int32 NextRequest();
	// Waits until the reply to request arrives, or the deadline (in
	// system_time()) passes.
	status_t WaitForReply(int32 request, bigtime_t deadline, BMessage* reply);

private:
	ReplyPort();

	int32 fToken;
	int32 fLastRequest = 0;
	std::shared_ptr<LooperPort> fPort;
};

} // namespace BPrivate

#endif // STRIA_REPLY_PORT_H
