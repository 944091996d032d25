// Loading and unloading add-ons.
#include "AddOnManager.h"

#include "ServerHost.h"
#include "StatusText.h"

#include <InputServerDevice.h>
#include <InputServerFilter.h>

#include <algorithm>
#include <dlfcn.h>
#include <filesystem>
#include <system_error>

namespace stria {

AddOnManager::AddOnManager(Logger log) : fLog(std::move(log)) {}

AddOnManager::~AddOnManager()
{
	DeleteFilters();
	for (AddOn& addOn : fAddOns) {
		delete addOn.device;
		addOn.device = nullptr;
	}
	// Unload last, in reverse order, once no object of any add-on is left.
	for (auto addOn = fAddOns.rbegin(); addOn != fAddOns.rend(); addOn++)
		dlclose(addOn->handle);
}

bool AddOnManager::LoadFolder(const std::string& folder, std::string* error)
{
	namespace fs = std::filesystem;
	std::error_code code;
	if (!fs::is_directory(folder, code)) {
		*error = "add-on folder " + folder + " is not a folder" +
		         (code ? " (" + code.message() + ")" : std::string());
		return false;
	}

	std::vector<std::string> files;
	fs::directory_iterator entries(folder, code);
	if (code) {
		*error = "cannot read add-on folder " + folder + ": " + code.message();
		return false;
	}
	for (const fs::directory_entry& entry : entries) {
		std::error_code typeCode;
		if (entry.is_regular_file(typeCode))
			files.push_back(entry.path().string());
	}
	std::sort(files.begin(), files.end());
	for (const std::string& path : files)
		Load(path);
	return true;
}

void AddOnManager::Load(const std::string& path)
{
	dlerror();
	// An add-on's code stays mapped until the process ends: a thread it
	// may leave behind (a viewer window that was too busy to close with its
	// filter) must never run into unmapped code.
	void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
	if (handle == nullptr) {
		const char* reason = dlerror();
		fLog("add-on " + path + " not loaded: " + (reason != nullptr ? reason : "unknown error"));
		return;
	}
	AddOn addOn;
	addOn.path = path;
	addOn.handle = handle;
	addOn.filterFactory =
	        reinterpret_cast<FilterFactory>(dlsym(handle, "instantiate_input_filter"));
	addOn.deviceFactory =
	        reinterpret_cast<DeviceFactory>(dlsym(handle, "instantiate_input_device"));
	if (addOn.filterFactory == nullptr && addOn.deviceFactory == nullptr) {
		fLog("add-on " + path +
		     " exports neither instantiate_input_filter nor instantiate_input_device; "
		     "left out");
		dlclose(handle);
		return;
	}
	fAddOns.push_back(std::move(addOn));
}

void AddOnManager::InstantiateFilters()
{
	for (AddOn& addOn : fAddOns) {
		if (addOn.filterFactory == nullptr || addOn.filter != nullptr)
			continue;
		BInputServerFilter* filter = addOn.filterFactory();
		if (filter == nullptr) {
			fLog("add-on " + addOn.path + ": instantiate_input_filter made no filter");
			continue;
		}
		status_t status = filter->InitCheck();
		if (status != B_OK) {
			fLog("add-on " + addOn.path +
			     ": filter refused to start (InitCheck: " + StatusText(status) + ")");
			delete filter;
			continue;
		}
		addOn.filter = filter;
	}
}

void AddOnManager::InstantiateDevices(ServerHost& host)
{
	for (AddOn& addOn : fAddOns) {
		if (addOn.deviceFactory == nullptr || addOn.device != nullptr)
			continue;
		BInputServerDevice* device = addOn.deviceFactory();
		if (device == nullptr) {
			fLog("add-on " + addOn.path + ": instantiate_input_device made no device");
			continue;
		}
		status_t status = device->InitCheck();
		if (status != B_OK) {
			fLog("add-on " + addOn.path +
			     ": device refused to start (InitCheck: " + StatusText(status) + ")");
			host.Forget(device);
			delete device;
			continue;
		}
		addOn.device = device;
		for (const ServerHost::Device& registered : host.DevicesOf(device)) {
			status = device->Start(registered.name.c_str(), registered.cookie);
			if (status != B_OK) {
				fLog("device \"" + registered.name + "\" did not start (" + StatusText(status) +
				     ")");
			}
		}
	}
}

std::vector<BInputServerFilter*> AddOnManager::Filters() const
{
	std::vector<BInputServerFilter*> filters;
	for (const AddOn& addOn : fAddOns) {
		if (addOn.filter != nullptr)
			filters.push_back(addOn.filter);
	}
	return filters;
}

size_t AddOnManager::CountDevices() const
{
	return std::count_if(fAddOns.begin(), fAddOns.end(),
	                     [](const AddOn& addOn) { return addOn.device != nullptr; });
}

void AddOnManager::ShutDownDevices()
{
	for (AddOn& addOn : fAddOns) {
		if (addOn.device != nullptr)
			addOn.device->SystemShuttingDown();
	}
}

void AddOnManager::StopDevices(ServerHost& host)
{
	for (AddOn& addOn : fAddOns) {
		if (addOn.device == nullptr)
			continue;
		for (const ServerHost::Device& registered : host.DevicesOf(addOn.device))
			addOn.device->Stop(registered.name.c_str(), registered.cookie);
	}
}

void AddOnManager::DeleteFilters()
{
	for (AddOn& addOn : fAddOns) {
		delete addOn.filter;
		addOn.filter = nullptr;
	}
}

void AddOnManager::DeleteDevices(ServerHost& host)
{
	for (AddOn& addOn : fAddOns) {
		if (addOn.device == nullptr)
			continue;
		host.Forget(addOn.device);
		delete addOn.device;
		addOn.device = nullptr;
	}
}

} // namespace stria
