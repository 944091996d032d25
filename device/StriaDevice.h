// StriaDevice: the pseudo-device "CueCat [Keyboard]". It has no hardware
// and produces no key events; applications reach the input stream through
// its Control hook, and the filter picks their messages up there.
#ifndef STRIA_DEVICE_H
#define STRIA_DEVICE_H

#include <InputServerDevice.h>

class StriaDevice : public BInputServerDevice {
public:
	StriaDevice();
	~StriaDevice() override;

	// Registers the one device; whatever registration returns.
	status_t InitCheck() override;
	status_t Start(const char* device, void* cookie) override;
	status_t Stop(const char* device, void* cookie) override;
	// STRIA_SUBSCRIBE: the caller's message, stamped with the code, is
	// copied into the stream. STRIA_ALTF10_WHAT: an empty replay request
	// goes into the stream, whatever the caller's message holds. Any other
	// code does nothing. Always B_OK.
	status_t Control(const char* device, void* cookie, uint32 code, BMessage* message) override;
};

#endif // STRIA_DEVICE_H
