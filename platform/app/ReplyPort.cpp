#include "ReplyPort.h"

#include "TokenRegistry.h"

#include <Looper.h>

namespace BPrivate {

ReplyPort* ReplyPort::ForThisThread()
{
	thread_local std::unique_ptr<ReplyPort> port;
	if (port == nullptr) {
		port.reset(new ReplyPort);
		if (port->fPort->InitCheck() != B_OK)
			port.reset();
	}
	return port.get();
}

ReplyPort::ReplyPort()
    : fToken(TokenRegistry::Default().AddHandler(nullptr)),
      fPort(std::make_shared<LooperPort>(B_LOOPER_PORT_DEFAULT_CAPACITY))
{
	LooperEntry entry;
	entry.port = fPort;
	TokenRegistry::Default().AddLooper(fToken, entry);
}

ReplyPort::~ReplyPort()
{
	TokenRegistry::Default().RemoveLooper(fToken);
	TokenRegistry::Default().RemoveHandler(fToken);
	fPort->Close();
}

int32 ReplyPort::NextRequest()
{
	fLastRequest = fLastRequest == INT32_MAX ? 1 : fLastRequest + 1;
	return fLastRequest;
}

status_t ReplyPort::WaitForReply(int32 request, bigtime_t deadline, BMessage* reply)
{
	for (;;) {
		LooperEnvelope envelope;
		status_t status = fPort->Receive(&envelope, deadline);
		if (status != B_OK)
			return status;
		if (envelope.quit || envelope.message == nullptr || envelope.handlerToken != request)
			continue;
		*reply = *envelope.message;
		return B_OK;
	}
}

} // namespace BPrivate
