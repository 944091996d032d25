// Input kit: input devices as applications see them.
#ifndef _INPUT_H
#define _INPUT_H

#include <SupportDefs.h>

class BMessage;

enum input_device_type { B_POINTING_DEVICE = 0, B_KEYBOARD_DEVICE = 1, B_UNDEFINED_DEVICE = 2 };

enum input_device_notification {
	B_KEY_MAP_CHANGED = 1,
	B_KEY_LOCKS_CHANGED = 2,
	B_KEY_REPEAT_DELAY_CHANGED = 3,
	B_KEY_REPEAT_RATE_CHANGED = 4,
	B_MOUSE_TYPE_CHANGED = 5,
	B_MOUSE_MAP_CHANGED = 6,
	B_MOUSE_SPEED_CHANGED = 7,
	B_CLICK_SPEED_CHANGED = 8,
	B_MOUSE_ACCELERATION_CHANGED = 9
};

class BInputDevice;

// Looks a registered device up by its name. In the process that hosts the
// input server's add-ons the answer comes from the host; elsewhere the
// device is reached through the input server's control socket, and NULL
// means that no input server answers there. The caller deletes the result.
BInputDevice* find_input_device(const char* name);

class BInputDevice {
public:
	~BInputDevice();

	const char* Name() const;
	input_device_type Type() const;

	// Calls the device's Control hook with code and message (which may be
	// NULL) and returns its result. From another process the message is
	// flattened, so changes the device makes to it do not come back.
	status_t Control(uint32 code, BMessage* message);

private:
	friend BInputDevice* find_input_device(const char* name);

	BInputDevice(const char* name, input_device_type type, bool remote);
	BInputDevice(const BInputDevice&) = delete;
	BInputDevice& operator=(const BInputDevice&) = delete;

	char* fName;
	input_device_type fType;
	bool fRemote;
};

#endif // _INPUT_H
