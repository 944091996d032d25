// The installed host of this process and the control socket's path.
#include <private/InputServerHost.h>

#include <atomic>
#include <mutex>
#include <string.h>
#include <string>

namespace BPrivate {

namespace {

std::atomic<InputServerHost*> sHost{NULL};

std::mutex sPathLock;
std::string sControlPath; // empty: the default

} // namespace

InputServerHost::~InputServerHost() {}

void set_input_server_host(InputServerHost* host)
{
	sHost.store(host, std::memory_order_release);
}

InputServerHost* input_server_host()
{
	return sHost.load(std::memory_order_acquire);
}

void set_input_server_control_path(const char* path)
{
	std::lock_guard lock(sPathLock);
	sControlPath = path != NULL ? path : "";
}

std::string default_input_server_control_path();

status_t get_input_server_control_path(char* buffer, size_t size)
{
	if (buffer == NULL || size == 0)
		return B_BAD_VALUE;
	std::string path;
	{
		std::lock_guard lock(sPathLock);
		path = sControlPath;
	}
	if (path.empty())
		path = default_input_server_control_path();
	if (path.empty())
		return B_ERROR;
	if (path.size() + 1 > size)
		return B_BAD_VALUE;
	memcpy(buffer, path.c_str(), path.size() + 1);
	return B_OK;
}

} // namespace BPrivate
