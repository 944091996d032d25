// The 24-byte event record and files of them.
#include "EventRecord.h"
#include "EventFile.h"
#include "EventStreamDecoder.h"

#include <gtest/gtest.h>

#include <linux/input.h>

#include <cstring>
#include <string>
#include <vector>

using stria::EventFile;
using stria::EventRecord;

namespace {

TEST(EventRecord, SameBytesAsTheKernelsStructOnThisMachine)
{
	static_assert(sizeof(input_event) == EventRecord::kSize, "an x86-64 layout machine");
	input_event event;
	std::memset(&event, 0, sizeof(event));
	event.input_event_sec = 1700000000;
	event.input_event_usec = 654321;
	event.type = EV_KEY;
	event.code = KEY_F10;
	event.value = -2; // not a key value, but every bit must land in place
	const EventRecord record = EventRecord::Decode(reinterpret_cast<const uint8*>(&event));
	EXPECT_EQ(record.seconds, 1700000000);
	EXPECT_EQ(record.microseconds, 654321);
	EXPECT_EQ(record.type, EV_KEY);
	EXPECT_EQ(record.code, KEY_F10);
	EXPECT_EQ(record.value, -2);
	uint8 bytes[EventRecord::kSize];
	record.Encode(bytes);
	EXPECT_EQ(std::memcmp(bytes, &event, sizeof(event)), 0);
}

TEST(EventRecord, TimeStampsThatCannotOverflow)
{
	const struct {
		int64 seconds;
		int64 microseconds;
		std::optional<bigtime_t> when;
	} cases[] = {
	        {0, 0, 0},
	        {1700000000, 999999, 1700000000999999},
	        {9223372036853, 0, 9223372036853000000},
	        {9223372036854, 0, std::nullopt}, // seconds * 10^6 would overflow
	        {INT64_MAX, 0, std::nullopt},
	        {-1, 0, std::nullopt},
	        {5, 1000000, std::nullopt},
	        {5, -1, std::nullopt},
	};
	for (const auto& c : cases) {
		EventRecord record;
		record.seconds = c.seconds;
		record.microseconds = c.microseconds;
		EXPECT_EQ(record.When(), c.when) << c.seconds << "." << c.microseconds;
	}
	EXPECT_EQ(EventRecord::At(1234567, EV_KEY, 1, 1).When(), 1234567);
	EXPECT_EQ(EventRecord::At(-5, EV_KEY, 1, 1).When(), 0);
}

TEST(EventRecord, ProblemsOfRecordsNoDeviceSends)
{
	const struct {
		uint16 type;
		uint16 code;
		int32 value;
		int64 microseconds;
		const char* problem; // a word of the message, or "" when fine
	} cases[] = {
	        {EV_SYN, SYN_REPORT, 0, 0, ""},      {EV_KEY, KEY_A, 0, 0, ""},
	        {EV_KEY, KEY_A, 1, 0, ""},           {EV_KEY, KEY_A, 2, 0, ""},
	        {EV_MSC, MSC_SCAN, 458756, 0, ""},   {EV_LED, LED_CAPSL, 1, 0, ""},
	        {EV_KEY, KEY_A, 3, 0, "value"},      {EV_KEY, KEY_A, -1, 0, "value"},
	        {EV_KEY, KEY_MAX + 1, 1, 0, "code"}, {EV_MAX + 1, 0, 0, 0, "type"},
	        {0xffff, 0, 0, 0, "type"},           {EV_KEY, KEY_A, 1, 2000000, "time"},
	};
	for (const auto& c : cases) {
		EventRecord record;
		record.seconds = 10;
		record.microseconds = c.microseconds;
		record.type = c.type;
		record.code = c.code;
		record.value = c.value;
		const std::string problem = record.Problem();
		if (*c.problem == '\0')
			EXPECT_EQ(problem, "") << c.type << "/" << c.code << "/" << c.value;
		else
			EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
	}
}

TEST(EventFile, ParsesWholeValidFilesOnly)
{
	const std::vector<EventRecord> good = {
	        EventRecord::At(1000, EV_KEY, KEY_A, 1),
	        EventRecord::At(1000, EV_SYN, SYN_REPORT, 0),
	        EventRecord::At(2000, EV_KEY, KEY_A, 0),
	};
	const std::vector<uint8> bytes = EventFile::Encode(good);
	ASSERT_EQ(bytes.size(), 72u);

	const struct {
		const char* name;
		std::vector<uint8> bytes;
		size_t records;
		const char* error; // part of the message, "" when valid
	} cases[] = {
	        {"empty", {}, 0, ""},
	        {"three records", bytes, 3, ""},
	        {"a cut record", std::vector<uint8>(bytes.begin(), bytes.end() - 1), 0,
	         "71 bytes are not a whole number"},
	        {"a stray byte",
	         [&] {
		         auto more = bytes;
		         more.push_back(0);
		         return more;
	         }(),
	         0, "73 bytes"},
	        {"a bad second record",
	         [&] {
		         auto bad = bytes;
		         bad[24 + 16] = 0x40; // type 0x40
		         return bad;
	         }(),
	         0, "record 2 (byte 24): type 64"},
	        {"text", std::vector<uint8>(48, 'a'), 0, "record 1 (byte 0)"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<EventRecord> records;
		std::string error;
		const bool valid = *c.error == '\0';
		EXPECT_EQ(EventFile::Parse(c.bytes, records, error), valid);
		EXPECT_EQ(records.size(), c.records);
		if (!valid) {
			EXPECT_NE(error.find(c.error), std::string::npos) << error;
		}
	}
}

TEST(EventFile, LoadNamesThePath)
{
	std::vector<EventRecord> records;
	std::string error;
	EXPECT_FALSE(EventFile::Load("/nonexistent/keys.events", records, error));
	EXPECT_EQ(error.rfind("/nonexistent/keys.events: ", 0), 0u) << error;
	EXPECT_FALSE(EventFile::Load(STRIA_SOURCE_DIR "/CMakeLists.txt", records, error));
	EXPECT_NE(error.find("not a file of input events"), std::string::npos) << error;
}

TEST(EventStreamDecoder, RecordsArriveInPiecesOfAnySize)
{
	std::vector<EventRecord> sent;
	for (int i = 0; i < 5; i++)
		sent.push_back(EventRecord::At(1000 * i, EV_KEY, static_cast<uint16>(KEY_A + i), i % 2));
	const std::vector<uint8> bytes = EventFile::Encode(sent);
	for (size_t piece : {1u, 5u, 23u, 24u, 25u, 47u, 120u}) {
		SCOPED_TRACE(piece);
		stria::EventStreamDecoder decoder;
		std::vector<EventRecord> got;
		for (size_t offset = 0; offset < bytes.size(); offset += piece) {
			const size_t size = std::min(piece, bytes.size() - offset);
			ASSERT_TRUE(decoder.Feed(std::span(bytes).subspan(offset, size), got));
		}
		EXPECT_EQ(decoder.Pending(), 0u);
		ASSERT_EQ(got.size(), sent.size());
		for (size_t i = 0; i < got.size(); i++)
			EXPECT_EQ(got[i].code, sent[i].code);
	}
}

TEST(EventStreamDecoder, StopsAtTheFirstBadRecord)
{
	std::vector<EventRecord> sent = {EventRecord::At(1, EV_KEY, KEY_A, 1),
	                                 EventRecord::At(2, EV_KEY, KEY_A, 9),
	                                 EventRecord::At(3, EV_KEY, KEY_B, 1)};
	const std::vector<uint8> bytes = EventFile::Encode(sent);
	stria::EventStreamDecoder decoder;
	std::vector<EventRecord> got;
	EXPECT_FALSE(decoder.Feed(bytes, got));
	EXPECT_EQ(got.size(), 1u);
	EXPECT_EQ(decoder.Problem(), "record 2: key 30 has value 9 (0 up, 1 down, 2 repeat)");
	EXPECT_FALSE(decoder.Feed(std::span(bytes).subspan(48), got)) << "and takes nothing more";
	EXPECT_EQ(got.size(), 1u);
}

} // namespace
