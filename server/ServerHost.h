// The server as host of its device add-ons: keeps the devices they
// register, puts what they enqueue into the input stream and routes
// Control calls (from this process or from the control socket) to them.
#ifndef STRIA_SERVER_HOST_H
#define STRIA_SERVER_HOST_H

#include "SourceIdentity.h"

#include <private/InputServerHost.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

namespace stria {

class InputStream;

class ServerHost : public BPrivate::InputServerHost {
public:
	struct Device {
		std::string name;
		input_device_type type;
		void* cookie;
		BInputServerDevice* owner;
	};

	using Logger = std::function<void(const std::string&)>;

	explicit ServerHost(Logger log);
	~ServerHost() override;

	// Where enqueued messages go; null drops them.
	void SetStream(InputStream* stream);

	status_t RegisterDevices(BInputServerDevice* owner, input_device_ref** devices) override;
	status_t UnregisterDevices(BInputServerDevice* owner, input_device_ref** devices) override;
	// A message of a device add-on (owner set) is marked as coming from
	// that add-on, one source per add-on object; one without owner comes
	// from an input device of the server itself and is marked already.
	// Never waits for room in the stream.
	status_t EnqueueMessage(BInputServerDevice* owner, BMessage* message) override;
	// The same for several at once (checked by enqueue_messages), queued
	// together.
	status_t EnqueueMessages(BInputServerDevice* owner, BMessage** messages, int32 count) override;
	// For the server's own readers, whose messages are marked already:
	// waits while the stream is full (see InputStream).
	status_t EnqueueFromReader(std::unique_ptr<BMessage> message);
	status_t FindDevice(const char* name, input_device_type* type) override;
	status_t ControlDevice(const char* name, uint32 code, BMessage* message) override;

	std::vector<Device> Devices() const;
	std::vector<Device> DevicesOf(const BInputServerDevice* owner) const;

	// Forgets every device of owner, waiting for Control calls into it to
	// return first, so that owner can then be deleted.
	void Forget(const BInputServerDevice* owner);

	// A source number of its own for an input device of the server: kind
	// STRIA_SOURCE_KEYBOARD or STRIA_SOURCE_RECORDED.
	SourceIdentity NewSource(int32 kind);
	// The source of what owner enqueues.
	SourceIdentity SourceOf(const BInputServerDevice* owner);

private:
	Logger fLog;
	mutable std::shared_mutex fDevicesLock; // held shared during Control calls
	std::vector<Device> fDevices;

	std::shared_mutex fStreamLock;
	InputStream* fStream = nullptr;

	std::atomic<int32> fLastSource{0};
	std::mutex fSourcesLock;
	std::vector<std::pair<const BInputServerDevice*, SourceIdentity>> fAddOnSources;
};

} // namespace stria

#endif // STRIA_SERVER_HOST_H
