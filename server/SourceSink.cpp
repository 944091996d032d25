#include "SourceSink.h"

#include <Message.h>
#include <StriaProtocol.h>

namespace stria {

void SourceSink::Enqueue(std::unique_ptr<BMessage> message)
{
	if (!message)
		return;
	fIdentity.Mark(*message);
	fServer.Enqueue(std::move(message));
}

status_t SourceSink::Control(const char* device, uint32 code, BMessage* message)
{
	return fServer.Control(device, code, message);
}

void SourceSink::Log(const std::string& line)
{
	fServer.Log(line);
}

void SourceSink::Fail(const std::string& line, status_t reason)
{
	fServer.Fail(line, reason);
}

bigtime_t SourceSink::InputStart() const
{
	return fServer.InputStart();
}

void SourceSink::Quiet(bigtime_t until)
{
	auto quiet = std::make_unique<BMessage>(STRIA_INPUT_QUIET);
	quiet->AddInt64("when", until);
	Enqueue(std::move(quiet));
}

void SourceSink::Ended()
{
	Enqueue(std::make_unique<BMessage>(STRIA_INPUT_ENDED));
}

} // namespace stria
