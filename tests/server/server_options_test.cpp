// stria-input-server's command line.
#include "ServerOptions.h"

#include <gtest/gtest.h>

namespace stria {
namespace {

struct OptionsCase {
	const char* name;
	std::vector<std::string> arguments;
	// Expected options when error is null.
	ServerOptions expected;
	const char* error; // part of the message, or null
};

void PrintTo(const OptionsCase& test, std::ostream* out)
{
	*out << test.name;
}

ServerOptions With(std::function<void(ServerOptions&)> change)
{
	ServerOptions options;
	change(options);
	return options;
}

class ServerOptionsTest : public testing::TestWithParam<OptionsCase> {};

TEST_P(ServerOptionsTest, Parses)
{
	const OptionsCase& test = GetParam();
	ParsedServerOptions parsed = ParseServerOptions(test.arguments);
	if (test.error != nullptr) {
		ASSERT_TRUE(parsed.error);
		EXPECT_NE(parsed.error->find(test.error), std::string::npos) << *parsed.error;
		return;
	}
	ASSERT_FALSE(parsed.error) << *parsed.error;
	const ServerOptions& got = parsed.options;
	EXPECT_EQ(got.addOnFolder, test.expected.addOnFolder);
	EXPECT_EQ(got.controlSocket, test.expected.controlSocket);
	EXPECT_EQ(got.replays, test.expected.replays);
	EXPECT_EQ(got.fast, test.expected.fast);
	EXPECT_EQ(got.print, test.expected.print);
	EXPECT_EQ(got.subscribe, test.expected.subscribe);
	EXPECT_EQ(got.help, test.expected.help);
}

INSTANTIATE_TEST_SUITE_P(
        CommandLines, ServerOptionsTest,
        testing::Values(
                OptionsCase{"none", {}, {}, nullptr},
                OptionsCase{"flags",
                            {"--print", "--subscribe", "--fast", "--replay", "-"},
                            With([](ServerOptions& o) {
	                            o.print = o.subscribe = o.fast = true;
	                            o.replays = {"-"};
                            }),
                            nullptr},
                OptionsCase{"repeated_flags_are_harmless",
                            {"--print", "--print"},
                            With([](ServerOptions& o) { o.print = true; }),
                            nullptr},
                OptionsCase{"help_wins_over_a_conflict",
                            {"--list-devices", "--print", "--help"},
                            With([](ServerOptions& o) { o.help = o.print = true; }),
                            nullptr},
                OptionsCase{"help_short_and_long",
                            {"-h"},
                            With([](ServerOptions& o) { o.help = true; }),
                            nullptr},
                OptionsCase{"values_as_next_word",
                            {"--add-ons", "/a", "--control-socket", "/s", "--replay", "x.txt"},
                            With([](ServerOptions& o) {
	                            o.addOnFolder = "/a";
	                            o.controlSocket = "/s";
	                            o.replays = {"x.txt"};
                            }),
                            nullptr},
                OptionsCase{"values_after_equals",
                            {"--add-ons=/a", "--replay=-", "--replay=y"},
                            With([](ServerOptions& o) {
	                            o.addOnFolder = "/a";
	                            o.replays = {"-", "y"};
                            }),
                            nullptr},
                OptionsCase{"unknown_option", {"--prnt"}, {}, "unknown option '--prnt'"},
                OptionsCase{"stray_argument", {"file.txt"}, {}, "unexpected argument 'file.txt'"},
                OptionsCase{"missing_value_at_end", {"--replay"}, {}, "--replay needs"},
                OptionsCase{"empty_value", {"--add-ons="}, {}, "--add-ons needs"},
                OptionsCase{"flag_with_value", {"--print=yes"}, {}, "takes no value"},
                OptionsCase{"standard_input_twice",
                            {"--replay", "-", "--replay", "-"},
                            {},
                            "only once"},
                // Options that contradict or repeat each other.
                OptionsCase{
                        "add_ons_twice", {"--add-ons", "/a", "--add-ons=/b"}, {}, "given twice"},
                OptionsCase{"control_socket_twice",
                            {"--control-socket=/a", "--control-socket", "/a"},
                            {},
                            "--control-socket is given twice"},
                OptionsCase{"snapshot_twice",
                            {"--snapshot", "a.png", "--snapshot", "b.png"},
                            {},
                            "--snapshot is given twice"},
                OptionsCase{"uinput_file_twice",
                            {"--uinput-file", "a", "--uinput-file", "b"},
                            {},
                            "--uinput-file is given twice"},
                OptionsCase{"same_device_twice",
                            {"--device", "/dev/input/event3", "--device=/dev/input/event3"},
                            {},
                            "--device /dev/input/event3 is given twice"},
                OptionsCase{"uinput_and_uinput_file",
                            {"--uinput", "--uinput-file", "out.events"},
                            {},
                            "choose one of --uinput and --uinput-file"},
                OptionsCase{"list_devices_with_another_option",
                            {"--list-devices", "--print"},
                            {},
                            "--list-devices takes no other option"},
                OptionsCase{"list_devices_with_a_device",
                            {"--device", "/dev/input/event3", "--list-devices"},
                            {},
                            "--list-devices takes no other option"},
                OptionsCase{"no_grab_without_device",
                            {"--no-grab", "--replay", "-"},
                            {},
                            "--no-grab needs --device"},
                OptionsCase{"fast_without_input", {"--fast", "--print"}, {}, "--fast needs"}),
        [](const testing::TestParamInfo<OptionsCase>& info) {
	        return std::string(info.param.name);
        });

} // namespace
} // namespace stria
