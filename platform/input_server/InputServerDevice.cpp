// BInputServerDevice: hooks that do nothing, and the calls that reach the
// host of the add-ons.
#include <InputServerDevice.h>

#include <Message.h>
#include <private/InputServerHost.h>

BInputServerDevice::BInputServerDevice() {}

BInputServerDevice::~BInputServerDevice() {}

status_t BInputServerDevice::InitCheck()
{
	return B_OK;
}

status_t BInputServerDevice::SystemShuttingDown()
{
	return B_OK;
}

status_t BInputServerDevice::Start(const char*, void*)
{
	return B_OK;
}

status_t BInputServerDevice::Stop(const char*, void*)
{
	return B_OK;
}

status_t BInputServerDevice::Control(const char*, void*, uint32, BMessage*)
{
	return B_OK;
}

status_t BInputServerDevice::RegisterDevices(input_device_ref** devices)
{
	BPrivate::InputServerHost* host = BPrivate::input_server_host();
	if (host == NULL)
		return B_NO_INIT;
	return host->RegisterDevices(this, devices);
}

status_t BInputServerDevice::UnregisterDevices(input_device_ref** devices)
{
	BPrivate::InputServerHost* host = BPrivate::input_server_host();
	if (host == NULL)
		return B_NO_INIT;
	return host->UnregisterDevices(this, devices);
}

status_t BInputServerDevice::EnqueueMessage(BMessage* message)
{
	BPrivate::InputServerHost* host = BPrivate::input_server_host();
	if (host == NULL) {
		// The stream owns the message even when there is no stream.
		delete message;
		return B_NO_INIT;
	}
	return host->EnqueueMessage(this, message);
}

void BInputServerDevice::_ReservedInputServerDevice1() {}
void BInputServerDevice::_ReservedInputServerDevice2() {}
void BInputServerDevice::_ReservedInputServerDevice3() {}
void BInputServerDevice::_ReservedInputServerDevice4() {}
