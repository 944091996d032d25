#include "StriaDevice.h"

#include <Message.h>

#include <StriaProtocol.h>

#include <new>

namespace {

// Lives as long as the add-on; the reference wants a mutable pointer.
char sDeviceName[] = "CueCat [Keyboard]";

} // namespace

StriaDevice::StriaDevice() : BInputServerDevice() {}

StriaDevice::~StriaDevice() {}

status_t StriaDevice::InitCheck()
{
	input_device_ref device = {sDeviceName, B_UNDEFINED_DEVICE, NULL};
	input_device_ref* devices[] = {&device, NULL};
	return RegisterDevices(devices);
}

status_t StriaDevice::Start(const char*, void*)
{
	return B_OK;
}

status_t StriaDevice::Stop(const char*, void*)
{
	return B_OK;
}

status_t StriaDevice::Control(const char*, void*, uint32 code, BMessage* message)
{
	switch (code) {
	case STRIA_SUBSCRIBE:
		// Without a message there is nothing to subscribe with.
		if (message == NULL)
			break;
		message->what = code;
		if (BMessage* copy = new (std::nothrow) BMessage(*message))
			EnqueueMessage(copy);
		break;

	case STRIA_ALTF10_WHAT:
		// Nothing of the caller's message goes along.
		if (BMessage* replay = new (std::nothrow) BMessage(STRIA_ALTF10_WHAT))
			EnqueueMessage(replay);
		break;

	default:
		break;
	}
	return B_OK;
}
