// --list-devices over a made-up sysfs and /dev/input.
#include "KeyboardList.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using stria::KeyboardList;

namespace {

TEST(KeyboardList, CapabilityBitmapsAsSysfsWritesThem)
{
	const struct {
		const char* bitmap;
		unsigned bit;
		bool set;
	} cases[] = {
	        {"1", 0, true},    {"2", 0, false},
	        {"2", 1, true},    {"fffffffffffffffe", 63, true},
	        {"1 0", 64, true}, // most significant word first
	        {"1 0", 0, false}, {"8000 0", 79, true},
	        {"1", 64, false}, // beyond the words given
	        {"", 0, false},    {"zz", 0, false},
	};
	for (const auto& c : cases)
		EXPECT_EQ(KeyboardList::HasBit(c.bitmap, c.bit), c.set) << c.bitmap << " bit " << c.bit;
}

// The key bitmap of a device that has the given keys.
std::string KeyBitmap(std::initializer_list<unsigned> keys)
{
	std::vector<unsigned long> words((KEY_MAX + 64) / 64, 0);
	for (unsigned key : keys)
		words[key / 64] |= 1ul << (key % 64);
	while (words.size() > 1 && words.back() == 0)
		words.pop_back();
	std::ostringstream out;
	for (size_t i = words.size(); i-- > 0;)
		out << std::hex << words[i] << (i > 0 ? " " : "");
	return out.str();
}

class FakeMachine {
public:
	FakeMachine()
	{
		char pattern[] = "/tmp/stria-devices-XXXXXX";
		fRoot = ::mkdtemp(pattern);
		fs::create_directories(Sys());
		fs::create_directories(Dev() + "/by-id");
		fs::create_directories(Dev() + "/by-path");
	}
	~FakeMachine() { fs::remove_all(fRoot); }

	std::string Sys() const { return fRoot + "/sys/class/input"; }
	std::string Dev() const { return fRoot + "/dev/input"; }

	void AddDevice(const std::string& event, const std::string& name, const std::string& keys)
	{
		const fs::path device = fs::path(Sys()) / event / "device";
		fs::create_directories(device / "capabilities");
		std::ofstream(device / "name") << name << "\n";
		std::ofstream(device / "capabilities" / "key") << keys << "\n";
		std::ofstream(fs::path(Dev()) / event).put('\0');
	}

	void Link(const std::string& folder, const std::string& name, const std::string& event)
	{
		fs::create_symlink("../" + event, fs::path(Dev()) / folder / name);
	}

private:
	std::string fRoot;
};

TEST(KeyboardList, ListsTypingKeyboardsWithTheirStablePaths)
{
	FakeMachine machine;
	const std::string keyboard =
	        KeyBitmap({KEY_ESC, KEY_1, KEY_A, KEY_Z, KEY_DOT, KEY_ENTER, KEY_F10});
	machine.AddDevice("event0", "Power Button", KeyBitmap({KEY_POWER}));
	machine.AddDevice("event12", "Scanner CueCat", keyboard);
	machine.AddDevice("event3", "AT Translated Set 2 keyboard", keyboard);
	machine.AddDevice("event4", "USB Optical Mouse", KeyBitmap({BTN_LEFT, BTN_RIGHT}));
	machine.AddDevice("mouse0", "not an event node", keyboard);
	machine.Link("by-id", "usb-Scanner_CueCat-event-kbd", "event12");
	machine.Link("by-path", "pci-0000:00:14.0-usb-0:2:1.0-event-kbd", "event12");
	machine.Link("by-id", "usb-Mouse-event-mouse", "event4");
	machine.Link("by-path", "platform-i8042-serio-0-event-kbd", "event3");

	const std::vector<KeyboardList::Keyboard> found =
	        KeyboardList(machine.Sys(), machine.Dev()).Find();
	ASSERT_EQ(found.size(), 2u);
	EXPECT_EQ(found[0].node, machine.Dev() + "/event3");
	EXPECT_EQ(found[0].name, "AT Translated Set 2 keyboard");
	EXPECT_EQ(found[0].links, std::vector<std::string>{
	                                  machine.Dev() + "/by-path/platform-i8042-serio-0-event-kbd"});
	EXPECT_EQ(found[1].node, machine.Dev() + "/event12");
	EXPECT_EQ(found[1].name, "Scanner CueCat");
	EXPECT_EQ(found[1].links,
	          (std::vector<std::string>{
	                  machine.Dev() + "/by-id/usb-Scanner_CueCat-event-kbd",
	                  machine.Dev() + "/by-path/pci-0000:00:14.0-usb-0:2:1.0-event-kbd"}));
	EXPECT_TRUE(found[1].readable);

	std::ostringstream printed;
	EXPECT_TRUE(KeyboardList(machine.Sys(), machine.Dev()).Print(printed));
	const std::string text = printed.str();
	EXPECT_NE(text.find("Scanner CueCat\n    " + machine.Dev() +
	                    "/by-id/usb-Scanner_CueCat-event-kbd"),
	          std::string::npos)
	        << text;
	EXPECT_EQ(text.find("Mouse"), std::string::npos) << text;
}

TEST(KeyboardList, SaysSoWhenThereIsNone)
{
	FakeMachine machine;
	machine.AddDevice("event0", "Power Button", KeyBitmap({KEY_POWER}));
	std::ostringstream printed;
	EXPECT_FALSE(KeyboardList(machine.Sys(), machine.Dev()).Print(printed));
	EXPECT_NE(printed.str().find("No keyboards found"), std::string::npos);
	std::ostringstream missing;
	EXPECT_FALSE(KeyboardList("/nonexistent/sys", "/nonexistent/dev").Print(missing));
	EXPECT_NE(missing.str().find("/nonexistent/sys"), std::string::npos);
}

} // namespace
