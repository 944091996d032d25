// Fuzzes the control socket's reader: the input is what a client sends on
// one connection (frame header and body). The server must answer a well
// formed request once, refuse everything else, and never hand a request
// with a bad device name to a device.
#include "ControlSocketServer.h"

#include <Message.h>
#include <private/InputServerControl.h>
#include <private/LocalSocket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	// More than a socket buffer would block the writer; frames that long
	// are refused by their header anyway.
	if (size > 64 * 1024)
		return 0;
	int pair[2];
	if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
		return 0;
	BPrivate::LocalSocket client(pair[0]);
	BPrivate::LocalSocket server(pair[1]);
	if (client.SendAll(data, size, 1000000) != B_OK)
		return 0;
	shutdown(client.FD(), SHUT_WR);

	int calls = 0;
	auto controller = [&calls](const char* device, uint32, BMessage*) -> status_t {
		calls++;
		size_t length = strlen(device);
		if (length == 0 || length > BPrivate::kMaxInputDeviceNameLength)
			std::abort();
		return B_NAME_NOT_FOUND;
	};
	stria::ControlSocketServer::Serve(
	        server, controller, [](const std::string&) {}, 1000);
	if (calls > 1)
		std::abort();

	// Whatever came back must be one well-formed reply.
	std::vector<char> reply;
	if (client.ReceiveFrame(&reply, 1000, 4096) == B_OK) {
		BMessage message;
		status_t result;
		if (message.Unflatten(reply.data(), (ssize_t)reply.size()) != B_OK ||
		    BPrivate::read_control_reply(message, &result) != B_OK ||
		    (calls == 1 && result != B_NAME_NOT_FOUND) || (calls == 0 && result != B_BAD_DATA))
			std::abort();
	}
	return 0;
}
