// Sends one control request to an input server's control socket, as
// another user if asked, and tells by its exit status how it went: 0 the
// device answered B_OK, 3 permission denied, 4 any other failure.
//
//	control_client [--as UID] [--raw] SOCKET CODE [subscribe]
//
// --raw talks to the socket without checking whose server it is, the way
// any program could, and reports the server's own answer.
#include <Message.h>
#include <Messenger.h>
#include <private/InputServerControl.h>
#include <private/LocalSocket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

// One request over a plain connection: the reply's status, or B_ERROR when
// no reply comes.
status_t SendRaw(const char* path, uint32 code, const BMessage* message)
{
	BPrivate::LocalSocket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
	struct sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", path);
	if (!socket.IsOpen() ||
	    ::connect(socket.FD(), (struct sockaddr*)&address, sizeof(address)) != 0)
		return B_ERROR;
	BMessage request;
	BPrivate::make_control_request("CueCat [Keyboard]", code, message, &request);
	std::vector<char> bytes(request.FlattenedSize());
	request.Flatten(bytes.data(), bytes.size());
	socket.SendFrame(bytes.data(), bytes.size(), 5000000);
	std::vector<char> replyBytes;
	BMessage reply;
	status_t result = B_ERROR;
	if (socket.ReceiveFrame(&replyBytes, 5000000) != B_OK ||
	    reply.Unflatten(replyBytes.data(), (ssize_t)replyBytes.size()) != B_OK ||
	    BPrivate::read_control_reply(reply, &result) != B_OK)
		return B_ERROR;
	return result;
}

} // namespace

int main(int argc, char** argv)
{
	int index = 1;
	if (argc > 2 && std::strcmp(argv[1], "--as") == 0) {
		const uid_t uid = static_cast<uid_t>(std::strtoul(argv[2], nullptr, 10));
		// Group list first, then the group, then the user: afterwards
		// nothing of root is left.
		if (::setgroups(0, nullptr) != 0 || ::setgid(uid) != 0 || ::setuid(uid) != 0) {
			std::perror("control_client: cannot change user");
			return 5;
		}
		index = 3;
	}
	bool raw = false;
	if (index < argc && std::strcmp(argv[index], "--raw") == 0) {
		raw = true;
		index++;
	}
	if (argc - index < 2) {
		std::fprintf(stderr, "usage: control_client [--as UID] [--raw] SOCKET CODE [subscribe]\n");
		return 2;
	}
	const char* socket = argv[index];
	const uint32 code = static_cast<uint32>(std::strtoul(argv[index + 1], nullptr, 0));
	BMessage message(code);
	const bool withMessage = argc - index > 2;
	if (withMessage)
		message.AddString("note", "from another process");
	const status_t status =
	        raw ? SendRaw(socket, code, withMessage ? &message : nullptr)
	            : BPrivate::send_control_request(socket, "CueCat [Keyboard]", code,
	                                             withMessage ? &message : nullptr, 5000000);
	std::printf("status %d\n", static_cast<int>(status));
	if (status == B_OK)
		return 0;
	return status == B_PERMISSION_DENIED ? 3 : 4;
}
