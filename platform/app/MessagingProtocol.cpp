#include "MessagingProtocol.h"

#include "MessageFormat.h"
#include <Message.h>
#include <private/LocalSocket.h>

#include <cstring>

namespace BPrivate {

namespace {

void PutHeader(char* at, uint8 kind)
{
	at[0] = char(kind);
	at[1] = char(MessagingProtocol::kVersion);
	at[2] = 0;
	at[3] = 0;
}

bool HeaderIs(const char* body, size_t size, size_t expectedSize, uint8 kind)
{
	if (size != expectedSize)
		return false;
	return uint8(body[0]) == kind && uint8(body[1]) == MessagingProtocol::kVersion &&
	       body[2] == 0 && body[3] == 0;
}

} // namespace

void MessagingProtocol::MakeHello(int32 looperToken, int32 team, std::vector<char>* body)
{
	body->assign(kHelloSize, 0);
	PutHeader(body->data(), kHello);
	Store<int32>(body->data() + 4, looperToken);
	Store<int32>(body->data() + 8, team);
}

status_t MessagingProtocol::ReadHello(const char* body, size_t size, int32* looperToken,
                                      int32* team)
{
	if (!HeaderIs(body, size, kHelloSize, kHello))
		return B_BAD_DATA;
	*looperToken = Load<int32>(body + 4);
	*team = Load<int32>(body + 8);
	return B_OK;
}

void MessagingProtocol::MakeWelcome(status_t status, std::vector<char>* body)
{
	body->assign(kWelcomeSize, 0);
	PutHeader(body->data(), kWelcome);
	Store<int32>(body->data() + 4, status);
}

status_t MessagingProtocol::ReadWelcome(const char* body, size_t size, status_t* status)
{
	if (!HeaderIs(body, size, kWelcomeSize, kWelcome))
		return B_BAD_DATA;
	*status = Load<int32>(body + 4);
	return B_OK;
}

status_t MessagingProtocol::MakeMessageFrame(const BMessage& message, int32 handlerToken,
                                             std::vector<char>* frame)
{
	ssize_t messageSize = message.FlattenedSize();
	if (messageSize <= 0)
		return messageSize < 0 ? status_t(messageSize) : B_BAD_VALUE;
	size_t bodySize = kHeaderSize + size_t(messageSize);
	if (bodySize > LocalSocket::kDefaultMaxFrameSize)
		return B_BAD_VALUE;
	frame->resize(LocalSocket::kFrameHeaderSize + bodySize);
	char* at = frame->data();
	LocalSocket::WriteFrameHeader(at, bodySize);
	at += LocalSocket::kFrameHeaderSize;
	PutHeader(at, kMessage);
	Store<int32>(at + 4, handlerToken);
	return message.Flatten(at + kHeaderSize, messageSize);
}

status_t MessagingProtocol::ReadMessage(const char* body, size_t size, int32* handlerToken,
                                        std::unique_ptr<BMessage>* message)
{
	if (size < kHeaderSize || !HeaderIs(body, kHeaderSize, kHeaderSize, kMessage))
		return B_BAD_DATA;
	auto rebuilt = std::make_unique<BMessage>();
	status_t status = rebuilt->Unflatten(body + kHeaderSize, ssize_t(size - kHeaderSize));
	if (status != B_OK)
		return status;
	*handlerToken = Load<int32>(body + 4);
	*message = std::move(rebuilt);
	return B_OK;
}

} // namespace BPrivate
