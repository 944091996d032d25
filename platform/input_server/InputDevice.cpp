// BInputDevice and find_input_device: through the host in the process that
// has one, through the control socket everywhere else.
#include <Input.h>

#include <Message.h>
#include <private/InputServerControl.h>
#include <private/InputServerHost.h>

#include <limits.h>
#include <stdlib.h>
#include <string.h>

namespace {

// Long enough for a device's Control to run; short enough that a stuck
// server does not hang its clients for good.
const bigtime_t kControlTimeout = 10000000;

} // namespace

BInputDevice* find_input_device(const char* name)
{
	if (name == NULL || name[0] == '\0' || strlen(name) > BPrivate::kMaxInputDeviceNameLength)
		return NULL;

	BPrivate::InputServerHost* host = BPrivate::input_server_host();
	if (host != NULL) {
		input_device_type type;
		if (host->FindDevice(name, &type) != B_OK)
			return NULL;
		return new BInputDevice(name, type, false);
	}

	// Only Control travels over the socket, so from here the device's
	// existence and type are not known; Control reports an unknown name.
	char path[PATH_MAX];
	if (BPrivate::get_input_server_control_path(path, sizeof(path)) != B_OK ||
	    !BPrivate::control_socket_answers(path))
		return NULL;
	return new BInputDevice(name, B_UNDEFINED_DEVICE, true);
}

BInputDevice::BInputDevice(const char* name, input_device_type type, bool remote)
    : fName(strdup(name)), fType(type), fRemote(remote)
{
}

BInputDevice::~BInputDevice()
{
	free(fName);
}

const char* BInputDevice::Name() const
{
	return fName;
}

input_device_type BInputDevice::Type() const
{
	return fType;
}

status_t BInputDevice::Control(uint32 code, BMessage* message)
{
	if (fName == NULL)
		return B_NO_MEMORY;

	if (!fRemote) {
		BPrivate::InputServerHost* host = BPrivate::input_server_host();
		if (host == NULL)
			return B_NO_INIT;
		return host->ControlDevice(fName, code, message);
	}

	char path[PATH_MAX];
	status_t status = BPrivate::get_input_server_control_path(path, sizeof(path));
	if (status != B_OK)
		return status;
	return BPrivate::send_control_request(path, fName, code, message, kControlTimeout);
}
