// A device add-on for the loader's tests: registers "Test Pad", notes its
// Start and Stop calls, and enqueues a message of the code on Control.
#include <InputServerDevice.h>
#include <Message.h>

extern "C" _EXPORT int gTestDeviceStarts;
extern "C" _EXPORT int gTestDeviceStops;
extern "C" _EXPORT int gTestDevicesAlive;
int gTestDeviceStarts = 0;
int gTestDeviceStops = 0;
int gTestDevicesAlive = 0;

namespace {

char sName[] = "Test Pad";

class TestPad : public BInputServerDevice {
public:
	TestPad() { gTestDevicesAlive++; }
	~TestPad() override { gTestDevicesAlive--; }

	status_t InitCheck() override
	{
		input_device_ref ref = {sName, B_UNDEFINED_DEVICE, NULL};
		input_device_ref* list[] = {&ref, NULL};
		return RegisterDevices(list);
	}

	status_t Start(const char*, void*) override
	{
		gTestDeviceStarts++;
		return B_OK;
	}

	status_t Stop(const char*, void*) override
	{
		gTestDeviceStops++;
		return B_OK;
	}

	status_t Control(const char*, void*, uint32 code, BMessage*) override
	{
		return EnqueueMessage(new BMessage(code));
	}
};

} // namespace

BInputServerDevice* instantiate_input_device()
{
	return new TestPad;
}
