// stria-input-server as a black box: replay scripts in, printed lines out,
// with the real add-ons; control requests from this (another) process;
// signals; every error a person can cause.
#include "ServerProcess.h"

#include "../MadeUpSubscription.h"
#include "../barcode/record_encoder.h"

#include <Input.h>
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>
#include <private/InputServerControl.h>
#include <private/InputServerHost.h>
#include <private/LocalSocket.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/input-event-codes.h>
#include <mutex>
#include <sstream>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace stria::test {
namespace {

const std::string kServer = STRIA_BINARY_DIR "/bin/stria-input-server";
const std::string kAddOns = STRIA_BINARY_DIR "/add-ons";
const std::string kFixtures = STRIA_FIXTURES_DIR "/server";
const std::string kIsbnRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";

std::string ReadFile(const std::string& path)
{
	std::ifstream file(path);
	std::stringstream text;
	text << file.rdbuf();
	return text.str();
}

// One record of an event stream, laid out as the kernel's struct input_event
// (whose header shares its guard with <Input.h>).
std::string EventBytes(uint16_t type, uint16_t code, int32_t value)
{
	struct {
		timeval time;
		uint16_t type;
		uint16_t code;
		int32_t value;
	} event{{1, 0}, type, code, value};
	return std::string(reinterpret_cast<const char*>(&event), sizeof(event));
}

// The key A pressed, then a record of no event type.
const std::string kKeyThenBadRecord =
        EventBytes(EV_KEY, KEY_A, 1) + EventBytes(EV_SYN, SYN_REPORT, 0) + EventBytes(0xffff, 0, 0);

bool IsScanLine(const std::string& line)
{
	return line.starts_with("CATSCAN ") || line == "SHUTDOWN";
}

// The KEY_* (and other) lines and the subscriber's lines, each in order.
std::pair<std::vector<std::string>, std::vector<std::string>> Split(const std::string& output)
{
	std::vector<std::string> keys;
	std::vector<std::string> scans;
	for (const std::string& line : Lines(output))
		(IsScanLine(line) ? scans : keys).push_back(line);
	return {keys, scans};
}

class ServerBlackBox : public testing::Test {
protected:
	void SetUp() override
	{
		char folder[] = "/tmp/stria-server-test-XXXXXX";
		ASSERT_NE(mkdtemp(folder), nullptr);
		fFolder = folder;
		fSocket = fFolder + "/input_server";
	}

	void TearDown() override { std::filesystem::remove_all(fFolder); }

	std::string WriteScript(const std::string& name, const std::string& text)
	{
		std::string path = fFolder + "/" + name;
		std::ofstream(path) << text;
		return path;
	}

	std::vector<std::string> Arguments(std::vector<std::string> extra)
	{
		std::vector<std::string> arguments = {"--add-ons", kAddOns, "--control-socket", fSocket};
		arguments.insert(arguments.end(), extra.begin(), extra.end());
		return arguments;
	}

