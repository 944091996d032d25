// The add-ons of the server: loads every file of a folder with dlopen,
// instantiates the filters and devices they export and, at the end, takes
// them down in an order that keeps every call safe.
#ifndef STRIA_ADD_ON_MANAGER_H
#define STRIA_ADD_ON_MANAGER_H

#include <functional>
#include <string>
#include <vector>

class BInputServerDevice;
class BInputServerFilter;

namespace stria {

class ServerHost;

class AddOnManager {
public:
	using Logger = std::function<void(const std::string&)>;

	explicit AddOnManager(Logger log);
	// Deletes what is still there and unloads every add-on.
	~AddOnManager();

	AddOnManager(const AddOnManager&) = delete;
	AddOnManager& operator=(const AddOnManager&) = delete;

	// Loads every regular file of folder, in the order of their names. A
	// file that does not load or exports neither instantiate_input_filter
	// nor instantiate_input_device is logged by name and left out. False,
	// with a reason, when the folder itself cannot be read.
	bool LoadFolder(const std::string& folder, std::string* error);

	// Calls every instantiate_input_filter and the filter's InitCheck; a
	// filter that fails is logged and deleted.
	void InstantiateFilters();
	// Calls every instantiate_input_device and the device's InitCheck (in
	// which devices usually register with host), then Start for each device
	// it registered. A device whose InitCheck fails is logged and deleted.
	void InstantiateDevices(ServerHost& host);

	// The filters, in the order of their files.
	std::vector<BInputServerFilter*> Filters() const;
	size_t CountLoaded() const { return fAddOns.size(); }
	size_t CountDevices() const;

	// SystemShuttingDown for every device, while the input stream still
	// takes what they enqueue: a device stops what it is in the middle of
	// (a typed code), lets go of the keys it holds and starts nothing new.
	void ShutDownDevices();
	// Stop for every registered device.
	void StopDevices(ServerHost& host);
	void DeleteFilters();
	// Forgets the devices' registrations (waiting for Control calls to
	// return), then deletes them.
	void DeleteDevices(ServerHost& host);

private:
	using FilterFactory = BInputServerFilter* (*)();
	using DeviceFactory = BInputServerDevice* (*)();

	struct AddOn {
		std::string path;
		void* handle = nullptr;
		FilterFactory filterFactory = nullptr;
		DeviceFactory deviceFactory = nullptr;
		BInputServerFilter* filter = nullptr;
		BInputServerDevice* device = nullptr;
	};

	void Load(const std::string& path);

	Logger fLog;
	std::vector<AddOn> fAddOns;
};

} // namespace stria

#endif // STRIA_ADD_ON_MANAGER_H
