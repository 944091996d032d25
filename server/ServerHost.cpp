// The server's device registry.
#include "ServerHost.h"

#include "InputStream.h"

#include <InputServerDevice.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <algorithm>
#include <mutex>
#include <string.h>

namespace stria {

namespace {

const size_t kMaxDeviceNameLength = 255;

} // namespace

ServerHost::ServerHost(Logger log) : fLog(std::move(log)) {}

ServerHost::~ServerHost() {}

void ServerHost::SetStream(InputStream* stream)
{
	std::unique_lock lock(fStreamLock);
	fStream = stream;
}

status_t ServerHost::RegisterDevices(BInputServerDevice* owner, input_device_ref** devices)
{
	if (owner == NULL || devices == NULL)
		return B_BAD_VALUE;

	// Check the whole list first: a bad list registers nothing.
	std::vector<Device> added;
	for (input_device_ref** ref = devices; *ref != NULL; ref++) {
		const char* name = (*ref)->name;
		if (name == NULL || name[0] == '\0' || strlen(name) > kMaxDeviceNameLength)
			return B_BAD_VALUE;
		added.push_back({name, (*ref)->type, (*ref)->cookie, owner});
	}

	std::unique_lock lock(fDevicesLock);
	for (const Device& device : added) {
		auto same = [&](const Device& other) { return other.name == device.name; };
		if (std::find_if(fDevices.begin(), fDevices.end(), same) != fDevices.end() ||
		    std::count_if(added.begin(), added.end(), same) > 1) {
			lock.unlock();
			fLog("device \"" + device.name + "\" is registered already; registration refused");
			return B_NAME_IN_USE;
		}
	}
	fDevices.insert(fDevices.end(), added.begin(), added.end());
	return B_OK;
}

status_t ServerHost::UnregisterDevices(BInputServerDevice* owner, input_device_ref** devices)
{
	if (owner == NULL || devices == NULL)
		return B_BAD_VALUE;
	std::unique_lock lock(fDevicesLock);
	for (input_device_ref** ref = devices; *ref != NULL; ref++) {
		if ((*ref)->name == NULL)
			continue;
		std::string name = (*ref)->name;
		std::erase_if(fDevices, [&](const Device& device) {
			return device.owner == owner && device.name == name;
		});
	}
	return B_OK;
}

status_t ServerHost::EnqueueMessage(BInputServerDevice* owner, BMessage* message)
{
	std::unique_ptr<BMessage> owned(message);
	if (!owned)
		return B_BAD_VALUE;
	if (owner != NULL)
		SourceOf(owner).Mark(*owned);
	std::shared_lock lock(fStreamLock);
	if (fStream == nullptr || !fStream->Enqueue(std::move(owned)))
		return B_NO_INIT;
	return B_OK;
}

status_t ServerHost::EnqueueMessages(BInputServerDevice* owner, BMessage** messages, int32 count)
{
	std::vector<std::unique_ptr<BMessage>> owned(messages, messages + count);
	if (owner != NULL) {
		const SourceIdentity source = SourceOf(owner);
		for (const std::unique_ptr<BMessage>& message : owned)
			source.Mark(*message);
	}
	std::shared_lock lock(fStreamLock);
	if (fStream == nullptr || !fStream->EnqueueAll(std::move(owned)))
		return B_NO_INIT;
	return B_OK;
}

status_t ServerHost::EnqueueFromReader(std::unique_ptr<BMessage> message)
{
	if (!message)
		return B_BAD_VALUE;
	// The stream is closed before it is unset, which releases a reader
	// waiting here under the shared lock.
	std::shared_lock lock(fStreamLock);
	if (fStream == nullptr || !fStream->EnqueueWaiting(std::move(message)))
		return B_NO_INIT;
	return B_OK;
}

status_t ServerHost::FindDevice(const char* name, input_device_type* type)
{
	if (name == NULL)
		return B_BAD_VALUE;
	std::shared_lock lock(fDevicesLock);
	for (const Device& device : fDevices) {
		if (device.name == name) {
			if (type != NULL)
				*type = device.type;
			return B_OK;
		}
	}
	return B_NAME_NOT_FOUND;
}

status_t ServerHost::ControlDevice(const char* name, uint32 code, BMessage* message)
{
	if (name == NULL)
		return B_BAD_VALUE;
	std::shared_lock lock(fDevicesLock);
	for (const Device& device : fDevices) {
		if (device.name == name)
			return device.owner->Control(device.name.c_str(), device.cookie, code, message);
	}
	return B_NAME_NOT_FOUND;
}

std::vector<ServerHost::Device> ServerHost::Devices() const
{
	std::shared_lock lock(fDevicesLock);
	return fDevices;
}

std::vector<ServerHost::Device> ServerHost::DevicesOf(const BInputServerDevice* owner) const
{
	std::shared_lock lock(fDevicesLock);
	std::vector<Device> result;
	for (const Device& device : fDevices) {
		if (device.owner == owner)
			result.push_back(device);
	}
	return result;
}

void ServerHost::Forget(const BInputServerDevice* owner)
{
	{
		std::unique_lock lock(fDevicesLock);
		std::erase_if(fDevices, [&](const Device& device) { return device.owner == owner; });
	}
	std::lock_guard lock(fSourcesLock);
	std::erase_if(fAddOnSources, [&](const auto& source) { return source.first == owner; });
}

SourceIdentity ServerHost::NewSource(int32 kind)
{
	return {++fLastSource, kind};
}

SourceIdentity ServerHost::SourceOf(const BInputServerDevice* owner)
{
	std::lock_guard lock(fSourcesLock);
	for (const auto& source : fAddOnSources) {
		if (source.first == owner)
			return source.second;
	}
	SourceIdentity identity{++fLastSource, STRIA_SOURCE_ADD_ON};
	fAddOnSources.emplace_back(owner, identity);
	return identity;
}

} // namespace stria
