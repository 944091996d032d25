// Loading add-ons: good ones are used, bad files are named in the log and
// left out, refusing add-ons are deleted, and the end takes all down.
#include "AddOnManager.h"
#include "ServerHost.h"

#include <InputServerFilter.h>
#include <private/InputServerHost.h>

#include <gtest/gtest.h>

#include <dlfcn.h>

namespace stria {
namespace {

const std::string kFolder = TEST_ADDON_FOLDER;

// A variable of a loaded add-on.
int* AddOnVariable(const std::string& file, const char* name)
{
	void* handle = dlopen((kFolder + "/" + file).c_str(), RTLD_NOW | RTLD_NOLOAD);
	if (handle == nullptr)
		return nullptr;
	int* variable = static_cast<int*>(dlsym(handle, name));
	dlclose(handle); // drops only the reference RTLD_NOLOAD took
	return variable;
}

bool Logged(const std::vector<std::string>& log, const std::string& part1, const std::string& part2)
{
	for (const std::string& line : log) {
		if (line.find(part1) != std::string::npos && line.find(part2) != std::string::npos)
			return true;
	}
	return false;
}

TEST(AddOnManagerTest, UsesGoodAddOnsAndNamesTheBadOnes)
{
	std::vector<std::string> log;
	auto logger = [&log](const std::string& line) { log.push_back(line); };
	ServerHost host(logger);
	BPrivate::ScopedInputServerHost installed(&host);
	AddOnManager addOns(logger);

	std::string error;
	ASSERT_TRUE(addOns.LoadFolder(kFolder, &error)) << error;
	EXPECT_EQ(addOns.CountLoaded(), 3u); // filter, device, refusing
	EXPECT_TRUE(Logged(log, "d_no_export", "exports neither instantiate_input_filter"));
	EXPECT_TRUE(Logged(log, "e_notes.txt", "not loaded"));
	EXPECT_FALSE(Logged(log, "subfolder", ""));

	int* filtersAlive = AddOnVariable("a_filter", "gTestFiltersAlive");
	int* starts = AddOnVariable("b_device", "gTestDeviceStarts");
	int* stops = AddOnVariable("b_device", "gTestDeviceStops");
	int* devicesAlive = AddOnVariable("b_device", "gTestDevicesAlive");
	int* refusedAlive = AddOnVariable("c_refusing", "gRefusedAlive");
	ASSERT_TRUE(filtersAlive && starts && stops && devicesAlive && refusedAlive);

	addOns.InstantiateFilters();
	EXPECT_EQ(addOns.Filters().size(), 1u);
	EXPECT_EQ(*filtersAlive, 1);
	EXPECT_TRUE(Logged(log, "c_refusing", "filter refused to start"));

	addOns.InstantiateDevices(host);
	EXPECT_EQ(addOns.CountDevices(), 1u);
	EXPECT_EQ(host.FindDevice("Test Pad", nullptr), B_OK);
	EXPECT_EQ(host.FindDevice("Refusing Pad", nullptr), B_NAME_NOT_FOUND);
	EXPECT_TRUE(Logged(log, "c_refusing", "device refused to start"));
	EXPECT_EQ(*refusedAlive, 0);
	EXPECT_EQ(*starts, 1);

	addOns.StopDevices(host);
	EXPECT_EQ(*stops, 1);
	addOns.DeleteFilters();
	EXPECT_EQ(*filtersAlive, 0);
	EXPECT_TRUE(addOns.Filters().empty());
	addOns.DeleteDevices(host);
	EXPECT_EQ(*devicesAlive, 0);
	EXPECT_TRUE(host.Devices().empty());
}

TEST(AddOnManagerTest, AFolderThatCannotBeReadIsAnError)
{
	AddOnManager addOns([](const std::string&) {});
	const char* folders[] = {"/nonexistent/stria-add-ons", STRIA_SOURCE_DIR "/CMakeLists.txt"};
	for (const char* folder : folders) {
		std::string error;
		EXPECT_FALSE(addOns.LoadFolder(folder, &error));
		EXPECT_NE(error.find(folder), std::string::npos) << error;
	}
}

TEST(AddOnManagerTest, AnEmptyFolderLoadsNothing)
{
	std::vector<std::string> log;
	AddOnManager addOns([&log](const std::string& line) { log.push_back(line); });
	std::string error;
	ASSERT_TRUE(addOns.LoadFolder(kFolder + "/subfolder", &error)) << error;
	addOns.InstantiateFilters();
	EXPECT_EQ(addOns.CountLoaded(), 0u);
	EXPECT_TRUE(log.empty());
}

} // namespace
} // namespace stria
