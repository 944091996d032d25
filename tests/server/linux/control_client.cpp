// Sends one control request to an input server's control socket, as
// another user if asked, and tells by its exit status how it went: 0 the
// device answered B_OK, 3 permission denied, 4 any other failure.
//
//	control_client [--as UID] SOCKET CODE [subscribe]
#include <Message.h>
#include <Messenger.h>
#include <private/InputServerControl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <grp.h>
#include <string>
#include <unistd.h>

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
	if (argc - index < 2) {
		std::fprintf(stderr, "usage: control_client [--as UID] SOCKET CODE [subscribe]\n");
		return 2;
	}
	const char* socket = argv[index];
	const uint32 code = static_cast<uint32>(std::strtoul(argv[index + 1], nullptr, 0));
	BMessage message(code);
	const bool withMessage = argc - index > 2;
	if (withMessage)
		message.AddString("note", "from another process");
	const status_t status = BPrivate::send_control_request(
	        socket, "CueCat [Keyboard]", code, withMessage ? &message : nullptr, 5000000);
	std::printf("status %d\n", static_cast<int>(status));
	if (status == B_OK)
		return 0;
	return status == B_PERMISSION_DENIED ? 3 : 4;
}
