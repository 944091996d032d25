// Private: the process that hosts input-server add-ons.
//
// BInputServerDevice::RegisterDevices, UnregisterDevices and EnqueueMessage,
// find_input_device and BInputDevice::Control in this process all go to the
// installed host: the input server itself, or a test double (see
// TestInputServerHost.h). Without a host, the device calls fail with
// B_NO_INIT and find_input_device goes to the control socket.
#ifndef _INPUT_SERVER_HOST_H
#define _INPUT_SERVER_HOST_H

#include <Input.h>
#include <SupportDefs.h>

class BInputServerDevice;
class BInputServerFilter;
class BMessage;
struct input_device_ref;

namespace BPrivate {

class InputServerHost {
public:
	virtual ~InputServerHost();

	// owner is the device object whose RegisterDevices was called; devices
	// is its NULL-terminated list, to be copied before returning.
	virtual status_t RegisterDevices(BInputServerDevice* owner, input_device_ref** devices) = 0;
	virtual status_t UnregisterDevices(BInputServerDevice* owner, input_device_ref** devices) = 0;

	// Takes ownership of message in every case.
	virtual status_t EnqueueMessage(BInputServerDevice* owner, BMessage* message) = 0;

	// Takes ownership of the count messages, none NULL (enqueue_messages
	// sees to that), and queues them in order, as one: nothing of another
	// device comes between them, and the input server is woken for them
	// once. By default one after the other through EnqueueMessage.
	virtual status_t EnqueueMessages(BInputServerDevice* owner, BMessage** messages, int32 count);

	// Takes ownership of message and queues it behind every message queued
	// already, for a filter that must see it in turn (a timer's tick that
	// keys already on their way decide first). By default as a message of
	// no device: EnqueueMessage(NULL, message).
	virtual status_t EnqueueFilterMessage(BInputServerFilter* owner, BMessage* message);

	// B_OK and the device's type when a device of that name is registered,
	// B_NAME_NOT_FOUND otherwise.
	virtual status_t FindDevice(const char* name, input_device_type* type) = 0;

	// Calls Control on the registered device of that name; B_NAME_NOT_FOUND
	// when there is none.
	virtual status_t ControlDevice(const char* name, uint32 code, BMessage* message) = 0;
};

// Installs the host of this process (NULL removes it). Install before any
// add-on runs and remove only after every add-on is gone.
void set_input_server_host(InputServerHost* host);
InputServerHost* input_server_host();

// Like BInputServerDevice::EnqueueMessage for the count messages of list,
// queued as one (see InputServerHost::EnqueueMessages), for a device that
// has several ready at once: the keys of a whole word, say. Takes
// ownership of every message; B_BAD_VALUE, with none queued, for a
// negative count or a NULL among them; B_NO_INIT without a host.
status_t enqueue_messages(BInputServerDevice* device, BMessage** messages, int32 count);

// For a filter: queues message into the input stream through the host (see
// InputServerHost::EnqueueFilterMessage). Takes ownership of message;
// B_BAD_VALUE for a NULL message, B_NO_INIT without a host.
status_t enqueue_filter_message(BInputServerFilter* filter, BMessage* message);

// The control socket that find_input_device and BInputDevice::Control use
// in processes without a host. NULL restores the default, "input_server" in
// the platform's runtime directory.
void set_input_server_control_path(const char* path);
// The path in use, in a buffer of size bytes; B_BAD_VALUE when it does not fit.
status_t get_input_server_control_path(char* buffer, size_t size);

// Installs a host for the lifetime of a scope.
class ScopedInputServerHost {
public:
	explicit ScopedInputServerHost(InputServerHost* host) { set_input_server_host(host); }
	~ScopedInputServerHost() { set_input_server_host(NULL); }
	ScopedInputServerHost(const ScopedInputServerHost&) = delete;
	ScopedInputServerHost& operator=(const ScopedInputServerHost&) = delete;
};

} // namespace BPrivate

#endif // _INPUT_SERVER_HOST_H
