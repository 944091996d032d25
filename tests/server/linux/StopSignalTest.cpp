// Every stop signal ends a server that reads a keyboard and types on a
// virtual keyboard the orderly way: what it has read is filtered and
// delivered, the subscriber hears SHUTDOWN last, keys it holds on the
// virtual keyboard come up, the control socket goes, and the exit status
// is 0. The keyboard is a FIFO and the virtual keyboard a file, so that
// both keep threads running when the signal comes.
#include "../ServerProcess.h"

#include "EventFile.h"
#include "FixtureSessions.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <bitset>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using stria::EventFile;
using stria::EventRecord;
using stria::test::Lines;
using stria::test::ServerProcess;
using stria::test::SessionBuilder;

namespace {

struct StopSignal {
	int number;
	const char* name;
};

void PrintTo(const StopSignal& signal, std::ostream* out)
{
	*out << signal.name;
}

std::vector<EventRecord> ReadRecords(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	const std::vector<uint8> bytes((std::istreambuf_iterator<char>(in)),
	                               std::istreambuf_iterator<char>());
	// A record being written may be cut off: take the whole ones.
	const size_t whole = bytes.size() - bytes.size() % EventRecord::kSize;
	std::vector<EventRecord> records;
	std::string error;
	EventFile::Parse(std::span<const uint8>(bytes.data(), whole), records, error);
	return records;
}

bool Pressed(const std::vector<EventRecord>& records, uint16 code)
{
	for (const EventRecord& record : records) {
		if (record.type == EV_KEY && record.code == code && record.value == 1)
			return true;
	}
	return false;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::seconds limit)
{
	const auto end = std::chrono::steady_clock::now() + limit;
	while (!condition()) {
		if (std::chrono::steady_clock::now() > end)
			return false;
		std::this_thread::sleep_for(20ms);
	}
	return true;
}

class StopSignalTest : public testing::TestWithParam<StopSignal> {
protected:
	void SetUp() override
	{
		char pattern[] = "/tmp/stria-signal-XXXXXX";
		ASSERT_NE(::mkdtemp(pattern), nullptr);
		fFolder = pattern;
		ASSERT_EQ(::mkfifo((fFolder + "/keyboard").c_str(), 0600), 0);
	}

	void TearDown() override
	{
		if (fWriter >= 0)
			::close(fWriter);
		fs::remove_all(fFolder);
	}

	// Opens the FIFO once the server reads it.
	bool OpenKeyboard()
	{
		return WaitUntil(
		               [this] {
			               fWriter = ::open((fFolder + "/keyboard").c_str(), O_WRONLY | O_NONBLOCK);
			               return fWriter >= 0 || errno != ENXIO;
		               },
		               60s) &&
		       fWriter >= 0;
	}

	std::string fFolder;
	int fWriter = -1;
};

TEST_P(StopSignalTest, EndsInOrderWithShutdownLastAndNoKeyHeld)
{
	const StopSignal signal = GetParam();
	const std::string typed = fFolder + "/typed.events";
	const std::string socket = fFolder + "/control";
	ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server",
	                     {"--device", fFolder + "/keyboard", "--uinput-file", typed, "--print",
	                      "--subscribe", "--add-ons", STRIA_BINARY_DIR "/add-ons",
	                      "--control-socket", socket});
	ASSERT_TRUE(OpenKeyboard()) << server.Errors();

	// A scan, an "a", then Shift pressed and held by the person.
	std::vector<EventRecord> records = SessionBuilder("signal")
	                                           .Scan(stria::test::kBooklandRecord, "")
	                                           .Type("a")
	                                           .Build()
	                                           .records;
	const bigtime_t later = records.back().When().value() + 100000;
	records.push_back(EventRecord::At(later, EV_KEY, KEY_LEFTSHIFT, 1));
	records.push_back(EventRecord::At(later, EV_SYN, SYN_REPORT, 0));
	const std::vector<uint8> bytes = EventFile::Encode(records);
	ASSERT_EQ(::write(fWriter, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));

	// The signal comes once the scan is out and Shift is down on the
	// virtual keyboard, with the keyboard still open.
	ASSERT_TRUE(WaitUntil(
	        [&] {
		        return server.Output().find("CATSCAN") != std::string::npos &&
		               Pressed(ReadRecords(typed), KEY_LEFTSHIFT);
	        },
	        60s))
	        << server.Output() << server.Errors();
	server.Signal(signal.number);
	ASSERT_EQ(server.Wait(60s), std::optional<int>(0)) << server.Errors();

	const std::vector<std::string> lines = Lines(server.Output());
	ASSERT_FALSE(lines.empty());
	EXPECT_EQ(lines.back(), "SHUTDOWN") << server.Output();
	EXPECT_EQ(std::count(lines.begin(), lines.end(), "CATSCAN IBN 9780201889543"), 1)
	        << server.Output();
	EXPECT_NE(server.Errors().find(std::string("stopping on ") + signal.name), std::string::npos)
	        << server.Errors();
	EXPECT_FALSE(fs::exists(socket)) << "the control socket is removed";

	// The person's keys only, and nothing left down.
	std::bitset<KEY_CNT> down;
	std::vector<uint16> presses;
	for (const EventRecord& record : ReadRecords(typed)) {
		if (record.type != EV_KEY)
			continue;
		if (record.value == 1)
			presses.push_back(record.code);
		down.set(record.code, record.value != 0);
	}
	EXPECT_EQ(presses, (std::vector<uint16>{KEY_A, KEY_LEFTSHIFT}));
	EXPECT_TRUE(down.none()) << down.count() << " key(s) left down";
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalTest,
                         testing::Values(StopSignal{SIGINT, "SIGINT"},
                                         StopSignal{SIGTERM, "SIGTERM"},
                                         StopSignal{SIGHUP, "SIGHUP"}),
                         [](const testing::TestParamInfo<StopSignal>& info) {
	                         return std::string(info.param.name);
                         });

} // namespace
