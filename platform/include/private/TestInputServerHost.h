// Private: an input-server host for tests. It keeps the devices that
// register, collects what they enqueue, and routes Control to them, all
// without a server. Header-only, so that tests need no extra library.
//
//	BPrivate::TestInputServerHost host;          // installs itself
//	BInputServerDevice* device = instantiate_input_device();
//	device->InitCheck();
//	find_input_device("name")->Control(code, &message);
//	std::vector<std::unique_ptr<BMessage>> got = host.TakeMessages();
#ifndef _TEST_INPUT_SERVER_HOST_H
#define _TEST_INPUT_SERVER_HOST_H

#include <InputServerDevice.h>
#include <Message.h>
#include <private/InputServerHost.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace BPrivate {

class TestInputServerHost : public InputServerHost {
public:
	struct Device {
		std::string name;
		input_device_type type;
		void* cookie;
		BInputServerDevice* owner;
	};

	// install: make this the process's host until destruction.
	explicit TestInputServerHost(bool install = true) : fInstalled(install)
	{
		if (install)
			set_input_server_host(this);
	}

	~TestInputServerHost() override
	{
		if (fInstalled)
			set_input_server_host(NULL);
	}

	status_t RegisterDevices(BInputServerDevice* owner, input_device_ref** devices) override
	{
		if (devices == NULL)
			return B_BAD_VALUE;
		std::lock_guard lock(fLock);
		fRegisterCalls++;
		for (; *devices != NULL; devices++) {
			if ((*devices)->name == NULL)
				return B_BAD_VALUE;
			fDevices.push_back({(*devices)->name, (*devices)->type, (*devices)->cookie, owner});
		}
		return B_OK;
	}

	status_t UnregisterDevices(BInputServerDevice* owner, input_device_ref** devices) override
	{
		if (devices == NULL)
			return B_BAD_VALUE;
		std::lock_guard lock(fLock);
		for (; *devices != NULL; devices++) {
			std::erase_if(fDevices, [&](const Device& device) {
				return device.owner == owner && device.name == (*devices)->name;
			});
		}
		return B_OK;
	}

	status_t EnqueueMessage(BInputServerDevice*, BMessage* message) override
	{
		std::unique_ptr<BMessage> owned(message);
		if (message == NULL)
			return B_BAD_VALUE;
		std::lock_guard lock(fLock);
		fMessages.push_back(std::move(owned));
		return B_OK;
	}

	status_t FindDevice(const char* name, input_device_type* type) override
	{
		std::lock_guard lock(fLock);
		for (const Device& device : fDevices) {
			if (name != NULL && device.name == name) {
				if (type != NULL)
					*type = device.type;
				return B_OK;
			}
		}
		return B_NAME_NOT_FOUND;
	}

	status_t ControlDevice(const char* name, uint32 code, BMessage* message) override
	{
		Device found;
		{
			std::lock_guard lock(fLock);
			bool known = false;
			for (const Device& device : fDevices) {
				if (name != NULL && device.name == name) {
					found = device;
					known = true;
					break;
				}
			}
			if (!known)
				return B_NAME_NOT_FOUND;
		}
		return found.owner->Control(found.name.c_str(), found.cookie, code, message);
	}

	std::vector<Device> Devices()
	{
		std::lock_guard lock(fLock);
		return fDevices;
	}

	int32 CountRegisterCalls()
	{
		std::lock_guard lock(fLock);
		return fRegisterCalls;
	}

	// Hands over everything enqueued so far, oldest first.
	std::vector<std::unique_ptr<BMessage>> TakeMessages()
	{
		std::vector<std::unique_ptr<BMessage>> taken;
		std::lock_guard lock(fLock);
		taken.swap(fMessages);
		return taken;
	}

private:
	std::mutex fLock;
	std::vector<Device> fDevices;
	std::vector<std::unique_ptr<BMessage>> fMessages;
	int32 fRegisterCalls = 0;
	bool fInstalled;
};

} // namespace BPrivate

#endif // _TEST_INPUT_SERVER_HOST_H
