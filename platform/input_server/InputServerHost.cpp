// The installed host of this process and the control socket's path.
#include <private/InputServerHost.h>

#include <Message.h>

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

status_t InputServerHost::EnqueueMessages(BInputServerDevice* owner, BMessage** messages,
                                          int32 count)
{
	status_t result = B_OK;
	for (int32 index = 0; index < count; index++) {
		status_t status = EnqueueMessage(owner, messages[index]);
		if (result == B_OK)
			result = status;
	}
	return result;
}

status_t enqueue_messages(BInputServerDevice* device, BMessage** messages, int32 count)
{
	if (count < 0 || (count > 0 && messages == NULL))
		return B_BAD_VALUE;
	// The stream owns the messages even when they go nowhere.
	auto dropAll = [&](status_t why) {
		for (int32 index = 0; index < count; index++)
			delete messages[index];
		return why;
	};
	for (int32 index = 0; index < count; index++) {
		if (messages[index] == NULL)
			return dropAll(B_BAD_VALUE);
	}
	InputServerHost* host = input_server_host();
	if (host == NULL)
		return dropAll(B_NO_INIT);
	return host->EnqueueMessages(device, messages, count);
}

status_t InputServerHost::EnqueueFilterMessage(BInputServerFilter*, BMessage* message)
{
	return EnqueueMessage(NULL, message);
}

status_t enqueue_filter_message(BInputServerFilter* filter, BMessage* message)
{
	if (message == NULL)
		return B_BAD_VALUE;
	InputServerHost* host = input_server_host();
	if (host == NULL) {
		delete message;
		return B_NO_INIT;
	}
	return host->EnqueueFilterMessage(filter, message);
}

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
