// Feeds arbitrary bytes to what a message port reads from a socket: the
// frame reader, in pieces whose sizes the input picks, then the hello that
// opens a connection and the messages behind it, rebuilt as a looper's
// thread rebuilds them. Every frame that is taken must lie within the
// input; a rebuilt message must flatten to a message that rebuilds equal.
// The same bytes also go to BMessenger::Unflatten, whose byte form comes
// from other processes too.
#include "MessagingProtocol.h"

#include <Message.h>
#include <Messenger.h>
#include <private/FrameReader.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

void Require(bool condition)
{
	if (!condition)
		std::abort();
}

void CheckMessage(const BMessage& message)
{
	std::vector<char> flat(size_t(message.FlattenedSize()));
	Require(message.Flatten(flat.data(), ssize_t(flat.size())) == B_OK);
	BMessage again;
	Require(again.Unflatten(flat.data(), ssize_t(flat.size())) == B_OK);
	Require(again.HasSameData(message));
	// The reply address is another process's messenger: reading it must be
	// safe whatever it holds.
	BMessenger replyTo = message.ReturnAddress();
	(void)replyTo.Team();
}

void CheckMessenger(const uint8_t* data, size_t size)
{
	BMessenger messenger;
	if (messenger.Unflatten(data, ssize_t(size)) != B_OK) {
		Require(messenger == BMessenger());
		return;
	}
	// A messenger of this process would publish its port when flattened.
	if (messenger.IsTargetLocal())
		return;
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	Require(messenger.Flatten(bytes.data(), ssize_t(bytes.size())) == B_OK);
	Require(bytes.size() == size && memcmp(bytes.data(), data, size) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	CheckMessenger(data, size);
	if (size == 0)
		return 0;

	// The first byte picks the sizes of the pieces the stream arrives in.
	uint8_t pieces = data[0];
	const uint8_t* stream = data + 1;
	size_t left = size - 1;

	BPrivate::FrameReader reader(64 * 1024);
	std::vector<char> body;
	bool helloSeen = false;
	size_t taken = 0;
	size_t step = 0;
	while (left > 0 && !reader.Failed()) {
		size_t piece = std::min(left, size_t((pieces >> (step++ % 8)) & 0x1f) + 1);
		reader.Feed(stream, piece);
		stream += piece;
		left -= piece;
		while (reader.NextFrame(&body)) {
			taken += BPrivate::LocalSocket::kFrameHeaderSize + body.size();
			Require(taken <= size - 1);
			if (!helloSeen) {
				int32 looper, team;
				helloSeen = BPrivate::MessagingProtocol::ReadHello(body.data(), body.size(),
				                                                   &looper, &team) == B_OK;
				status_t status;
				BPrivate::MessagingProtocol::ReadWelcome(body.data(), body.size(), &status);
				continue;
			}
			int32 handler = 0;
			std::unique_ptr<BMessage> message;
			if (BPrivate::MessagingProtocol::ReadMessage(body.data(), body.size(), &handler,
			                                             &message) == B_OK) {
				Require(message != nullptr);
				CheckMessage(*message);
			}
		}
	}
	Require(reader.BufferedSize() + taken == size - 1 || reader.Failed());
	return 0;
}