	std::string fFolder;
	std::string fSocket;
};

TEST_F(ServerBlackBox, SessionGivesThePersonsKeysAndEveryScanAtEitherPace)
{
	for (bool fast : {false, true}) {
		SCOPED_TRACE(fast ? "--fast" : "real pace");
		std::vector<std::string> arguments = {"--print", "--subscribe", "--replay",
		                                      kFixtures + "/session.replay"};
		if (fast)
			arguments.push_back("--fast");
		ServerProcess server(kServer, Arguments(arguments));
		ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();

		std::string output = server.Output();
		auto [keys, scans] = Split(output);
		EXPECT_EQ(keys, Lines(ReadFile(kFixtures + "/session.keys")));
		EXPECT_EQ(scans, Lines(ReadFile(kFixtures + "/session.scans")));
		EXPECT_EQ(Lines(output).back(), "SHUTDOWN");
	}
}

// Scripts without application ticks give the same keys, in the same order
// and with the same stamps, and the same scans at real pace and with --fast.
TEST_F(ServerBlackBox, PaceChangesNothingThatReachesApplications)
{
	const struct {
		const char* name;
		std::string script;
	} cases[] = {
	        {"the example session", ReadFile(STRIA_SOURCE_DIR "/examples/session.replay")},
	        {"a lone F10 at the end", "0 down 11 0x10\n1000 up 11\n"},
	        {"a lone F10, its key-up past the limit", "0 down 11 0x10\n80000 up 11\n"},
	        {"a scan stamped 0", "0 scan " + kIsbnRecord + "\n600000 type x\n"},
	        {"a lone F10 then a scan",
	         "0 down 11 0x10\n1000 up 11\n30000 scan " + kIsbnRecord + "\n"},
	        {"F10 twice, then a key", "0 down 11 0x10\n500 up 11\n40000 down 11 0x10\n"
	                                  "41000 up 11\n90000 type a\n"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		std::string script = WriteScript("pace.replay", c.script);
		std::vector<std::string> outputs;
		for (bool fast : {false, true}) {
			std::vector<std::string> arguments = {"--print", "--subscribe", "--replay", script};
			if (fast)
				arguments.push_back("--fast");
			ServerProcess server(kServer, Arguments(arguments));
			ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
			outputs.push_back(server.Output());
		}
		auto [realKeys, realScans] = Split(outputs[0]);
		auto [fastKeys, fastScans] = Split(outputs[1]);
		EXPECT_EQ(realKeys, fastKeys);
		EXPECT_EQ(realScans, fastScans);
		EXPECT_FALSE(realKeys.empty());
	}
}

// A scanner's recording (stamps of years ago) and a person's script (from
// 0) at once: each on its own time base, neither disturbs the other.
TEST_F(ServerBlackBox, TwoSourcesOnTheirOwnTimeBases)
{
	// The person presses keys no scanner types, and a lone F10 while the
	// scanner types its first record.
	std::string script = WriteScript("person.replay", "0 down 0x45 ';'\n1000 up 0x45\n"
	                                                  "2000 down 11 0x10\n3000 up 11\n"
	                                                  "4000 down 0x31 '['\n5000 up 0x31\n"
	                                                  "400000 down 0x55 '/'\n401000 up 0x55\n");
	const std::vector<std::string> personsKeyDowns = {
	        "KEY_DOWN when=0 key=69 byte=59 modifiers=0",
	        "KEY_DOWN when=3900 key=11 byte=16 modifiers=0",
	        "KEY_DOWN when=4000 key=49 byte=91 modifiers=0",
	        "KEY_DOWN when=400000 key=85 byte=47 modifiers=0",
	};
	for (bool fast : {false, true}) {
		SCOPED_TRACE(fast ? "--fast" : "real pace");
		std::vector<std::string> arguments = {
		        "--print", "--subscribe", "--replay",
		        script,    "--device",    STRIA_FIXTURES_DIR "/cuecat-scans.events"};
		if (fast)
			arguments.push_back("--fast");
		ServerProcess server(kServer, Arguments(arguments));
		ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();

		auto [keys, scans] = Split(server.Output());
		std::vector<std::string> keyDowns;
		for (const std::string& line : keys) {
			if (line.starts_with("KEY_DOWN "))
				keyDowns.push_back(line);
		}
		EXPECT_EQ(keyDowns, personsKeyDowns) << "of the scans only key-ups pass";
		std::vector<std::string> expectedScans = {"CATSCAN IBN 9780201889543",
		                                          "CATSCAN UPA 059280201638", "SHUTDOWN"};
		EXPECT_EQ(scans, expectedScans);
	}
}

TEST_F(ServerBlackBox, ScansFromStandardInputAtFullSpeed)
{
	std::string script = "0 type x\n2000 scan " + kIsbnRecord +
	                     "\n200000 scan .C3nZC3nZC3nYCxP2Dxb1CNnY.CNf7.ebCrcGjUCxnXDq.\n";
	ServerProcess server(kServer, Arguments({"--print", "--subscribe", "--fast", "--replay", "-"}),
	                     script);
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();

	auto [keys, scans] = Split(server.Output());
	std::vector<std::string> expectedScans = {"CATSCAN IBN 9780201889543", "CATSCAN 128 STRIA-2026",
	                                          "SHUTDOWN"};
	EXPECT_EQ(scans, expectedScans);
	// The person's x passes whole; of the scans only key-ups pass.
	ASSERT_GE(keys.size(), 2u);
	EXPECT_EQ(keys[0], "KEY_DOWN when=0 key=77 byte=120 modifiers=0");
	EXPECT_EQ(keys[1], "KEY_UP when=1000 key=77 modifiers=0");
	for (size_t index = 2; index < keys.size(); index++)
		EXPECT_TRUE(keys[index].starts_with("KEY_UP ")) << keys[index];
}

TEST_F(ServerBlackBox, CatscanLinesShowEveryByteATerminalWouldActOnEscaped)
{
	// A Code 128 label can carry any byte: an escape sequence, a backslash.
	std::string script = "1000 scan " + make_record("128", "A\x1b[2J\\x41\x7f") + "\n";
	ServerProcess server(kServer, Arguments({"--subscribe", "--fast", "--replay", "-"}), script);
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	EXPECT_EQ(Lines(server.Output()),
	          (std::vector<std::string>{"CATSCAN 128 A\\x1b[2J\\\\x41\\x7f", "SHUTDOWN"}));
}

TEST_F(ServerBlackBox, ALoneF10AtRealPaceReachesApplications)
{
	std::string script = WriteScript("f10.replay", "0 down 11 0x10\n1000 up 11\n");
	ServerProcess server(kServer, Arguments({"--print", "--subscribe", "--replay", script}));
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	std::vector<std::string> expected = {"KEY_DOWN when=0 key=11 byte=16 modifiers=0",
	                                     "KEY_UP when=1000 key=11 modifiers=0", "SHUTDOWN"};
	EXPECT_EQ(Lines(server.Output()), expected);
}

TEST_F(ServerBlackBox, WithoutAddOnsEveryMessagePasses)
{
	std::filesystem::create_directory(fFolder + "/empty");
	std::string script = WriteScript(
	        "plain.replay", "0 modifiers 0x101\n1 down 11 0x10\n2 up 11\n3 control 0xcafebabe\n");
	ServerProcess server(kServer, {"--add-ons", fFolder + "/empty", "--control-socket", fSocket,
	                               "--print", "--fast", "--replay", script});
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	std::vector<std::string> expected = {"MODIFIERS when=0 modifiers=257",
	                                     "KEY_DOWN when=1 key=11 byte=16 modifiers=0",
	                                     "KEY_UP when=2 key=11 modifiers=0"};
	EXPECT_EQ(Lines(server.Output()), expected);
	// No device takes the control line: said once, and the server goes on.
	EXPECT_NE(server.Errors().find("plain.replay:4: control 0xcafebabe"), std::string::npos)
	        << server.Errors();
}

TEST_F(ServerBlackBox, FilesThatAreNotAddOnsAreNamedAndSkipped)
{
	ServerProcess server(kServer,
	                     {"--add-ons", TEST_ADDON_FOLDER, "--control-socket", fSocket, "--print",
	                      "--fast", "--replay", "-"},
	                     "0 down 60 97\n");
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	std::string errors = server.Errors();
	EXPECT_NE(errors.find("d_no_export exports neither"), std::string::npos) << errors;
	EXPECT_NE(errors.find("e_notes.txt not loaded"), std::string::npos) << errors;
	EXPECT_NE(errors.find("c_refusing: filter refused"), std::string::npos) << errors;
	EXPECT_EQ(Lines(server.Output()),
	          std::vector<std::string>{"KEY_DOWN when=0 key=60 byte=97 modifiers=0"});
}

struct UsageCase {
	const char* name;
	std::vector<std::string> arguments; // FOLDER stands for the test's folder
	std::string input;
	int status;
	const char* stderrPart;       // null: stderr not checked
	const char* stdoutPart;       // null: stdout must be empty
	std::string redirection = {}; // a shell redirection of the server's own streams
};

void PrintTo(const UsageCase& test, std::ostream* out)
{
	*out << test.name;
}

// The folder of each case holds files to name: a FIFO nobody reads, a
// script with an overlong line, one larger than a script may be (sparse),
// and folders of add-ons with only the device or only the filter.
class ServerUsage : public ServerBlackBox, public testing::WithParamInterface<UsageCase> {
protected:
	void SetUp() override
	{
		ServerBlackBox::SetUp();
		ASSERT_EQ(mkfifo((fFolder + "/fifo").c_str(), 0600), 0);
		WriteScript("long.replay", "0 type a\n10000 type " + std::string(70000, 'b') + "\n");
		std::ofstream(fFolder + "/huge.replay") << "0 type a\n";
		std::filesystem::resize_file(fFolder + "/huge.replay", 16 * 1024 * 1024 + 1);
		std::filesystem::create_directory(fFolder + "/device-only");
		std::filesystem::copy_file(kAddOns + "/StriaDevice", fFolder + "/device-only/StriaDevice");
		std::filesystem::create_directory(fFolder + "/filter-only");
		std::filesystem::copy_file(kAddOns + "/StriaFilter", fFolder + "/filter-only/StriaFilter");
	}
};

TEST_P(ServerUsage, ExitsWithAClearMessage)
{
	const UsageCase& test = GetParam();
	std::vector<std::string> arguments;
	for (std::string argument : test.arguments) {
		if (argument == "SOCKET")
			argument = fSocket;
		if (size_t at = argument.find("FOLDER"); at != std::string::npos)
			argument.replace(at, 6, fFolder);
		arguments.push_back(argument);
	}
	std::string program = kServer;
	if (!test.redirection.empty()) {
		arguments.insert(arguments.begin(),
		                 {"-c", "exec \"$0\" \"$@\" " + test.redirection, kServer});
		program = "/bin/sh";
	}
	ServerProcess server(program, arguments, test.input);
	EXPECT_EQ(server.Wait(std::chrono::seconds(60)), test.status);
	if (test.stderrPart != nullptr) {
		EXPECT_NE(server.Errors().find(test.stderrPart), std::string::npos) << server.Errors();
	}
	if (test.stdoutPart != nullptr) {
		EXPECT_NE(server.Output().find(test.stdoutPart), std::string::npos);
	} else {
		EXPECT_EQ(server.Output(), "") << "nothing may play";
	}
}

INSTANTIATE_TEST_SUITE_P(
        Errors, ServerUsage,
        testing::Values(
                UsageCase{"help", {"--help"}, "", 0, nullptr, "usage: stria-input-server"},
                UsageCase{"unknown_option",
                          {"--colour"},
                          "",
                          2,
                          "unknown option '--colour'",
                          nullptr},
                UsageCase{"missing_value", {"--replay"}, "", 2, "--replay needs", nullptr},
                UsageCase{"unreadable_script",
                          {"--replay", "/nonexistent/script"},
                          "",
                          2,
                          "cannot read replay script /nonexistent/script",
                          nullptr},
                UsageCase{"script_error_plays_nothing",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--print",
                           "--replay", "-"},
                          "0 type good\n\n10000 down 60\n",
                          2,
                          "standard input:3: the byte of the key-down",
                          nullptr},
                UsageCase{"subscribe_line_needs_the_option",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--print",
                           "--replay", "-"},
                          "0 type a\n5000 control 0xcbadd subscribe\n",
                          2,
                          "standard input:2: a control line with 'subscribe' needs --subscribe",
                          nullptr},
                UsageCase{"missing_add_on_folder",
                          {"--add-ons", "/nonexistent/add-ons", "--control-socket", "SOCKET",
                           "--replay", "-"},
                          "",
                          1,
                          "/nonexistent/add-ons is not a folder",
                          nullptr},
                UsageCase{"control_socket_in_a_missing_folder",
                          {"--add-ons", kAddOns, "--control-socket", "/nonexistent/folder/socket",
                           "--replay", "-"},
                          "",
                          2,
                          "control socket /nonexistent/folder/socket: the folder "
                          "/nonexistent/folder does not exist",
                          nullptr},
                UsageCase{"control_socket_too_long_for_a_socket",
                          {"--control-socket", "FOLDER/" + std::string(120, 's'), "--replay", "-"},
                          "",
                          2,
                          "bytes long; a socket path may be at most 107",
                          nullptr},
                UsageCase{"control_socket_is_a_folder",
                          {"--control-socket", "FOLDER", "--replay", "-"},
                          "",
                          2,
                          "it is a folder; name the socket in it",
                          nullptr},
                UsageCase{"control_socket_is_a_file",
                          {"--control-socket", "FOLDER/long.replay", "--replay", "-"},
                          "",
                          2,
                          "it is a regular file, not a socket",
                          nullptr},
                // Replay scripts that cannot be read whole.
                UsageCase{"script_is_a_folder",
                          {"--replay", "FOLDER"},
                          "",
                          2,
                          "is a folder, not a replay script",
                          nullptr},
                UsageCase{"standard_input_is_closed",
                          {"--replay", "-"},
                          "",
                          2,
                          "standard input is closed",
                          nullptr,
                          "<&-"},
                UsageCase{"standard_input_is_a_folder",
                          {"--replay", "-"},
                          "",
                          2,
                          "standard input is a folder",
                          nullptr,
                          "</"},
                UsageCase{"script_larger_than_a_script_may_be",
                          {"--replay", "FOLDER/huge.replay"},
                          "",
                          2,
                          "huge.replay is larger than 16777216 bytes (16 MiB)",
                          nullptr},
                UsageCase{"endless_script",
                          {"--replay", "/dev/zero"},
                          "",
                          2,
                          "/dev/zero is larger than 16777216 bytes",
                          nullptr},
                UsageCase{
                        "line_longer_than_a_line_may_be",
                        {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--print", "--replay",
                         "FOLDER/long.replay"},
                        "",
                        2,
                        "long.replay:2: the line is 70011 bytes long; a line may be at most 65536",
                        nullptr},
                // Everything else that keeps the server from running.
                UsageCase{"options_that_contradict",
                          {"--uinput", "--uinput-file", "FOLDER/typed.events"},
                          "",
                          2,
                          "choose one of --uinput and --uinput-file",
                          nullptr},
                UsageCase{"uinput_file_fifo_nobody_reads",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--uinput-file",
                           "FOLDER/fifo", "--replay", "-"},
                          "0 type a\n",
                          1,
                          "fifo: nobody reads this FIFO; start its reader first",
                          nullptr},
                UsageCase{"subscribe_without_a_filter",
                          {"--add-ons", "FOLDER/device-only", "--control-socket", "SOCKET",
                           "--subscribe", "--replay", "-"},
                          "0 type a\n",
                          1,
                          "--subscribe: no filter add-on was loaded",
                          nullptr},
                UsageCase{"subscribe_without_the_device",
                          {"--add-ons", "FOLDER/filter-only", "--control-socket", "SOCKET",
                           "--subscribe", "--replay", "-"},
                          "0 type a\n",
                          1,
                          "--subscribe: cannot subscribe through \"CueCat [Keyboard]\"",
                          nullptr},
                // Input that is not input events is the person's mistake; a
                // virtual keyboard that fails as well is the server's.
                UsageCase{"bad_input_on_standard_input",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--device",
                           "/dev/stdin", "--fast"},
                          kKeyThenBadRecord,
                          2,
                          "not a stream of input events: record 3",
                          nullptr},
                UsageCase{"bad_input_and_a_virtual_keyboard_that_fails",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--device",
                           "/dev/stdin", "--uinput-file", "/dev/full", "--fast"},
                          kKeyThenBadRecord,
                          1,
                          "cannot type on the virtual keyboard: No space left on device",
                          nullptr},
                // Output that cannot be written is an error, said once.
                UsageCase{"help_to_a_full_disk",
                          {"--help"},
                          "",
                          1,
                          "cannot write standard output: No space left on device",
                          nullptr,
                          ">/dev/full"},
                UsageCase{"list_of_devices_to_a_full_disk",
                          {"--list-devices"},
                          "",
                          1,
                          "cannot write standard output: No space left on device",
                          nullptr,
                          ">/dev/full"},
                UsageCase{"printed_lines_to_a_full_disk",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--print", "--fast",
                           "--replay", "-"},
                          "0 type abc\n",
                          1,
                          "cannot write standard output: No space left on device; printed lines "
                          "are lost",
                          nullptr,
                          ">/dev/full"},
                UsageCase{"subscriber_lines_to_a_full_disk",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--subscribe",
                           "--fast", "--replay", "-"},
                          "1000 scan " + kIsbnRecord + "\n",
                          1,
                          "cannot write standard output: No space left on device",
                          nullptr,
                          ">/dev/full"},
                UsageCase{"virtual_keyboard_to_a_full_disk",
                          {"--add-ons", kAddOns, "--control-socket", "SOCKET", "--uinput-file",
                           "/dev/full", "--fast", "--replay", "-"},
                          "0 type abc\n",
                          1,
                          "cannot type on the virtual keyboard: No space left on device",
                          nullptr}),
        [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

TEST_F(ServerBlackBox, SecondServerOnTheSameSocketIsRefused)
{
	std::string script = WriteScript("long.replay", "0 type a\n60000000 type b\n");
	ServerProcess first(kServer, Arguments({"--replay", script}));
	for (int tries = 0; tries < 200 && !BPrivate::control_socket_answers(fSocket.c_str()); tries++)
		usleep(50000);
	ASSERT_TRUE(BPrivate::control_socket_answers(fSocket.c_str()));

	ServerProcess second(kServer, Arguments({"--replay", script}));
	EXPECT_EQ(second.Wait(std::chrono::seconds(60)), 1);
	EXPECT_NE(second.Errors().find("is in use: another input server answers there"),
	          std::string::npos)
	        << second.Errors();
	EXPECT_EQ(second.Errors().find("add-ons from"), std::string::npos) << "said before it runs";
	first.Signal(SIGTERM);
	EXPECT_EQ(first.Wait(std::chrono::seconds(60)), 0);
}

TEST_F(ServerBlackBox, SigtermDrainsAndEndsWithShutdown)
{
	std::string script = WriteScript("long.replay", "0 type abc\n60000000 type z\n");
	ServerProcess server(kServer, Arguments({"--print", "--subscribe", "--replay", script}));
	ASSERT_TRUE(server.WaitForLines(6, std::chrono::seconds(60))) << server.Errors();
	server.Signal(SIGTERM);
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();

	std::vector<std::string> lines = Lines(server.Output());
	ASSERT_EQ(lines.size(), 7u) << server.Output();
	EXPECT_EQ(lines[4], "KEY_DOWN when=4000 key=78 byte=99 modifiers=0");
	EXPECT_EQ(lines[5], "KEY_UP when=5000 key=78 modifiers=0");
	EXPECT_EQ(lines[6], "SHUTDOWN");
	EXPECT_NE(server.Errors().find("stopping on SIGTERM"), std::string::npos);
	EXPECT_FALSE(std::filesystem::exists(fSocket)) << "the socket file is removed";
}

TEST_F(ServerBlackBox, SigintStopsAServerWithoutInputDevices)
{
	ServerProcess server(kServer, Arguments({"--print"}));
	for (int tries = 0; tries < 200 && !BPrivate::control_socket_answers(fSocket.c_str()); tries++)
		usleep(50000);
	server.Signal(SIGINT);
	EXPECT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	EXPECT_NE(server.Errors().find("stopping on SIGINT"), std::string::npos);
}

// Collects what the server's filter sends to a subscriber in this process.
class CollectingLooper : public BLooper {
public:
	CollectingLooper() : BLooper("collector") {}

	void MessageReceived(BMessage* message) override
	{
		std::lock_guard lock(fLock);
		if (message->what == STRIA_CATSCAN) {
			const char* barcode = "";
			message->FindString(STRIA_BARCODE_FIELD, &barcode);
			fLines.push_back(std::string("CATSCAN ") + barcode);
		} else if (message->what == STRIA_SHUTDOWN) {
			fLines.push_back("SHUTDOWN");
		} else if (message->what == STRIA_SUBSCRIBE_REFUSED) {
			fLines.push_back("REFUSED");
		}
		fChanged.notify_all();
	}

	std::vector<std::string> WaitFor(size_t count, std::chrono::seconds timeout)
	{
		std::unique_lock lock(fLock);
		fChanged.wait_for(lock, timeout, [&] { return fLines.size() >= count; });
		return fLines;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fLines;
};

TEST_F(ServerBlackBox, ControlRequestsFromAnotherProcess)
{
	// Scans come 5 s in: time enough to subscribe once the socket answers.
	std::string script =
	        WriteScript("later.replay", "0 type a\n5000000 scan " + kIsbnRecord +
	                                            "\n5500000 scan " + kIsbnRecord + "\n");
	ServerProcess server(kServer, Arguments({"--print", "--subscribe", "--replay", script}));
	for (int tries = 0; tries < 200 && !BPrivate::control_socket_answers(fSocket.c_str()); tries++)
		usleep(20000);
	ASSERT_EQ(BPrivate::input_server_host(), nullptr) << "this process must act as a client";
	BPrivate::set_input_server_control_path(fSocket.c_str());

	// An unknown device, and a request that is no request at all.
	std::unique_ptr<BInputDevice> nobody(find_input_device("Nobody [Keyboard]"));
	ASSERT_TRUE(nobody) << "the server answers; the name is checked by Control";
	EXPECT_EQ(nobody->Control(STRIA_ALTF10_WHAT, nullptr), B_NAME_NOT_FOUND);
	{
		BPrivate::LocalSocket raw;
		ASSERT_EQ(BPrivate::LocalSocket::Connect(fSocket.c_str(), &raw), B_OK);
		const char garbage[] = "not a flattened message";
		ASSERT_EQ(raw.SendFrame(garbage, sizeof(garbage), 5000000), B_OK);
		std::vector<char> replyBytes;
		ASSERT_EQ(raw.ReceiveFrame(&replyBytes, 5000000), B_OK);
		BMessage reply;
		ASSERT_EQ(reply.Unflatten(replyBytes.data(), (ssize_t)replyBytes.size()), B_OK);
		status_t result = B_OK;
		EXPECT_EQ(BPrivate::read_control_reply(reply, &result), B_OK);
		EXPECT_EQ(result, B_BAD_DATA);
	}

	CollectingLooper* collector = new CollectingLooper;
	collector->Run();
	std::unique_ptr<BInputDevice> cuecat(find_input_device(STRIA_DEVICE_NAME));
	ASSERT_TRUE(cuecat);
	BMessage subscription;
	subscription.AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(collector));
	EXPECT_EQ(cuecat->Control(STRIA_SUBSCRIBE, &subscription), B_OK);

	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	std::vector<std::string> expected = {"CATSCAN IBN 9780201889543", "CATSCAN IBN 9780201889543",
	                                     "SHUTDOWN"};
	EXPECT_EQ(collector->WaitFor(3, std::chrono::seconds(30)), expected);
	EXPECT_EQ(Split(server.Output()).second, expected) << "the server's own subscriber too";
	EXPECT_NE(server.Errors().find("refused a malformed request"), std::string::npos);
	if (collector->Lock())
		collector->Quit();
	BPrivate::set_input_server_control_path(nullptr);
	// Nobody listens any more.
	EXPECT_EQ(find_input_device(STRIA_DEVICE_NAME), nullptr);
}

size_t ThreadsOf(pid_t pid)
{
	size_t count = 0;
	std::error_code error;
	for (const auto& entry :
	     std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
		(void)entry;
		count++;
	}
	return count;
}

TEST_F(ServerBlackBox, SubscribeFloodCostsNoThreadsAndRequestsGoOn)
{
	ServerProcess server(kServer, Arguments({"--print"}));
	for (int tries = 0; tries < 200 && !BPrivate::control_socket_answers(fSocket.c_str()); tries++)
		usleep(50000);
	ASSERT_TRUE(BPrivate::control_socket_answers(fSocket.c_str()));
	const size_t threads = ThreadsOf(server.Pid());
	const int kRequests = 2000;
	// The typer add-on has taken one of the 256 places as the server started.
	const int kLimit = 256 - 1;
	// The made-up loopers that get a place sit at a port that takes
	// connections and never answers: the server's check for subscribers that
	// have gone keeps them, however long the flood lasts (pointing nowhere,
	// they would be removed at the first check and their places taken by
	// later ones). The refused ones point nowhere, so that their refusals
	// fail at once and leave room for the real subscriber's.
	const std::string silentPath = fFolder + "/silent-port";
	BPrivate::LocalSocket silentPort;
	ASSERT_EQ(BPrivate::LocalSocket::Listen(silentPath.c_str(), &silentPort), B_OK);
	auto madeUp = [&](int32 looper) {
		return MadeUpSubscription(getpid(), looper, looper <= kLimit ? silentPath : std::string());
	};
	auto control = [&](uint32 code, const BMessage* message) {
		return BPrivate::send_control_request(fSocket.c_str(), STRIA_DEVICE_NAME, code, message,
		                                      5000000);
	};
	for (int looper = 1; looper <= kRequests; looper++) {
		BMessage subscription = madeUp(looper);
		ASSERT_EQ(control(STRIA_SUBSCRIBE, &subscription), B_OK) << looper;
		if (looper % 250 == 0) {
			EXPECT_EQ(control(STRIA_ALTF10_WHAT, nullptr), B_OK) << looper;
			EXPECT_LE(ThreadsOf(server.Pid()), threads + 2) << looper;
		}
	}
	// Again: the first 255 are subscribed already, the next 45 refused again.
	for (int looper = 1; looper <= 300; looper++) {
		BMessage subscription = madeUp(looper);
		ASSERT_EQ(control(STRIA_SUBSCRIBE, &subscription), B_OK) << looper;
	}
	EXPECT_LE(ThreadsOf(server.Pid()), threads + 2);

	// A real subscriber is told that there is no room.
	BPrivate::set_input_server_control_path(fSocket.c_str());
	CollectingLooper* collector = new CollectingLooper;
	collector->Run();
	BMessage subscription;
	subscription.AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(collector));
	EXPECT_EQ(control(STRIA_SUBSCRIBE, &subscription), B_OK);
	EXPECT_EQ(collector->WaitFor(1, std::chrono::seconds(60)),
	          std::vector<std::string>{"REFUSED"});

	// The made-up loopers go, as with a process that quits: none of them
	// holds up the shutdown.
	silentPort.Close();
	unlink(silentPath.c_str());
	server.Signal(SIGTERM);
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	const std::string errors = server.Errors();
	const int refused = (kRequests - kLimit) + (300 - kLimit) + 1;
	EXPECT_NE(errors.find("stria-input-server: StriaFilter: 256 subscribers already; subscription "
	                      "refused"),
	          std::string::npos)
	        << errors;
	EXPECT_NE(errors.find(std::to_string(refused - 1) + " more subscriptions were refused"),
	          std::string::npos)
	        << errors;
	EXPECT_LE(Lines(errors).size(), 5u) << errors;
	if (collector->Lock())
		collector->Quit();
	BPrivate::set_input_server_control_path(nullptr);
}

TEST_F(ServerBlackBox, SilentControlClientsDoNotHoldBackARealRequest)
{
	ServerProcess server(kServer, Arguments({"--print"}));
	for (int tries = 0; tries < 200 && !BPrivate::control_socket_answers(fSocket.c_str()); tries++)
		usleep(50000);
	std::vector<BPrivate::LocalSocket> silent(40);
	for (BPrivate::LocalSocket& socket : silent)
		ASSERT_EQ(BPrivate::LocalSocket::Connect(fSocket.c_str(), &socket), B_OK);
	// Answered beside them, well within their second.
	for (int request = 0; request < 5; request++) {
		EXPECT_EQ(BPrivate::send_control_request(fSocket.c_str(), STRIA_DEVICE_NAME,
		                                         STRIA_ALTF10_WHAT, nullptr, 5000000),
		          B_OK);
	}
	server.Signal(SIGTERM);
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
}

} // namespace
} // namespace stria::test
