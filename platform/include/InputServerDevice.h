// Input server: the base class of device add-ons.
#ifndef _INPUT_SERVER_DEVICE_H
#define _INPUT_SERVER_DEVICE_H

#include <Input.h>
#include <SupportDefs.h>

class BMessage;

#ifndef _EXPORT
#define _EXPORT __attribute__((visibility("default")))
#endif

// One device an add-on announces. The server copies the name.
struct input_device_ref {
	char* name;
	input_device_type type;
	void* cookie;
};

class BInputServerDevice {
public:
	BInputServerDevice();
	virtual ~BInputServerDevice();

	// Called once after instantiation; anything but B_OK makes the server
	// drop the add-on. Devices usually register themselves here.
	virtual status_t InitCheck();
	virtual status_t SystemShuttingDown();

	// Hooks the server calls for each registered device, with the name and
	// cookie of its input_device_ref.
	virtual status_t Start(const char* device, void* cookie);
	virtual status_t Stop(const char* device, void* cookie);
	virtual status_t Control(const char* device, void* cookie, uint32 code, BMessage* message);

	// Announce or withdraw devices: a list of pointers ended by NULL. The
	// server takes what it needs before returning.
	status_t RegisterDevices(input_device_ref** devices);
	status_t UnregisterDevices(input_device_ref** devices);

	// Puts a heap message into the input stream, which owns it from then
	// on, also when an error is returned.
	status_t EnqueueMessage(BMessage* message);

private:
	virtual void _ReservedInputServerDevice1();
	virtual void _ReservedInputServerDevice2();
	virtual void _ReservedInputServerDevice3();
	virtual void _ReservedInputServerDevice4();

	uint32 _reserved[4];
};

// The export of a device add-on: one new device the server owns.
extern "C" _EXPORT BInputServerDevice* instantiate_input_device();

#endif // _INPUT_SERVER_DEVICE_H
