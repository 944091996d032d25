// An add-on whose filter and device both fail InitCheck; the loader must
// delete them and go on.
#include <InputServerDevice.h>
#include <InputServerFilter.h>

extern "C" _EXPORT int gRefusedAlive;
int gRefusedAlive = 0;

namespace {

class RefusingFilter : public BInputServerFilter {
public:
	RefusingFilter() { gRefusedAlive++; }
	~RefusingFilter() override { gRefusedAlive--; }
	status_t InitCheck() override { return B_NO_MEMORY; }
};

class RefusingDevice : public BInputServerDevice {
public:
	RefusingDevice() { gRefusedAlive++; }
	~RefusingDevice() override { gRefusedAlive--; }

	status_t InitCheck() override
	{
		// Registers first, then fails: the registration must not outlive it.
		static char name[] = "Refusing Pad";
		input_device_ref ref = {name, B_UNDEFINED_DEVICE, NULL};
		input_device_ref* list[] = {&ref, NULL};
		RegisterDevices(list);
		return B_ERROR;
	}
};

} // namespace

BInputServerFilter* instantiate_input_filter()
{
	return new RefusingFilter;
}

BInputServerDevice* instantiate_input_device()
{
	return new RefusingDevice;
}
