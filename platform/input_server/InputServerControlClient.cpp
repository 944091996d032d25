// Client side of the control socket.
#include <private/InputServerControl.h>

#include <string>

namespace BPrivate {

std::string default_input_server_control_path()
{
	return std::string();
}

status_t send_control_request(const char*, const char*, uint32, const BMessage*, bigtime_t)
{
	return B_ERROR;
}

bool control_socket_answers(const char*)
{
	return false;
}

} // namespace BPrivate
