// Recorded keyboard sessions through stria-input-server: what applications
// receive (printed), the scans a subscriber gets, and what the virtual
// keyboard types (written to a file): exactly the person's key presses, no
// key of a scan among them, and no key left pressed at the end.
#include "../ServerProcess.h"

#include "EventFile.h"
#include "FixtureSessions.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <bitset>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using stria::EventFile;
using stria::EventRecord;
using stria::test::Lines;
using stria::test::ServerProcess;
using stria::test::Session;

namespace {

struct Fixture {
	const char* name;
	// Played at the pace of its time stamps, or with --fast: the keys, the
	// scans and the printed stamps must not depend on it.
	bool realPace;
};

void PrintTo(const Fixture& fixture, std::ostream* out)
{
	*out << fixture.name << (fixture.realPace ? " at real pace" : " with --fast");
}

const char* const kFixtureNames[] = {"cuecat-scans", "person-typing", "lone-f10", "auto-repeat",
                                     "session"};

std::vector<Fixture> EveryFixtureAtEveryPace()
{
	std::vector<Fixture> fixtures;
	for (const char* name : kFixtureNames) {
		fixtures.push_back({name, true});
		fixtures.push_back({name, false});
	}
	return fixtures;
}

std::string ReadText(const std::string& path)
{
	std::ifstream in(path);
	return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool IsScanLine(const std::string& line)
{
	return line.rfind("CATSCAN ", 0) == 0 || line == "SHUTDOWN";
}

// The printed lines of one kind, in order.
std::vector<std::string> Select(const std::vector<std::string>& lines, bool scans)
{
	std::vector<std::string> selected;
	for (const std::string& line : lines) {
		if (IsScanLine(line) == scans)
			selected.push_back(line);
	}
	return selected;
}

Session SessionNamed(const std::string& name)
{
	for (const Session& session : stria::test::FixtureSessions()) {
		if (session.name == name)
			return session;
	}
	ADD_FAILURE() << "no session " << name;
	return {};
}

class TempFolder {
public:
	TempFolder()
	{
		char pattern[] = "/tmp/stria-fixture-XXXXXX";
		fPath = ::mkdtemp(pattern);
	}
	~TempFolder() { fs::remove_all(fPath); }
	std::string operator/(const std::string& name) const { return fPath + "/" + name; }

private:
	std::string fPath;
};

// The records the virtual keyboard wrote to path.
void ReadTyped(const std::string& path, std::vector<EventRecord>& records)
{
	std::ifstream in(path, std::ios::binary);
	const std::vector<uint8> bytes((std::istreambuf_iterator<char>(in)),
	                               std::istreambuf_iterator<char>());
	std::string error;
	ASSERT_TRUE(EventFile::Parse(bytes, records, error)) << error;
}

class RecordedSession : public testing::TestWithParam<Fixture> {};

TEST_P(RecordedSession, GivesExactlyTheScansAndThePersonsKeys)
{
	const Fixture& fixture = GetParam();
	const std::string events = std::string(STRIA_FIXTURES_DIR "/") + fixture.name + ".events";
	const Session session = SessionNamed(fixture.name);
	TempFolder folder;
	const std::string typed = folder / "typed.events";

	std::vector<std::string> arguments = {"--device",         events,
	                                      "--print",          "--subscribe",
	                                      "--uinput-file",    typed,
	                                      "--add-ons",        STRIA_BINARY_DIR "/add-ons",
	                                      "--control-socket", folder / "control"};
	if (!fixture.realPace)
		arguments.push_back("--fast");
	ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server", arguments);
	ASSERT_EQ(server.Wait(120s), std::optional<int>(0)) << server.Errors();

	// What applications receive, against the reviewed expected output.
	const std::vector<std::string> printed = Lines(server.Output());
	const std::vector<std::string> expected =
	        Lines(ReadText(std::string(STRIA_FIXTURES_DIR "/linux/") + fixture.name + ".expected"));
	ASSERT_FALSE(expected.empty());
	EXPECT_EQ(Select(printed, false), Select(expected, false));
	EXPECT_EQ(Select(printed, true), Select(expected, true));
	ASSERT_FALSE(printed.empty());
	EXPECT_EQ(printed.back(), "SHUTDOWN");

	// The scans against the barcodes the generator typed.
	std::vector<std::string> scans;
	for (const std::string& barcode : session.barcodes)
		scans.push_back("CATSCAN " + barcode);
	scans.push_back("SHUTDOWN");
	EXPECT_EQ(Select(printed, true), scans);

	// What the virtual keyboard typed.
	std::vector<EventRecord> records;
	ASSERT_NO_FATAL_FAILURE(ReadTyped(typed, records));
	std::vector<uint16> presses;
	std::bitset<KEY_CNT> down;
	for (size_t i = 0; i < records.size(); i++) {
		const EventRecord& record = records[i];
		if (record.type != EV_KEY)
			continue;
		ASSERT_TRUE(i + 1 < records.size() && records[i + 1].type == EV_SYN &&
		            records[i + 1].code == SYN_REPORT)
		        << "record " << i << " is followed by SYN_REPORT";
		if (record.value == 1) {
			EXPECT_FALSE(down.test(record.code)) << "pressed twice: " << record.code;
			presses.push_back(record.code);
		} else {
			EXPECT_TRUE(down.test(record.code))
			        << "released or repeated unpressed: " << record.code;
		}
		down.set(record.code, record.value != 0);
	}
	EXPECT_EQ(presses, session.personPresses);
	EXPECT_TRUE(down.none()) << "keys left pressed: " << down.count();
}

INSTANTIATE_TEST_SUITE_P(Fixtures, RecordedSession, testing::ValuesIn(EveryFixtureAtEveryPace()),
                         [](const testing::TestParamInfo<Fixture>& info) {
	                         std::string name = info.param.name;
	                         std::replace(name.begin(), name.end(), '-', '_');
	                         return name + (info.param.realPace ? "_real_pace" : "_fast");
                         });

TEST(RecordedSession, CommittedFixturesMatchTheirGenerator)
{
	for (const Session& session : stria::test::FixtureSessions()) {
		SCOPED_TRACE(session.name);
		std::ifstream in(std::string(STRIA_FIXTURES_DIR "/") + session.name + ".events",
		                 std::ios::binary);
		const std::vector<uint8> committed((std::istreambuf_iterator<char>(in)),
		                                   std::istreambuf_iterator<char>());
		EXPECT_EQ(committed, EventFile::Encode(session.records))
		        << "run make_event_fixtures " STRIA_FIXTURES_DIR;
	}
}

TEST(RecordedSession, BadDevicesStopTheServerWithAClearMessage)
{
	const struct {
		std::string path;
		int status;
		const char* message;
	} cases[] = {
	        {"/nonexistent/event7", 1, "/nonexistent/event7: No such file or directory"},
	        {"/dev/null", 1, "/dev/null: not an input device"},
	        {STRIA_SOURCE_DIR "/CMakeLists.txt", 2, "not a file of input events"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.path);
		ServerProcess server(
		        STRIA_BINARY_DIR "/bin/stria-input-server",
		        {"--device", c.path, "--print", "--add-ons", STRIA_BINARY_DIR "/add-ons"});
		EXPECT_EQ(server.Wait(60s), std::optional<int>(c.status));
		EXPECT_NE(server.Errors().find(c.message), std::string::npos) << server.Errors();
		EXPECT_EQ(server.Output(), "");
	}
}

// What a file of input events is refused for is refused on a FIFO too,
// with the same exit status, once the records before it have played.
TEST(RecordedSession, BadInputOnAFifoCountsAsMuchAsInAFile)
{
	const std::vector<EventRecord> goodKey = {EventRecord::At(1000000, EV_KEY, KEY_A, 1),
	                                          EventRecord::At(1000000, EV_SYN, SYN_REPORT, 0)};
	std::vector<uint8> good = EventFile::Encode(goodKey);
	std::vector<uint8> badType = good;
	badType.insert(badType.end(), good.begin(), good.begin() + EventRecord::kSize);
	badType[2 * EventRecord::kSize + 16] = 0xff; // the type field
	badType[2 * EventRecord::kSize + 17] = 0xff;
	std::vector<uint8> cut = good;
	cut.insert(cut.end(), good.begin(), good.begin() + 6);
	const struct {
		const char* name;
		std::vector<uint8> bytes;
		int status;
		const char* message;
	} cases[] = {
	        {"whole records", good, 0, nullptr},
	        {"a record of no event type", badType, 2,
	         "not a stream of input events: record 3: type 65535"},
	        {"a record cut short", cut, 2, "it ends 6 bytes into a 24-byte record"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		char pattern[] = "/tmp/stria-fifo-test-XXXXXX";
		ASSERT_NE(::mkdtemp(pattern), nullptr);
		const std::string folder = pattern;
		const std::string fifo = folder + "/keys.fifo";
		ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
		ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server",
		                     {"--device", fifo, "--print", "--add-ons", STRIA_BINARY_DIR "/add-ons",
		                      "--control-socket", folder + "/control"});
		// The FIFO can be written once the server reads it.
		int writer = -1;
		for (int i = 0; i < 3000 && writer < 0; i++) {
			writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
			if (writer < 0)
				std::this_thread::sleep_for(10ms);
		}
		ASSERT_GE(writer, 0) << server.Errors();
		EXPECT_EQ(::write(writer, c.bytes.data(), c.bytes.size()), (ssize_t)c.bytes.size());
		::close(writer);
		EXPECT_EQ(server.Wait(60s), std::optional<int>(c.status)) << server.Errors();
		fs::remove_all(folder);
		const std::vector<std::string> lines = Lines(server.Output());
		ASSERT_FALSE(lines.empty()) << server.Errors();
		EXPECT_EQ(lines.front().rfind("KEY_DOWN ", 0), 0u)
		        << "the key before the bad bytes played: " << server.Output();
		if (c.message != nullptr) {
			EXPECT_NE(server.Errors().find(c.message), std::string::npos) << server.Errors();
		}
	}
}

} // namespace

// A file far longer than the input queue, played with --fast: the reader
// outruns the applications and must wait for room, never lose a key.
TEST(RecordedSession, FastFileFarLongerThanTheQueueLosesNothing)
{
	const int kScans = 1500;
	stria::test::SessionBuilder builder("long");
	for (int scan = 0; scan < kScans; scan++) {
		if (scan % 2 == 0)
			builder.Scan(stria::test::kBooklandRecord, "IBN 9780201889543");
		else
			builder.Scan(stria::test::kUpcARecord, "UPA 059280201638");
		if (scan % 100 == 0)
			builder.Type("ok");
		builder.Pause(100000);
	}
	const Session session = builder.Build();
	ASSERT_GT(session.records.size(), 100u * 1024u);
	TempFolder folder;
	const std::string events = folder / "long.events";
	{
		std::vector<uint8> bytes = EventFile::Encode(session.records);
		std::ofstream(events, std::ios::binary)
		        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
	}

	ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server",
	                     {"--device", events, "--fast", "--print", "--subscribe", "--add-ons",
	                      STRIA_BINARY_DIR "/add-ons", "--control-socket", folder / "control"});
	ASSERT_EQ(server.Wait(300s), std::optional<int>(0)) << server.Errors();

