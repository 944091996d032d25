// Client side of the control socket: one connection per request.
#include <private/InputServerControl.h>

#include <private/LocalSocket.h>

#include <string>
#include <vector>

namespace BPrivate {

namespace {

// A reply is one small message.
const size_t kMaxReplySize = 4096;

} // namespace

std::string default_input_server_control_path()
{
	std::string directory;
	if (LocalSocket::RuntimeDirectory(&directory) != B_OK)
		return std::string();
	return directory + "/input_server";
}

status_t send_control_request(const char* path, const char* device, uint32 code,
                              const BMessage* message, bigtime_t timeout)
{
	if (path == NULL)
		return B_BAD_VALUE;

	BMessage envelope;
	status_t status = make_control_request(device, code, message, &envelope);
	if (status != B_OK)
		return status;
	ssize_t size = envelope.FlattenedSize();
	if (size < 0)
		return (status_t)size;
	std::vector<char> bytes(size);
	status = envelope.Flatten(bytes.data(), size);
	if (status != B_OK)
		return status;

	LocalSocket socket;
	status = LocalSocket::Connect(path, &socket);
	if (status != B_OK)
		return status;
	status = socket.SendFrame(bytes.data(), bytes.size(), timeout);
	if (status != B_OK)
		return status;

	std::vector<char> replyBytes;
	status = socket.ReceiveFrame(&replyBytes, timeout, kMaxReplySize);
	if (status != B_OK)
		return status;
	BMessage reply;
	if (reply.Unflatten(replyBytes.data(), (ssize_t)replyBytes.size()) != B_OK)
		return B_BAD_REPLY;
	status_t result;
	status = read_control_reply(reply, &result);
	if (status != B_OK)
		return status;
	return result;
}

bool control_socket_answers(const char* path)
{
	if (path == NULL)
		return false;
	LocalSocket socket;
	status_t status = LocalSocket::Connect(path, &socket);
	// Running out of descriptors or memory here says nothing about the
	// server: only an answer, or its absence, does.
	return status == B_OK || status == B_NO_MORE_FDS || status == B_NO_MEMORY;
}

} // namespace BPrivate
