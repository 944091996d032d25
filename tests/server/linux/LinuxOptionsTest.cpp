// The Linux keyboard options of stria-input-server's command line.
#include "ServerOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using stria::ParseServerOptions;

namespace {

TEST(LinuxOptions, ParsedOrRefused)
{
	const struct {
		std::vector<std::string> arguments;
		std::vector<std::string> devices;
		bool grab;
		bool listDevices;
		bool uinput;
		std::string uinputFile;
		const char* error; // part of the message, "" when accepted
	} cases[] = {
	        {{"--device", "/dev/input/event3"}, {"/dev/input/event3"}, true, false, false, "", ""},
	        {{"--device=/a", "--device", "/b", "--no-grab"},
	         {"/a", "/b"},
	         false,
	         false,
	         false,
	         "",
	         ""},
	        {{"--list-devices"}, {}, true, true, false, "", ""},
	        {{"--uinput"}, {}, true, false, true, "", ""},
	        {{"--uinput-file", "out.events"}, {}, true, false, false, "out.events", ""},
	        {{"--device"}, {}, true, false, false, "", "--device needs a path"},
	        {{"--device="}, {}, true, false, false, "", "--device needs a path"},
	        {{"--no-grab=yes"}, {}, true, false, false, "", "--no-grab takes no value"},
	        {{"--uinput=1"}, {}, true, false, false, "", "--uinput takes no value"},
	        {{"--list-devices=all"}, {}, true, false, false, "", "--list-devices takes no value"},
	        {{"--uinput-file"}, {}, true, false, false, "", "--uinput-file needs a path"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.arguments.front());
		const stria::ParsedServerOptions parsed = ParseServerOptions(c.arguments);
		if (*c.error != '\0') {
			ASSERT_TRUE(parsed.error.has_value());
			EXPECT_NE(parsed.error->find(c.error), std::string::npos) << *parsed.error;
			continue;
		}
		ASSERT_FALSE(parsed.error.has_value()) << *parsed.error;
		EXPECT_EQ(parsed.options.devices, c.devices);
		EXPECT_EQ(parsed.options.grab, c.grab);
		EXPECT_EQ(parsed.options.listDevices, c.listDevices);
		EXPECT_EQ(parsed.options.uinput, c.uinput);
		EXPECT_EQ(parsed.options.uinputFile, c.uinputFile);
	}
}

} // namespace