	const std::vector<std::string> printed = Lines(server.Output());
	std::vector<std::string> scans;
	for (const std::string& barcode : session.barcodes)
		scans.push_back("CATSCAN " + barcode);
	scans.push_back("SHUTDOWN");
	EXPECT_EQ(Select(printed, true), scans);
	// The person's "ok" after every hundredth scan.
	size_t typed = 0;
	for (const std::string& line : printed) {
		typed += line.rfind("KEY_DOWN ", 0) == 0 && (line.find(" byte=111 ") != std::string::npos ||
		                                             line.find(" byte=107 ") != std::string::npos);
	}
	EXPECT_EQ(typed, 2u * (kScans / 100));

	// When the readers had to wait, the queue never held more than its
	// bound.
	const std::string errors = server.Errors();
	const std::string said = "messages queued";
	if (size_t at = errors.find(said); at != std::string::npos) {
		size_t start = errors.rfind("at most ", at);
		ASSERT_NE(start, std::string::npos) << errors;
		EXPECT_LE(std::stoul(errors.substr(start + 8)), 1024u) << errors;
	}
	EXPECT_EQ(errors.find("dropped"), std::string::npos) << errors;
}

// Keys the kernel dropped (SYN_DROPPED in the file): the scan they cut into
// is dropped whole, with one line, and nothing of it is typed as the
// person's; the person's keys around it are typed as always.
TEST(RecordedSession, AScanThatLostKeysIsDroppedAndNothingOfItIsTyped)
{
	using stria::test::SessionBuilder;
	const Session before = SessionBuilder("lost").Type("a").Pause(200000).Build();
	const Session whole = SessionBuilder("lost")
	                              .Type("a")
	                              .Pause(200000)
	                              .Scan(stria::test::kUpcARecord, "UPA 059280201638")
	                              .Type("b")
	                              .Build();
	const size_t scanStart = before.records.size();
	// The F10 is the second key of the scan (after Alt): three records each.
	const struct {
		const char* name;
		size_t lostFrom; // records, from the start of the scan
		size_t lostCount;
		const char* said;
	} cases[] = {
	        {"keys lost inside the record", 40, 30, "keys of a scan were lost"},
	        {"the F10 lost with the keys after it", 3, 30, "are dropped as the rest of a scan"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<EventRecord> records = whole.records;
		const auto first = records.begin() + scanStart + c.lostFrom;
		const bigtime_t at = *first->When();
		records.erase(first, first + c.lostCount);
		records.insert(records.begin() + scanStart + c.lostFrom,
		               {EventRecord::At(at, EV_SYN, SYN_DROPPED, 0),
		                EventRecord::At(at, EV_SYN, SYN_REPORT, 0)});
		TempFolder folder;
		const std::string events = folder / "lost.events";
		const std::string typed = folder / "typed.events";
		{
			std::vector<uint8> bytes = EventFile::Encode(records);
			std::ofstream(events, std::ios::binary)
			        .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
		}
		ServerProcess server(STRIA_BINARY_DIR "/bin/stria-input-server",
		                     {"--device", events, "--fast", "--print", "--subscribe",
		                      "--uinput-file", typed, "--add-ons", STRIA_BINARY_DIR "/add-ons",
		                      "--control-socket", folder / "control"});
		ASSERT_EQ(server.Wait(60s), std::optional<int>(0)) << server.Errors();
		EXPECT_EQ(Select(Lines(server.Output()), true), std::vector<std::string>{"SHUTDOWN"});
		const std::string errors = server.Errors();
		EXPECT_NE(errors.find(c.said), std::string::npos) << errors;

		std::vector<EventRecord> out;
		ASSERT_NO_FATAL_FAILURE(ReadTyped(typed, out));
		std::vector<uint16> presses;
		for (const EventRecord& record : out) {
			if (record.type == EV_KEY && record.value == 1)
				presses.push_back(record.code);
		}
		EXPECT_EQ(presses, whole.personPresses) << server.Output() << errors;
	}
}
