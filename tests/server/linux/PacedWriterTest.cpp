// The paced writer on a clock the test sets: bursts of key events against
// the buffer a desktop reader 50 ms late leaves, a person's keys at once,
// and letting go at the end.
#include "PacedWriter.h"

#include <StriaClock.h>
#include <StriaTime.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <vector>

using stria::EventRecord;
using stria::PacedWriter;

namespace {

// Events the kernel keeps unread for one reader of our keyboard: the 64th
// makes it drop them all.
constexpr size_t kReaderKeeps = 63;
constexpr bigtime_t kReaderLate = 50000;

class HandClock : public StriaClock {
public:
	bigtime_t Now() override { return now; }
	void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, bigtime_t) override
	{
		ADD_FAILURE() << "the paced writer never waits itself";
	}
	bigtime_t now = 0;
};

// The device: each write with the clock at that moment.
class Device : public stria::EventWriter {
public:
	explicit Device(HandClock& clock) : fClock(clock) {}
	bool Write(std::span<const EventRecord> records) override
	{
		for (const EventRecord& record : records) {
			written.push_back(record);
			at.push_back(fClock.now);
		}
		return !failing;
	}

	std::vector<EventRecord> written;
	std::vector<bigtime_t> at;
	bool failing = false;

private:
	HandClock& fClock;
};

// One key event and its report, stamped when.
std::vector<EventRecord> KeyEvent(uint16 code, int32 value, bigtime_t when)
{
	return {EventRecord::At(when, EV_KEY, code, value),
	        EventRecord::At(when, EV_SYN, SYN_REPORT, 0)};
}

// count key events given at once: presses and releases of key A in turn.
struct Burst {
	bigtime_t at;
	size_t keyEvents;
};

// The most records written within any span of kReaderLate, both ends
// included: what a reader that late may find waiting at once.
size_t MostUnread(const std::vector<bigtime_t>& at)
{
	size_t most = 0;
	for (size_t first = 0; first < at.size(); first++) {
		const auto end = std::upper_bound(at.begin(), at.end(), at[first] + kReaderLate);
		most = std::max(most, static_cast<size_t>(end - at.begin()) - first);
	}
	return most;
}

// Gives the bursts to the writer at their times and calls WriteDue when it
// is due, as the keyboard's writer thread does; returns once nothing waits.
void Play(PacedWriter& writer, HandClock& clock, const std::vector<Burst>& bursts)
{
	size_t next = 0;
	size_t typed = 0;
	while (next < bursts.size() || writer.CountWaiting() > 0) {
		const bigtime_t arrival = next < bursts.size() ? bursts[next].at : stria::kLatestTime;
		const bigtime_t due = writer.NextDue();
		clock.now = std::max(clock.now, std::min(arrival, due));
		if (due <= clock.now)
			writer.WriteDue();
		if (next < bursts.size() && bursts[next].at <= clock.now) {
			for (size_t index = 0; index < bursts[next].keyEvents; index++, typed++)
				ASSERT_TRUE(writer.Write(
				        KeyEvent(KEY_A, static_cast<int32>(typed % 2), bursts[next].at)));
			next++;
		}
	}
}

TEST(PacedWriter, AReaderFiftyMillisecondsLateNeverLosesAnEvent)
{
	struct Case {
		const char* name;
		std::vector<Burst> bursts;
		// When the last record was written.
		bigtime_t done;
	};
	// A code's key events: two per character and the end key, two more
	// for each Shift.
	const Case cases[] = {
	        {"a 13-digit code and Enter fits at once", {{0, 28}}, 0},
	        {"\"Stephen Satchell\" and Enter: 38 key events", {{0, 38}}, 50001},
	        {"a 40-character code, 10 capitals, and Enter", {{0, 102}}, 150003},
	        {"a 40-character code of small letters and Enter", {{0, 82}}, 100002},
	        {"a burst of 600 passed key events after a stall", {{1000, 600}}, 1000 + 19 * 50001},
	        {"a person's keys, then a code 20 ms later", {{0, 2}, {10000, 2}, {20000, 28}}, 50001},
	        {"two codes 30 ms apart", {{0, 28}, {30000, 28}}, 50001},
	        {"bursts that straddle the window's end",
	         {{0, 20}, {49000, 20}, {50000, 20}, {51000, 20}},
	         100002},
	        {"a key every 10 ms, as fast as a person types, is never held back",
	         {{0, 1}, {10000, 1}, {20000, 1}, {30000, 1}, {40000, 1}, {50000, 1}, {60000, 1}},
	         60000},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		HandClock clock;
		Device device(clock);
		PacedWriter writer(device, clock, PacedWriter::kEvdevReader);
		Play(writer, clock, c.bursts);

		size_t given = 0;
		for (const Burst& burst : c.bursts)
			given += burst.keyEvents;
		ASSERT_EQ(device.written.size(), 2 * given) << "every record written";
		EXPECT_LE(MostUnread(device.at), kReaderKeeps);
		EXPECT_EQ(device.at.back(), c.done);
		// In order, with the stamps they were given, and no burst
		// written before it came.
		size_t index = 0;
		for (const Burst& burst : c.bursts) {
			for (size_t event = 0; event < burst.keyEvents; event++, index++) {
				EXPECT_EQ(device.written[2 * index].value, static_cast<int32>(index % 2));
				EXPECT_EQ(device.written[2 * index].When(), burst.at);
				EXPECT_GE(device.at[2 * index], burst.at);
			}
		}
	}
}

TEST(PacedWriter, AKeyIsWrittenAtOnceWhenThereIsRoom)
{
	struct Case {
		const char* name;
		std::vector<Burst> before;
		bigtime_t keyAt;
		bigtime_t writtenAt;
	};
	const Case cases[] = {
	        {"nothing before", {}, 1000, 1000},
	        {"a code a window and a microsecond before", {{0, 31}}, 50001, 50001},
	        {"a full window that ends as the key comes", {{0, 31}}, 50000, 50001},
	        {"a code that leaves room for one more key event", {{0, 30}}, 100, 100},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		HandClock clock;
		Device device(clock);
		PacedWriter writer(device, clock, PacedWriter::kEvdevReader);
		Play(writer, clock, c.before);
		const size_t before = device.written.size();
		clock.now = c.keyAt;
		ASSERT_TRUE(writer.Write(KeyEvent(KEY_X, 1, c.keyAt)));
		if (c.writtenAt == c.keyAt) {
			EXPECT_EQ(device.written.size(), before + 2) << "written within Write";
			EXPECT_EQ(writer.NextDue(), stria::kLatestTime);
		} else {
			EXPECT_EQ(device.written.size(), before);
			EXPECT_EQ(writer.NextDue(), c.writtenAt);
			clock.now = c.writtenAt;
			writer.WriteDue();
			EXPECT_EQ(device.written.size(), before + 2);
		}
	}
}

TEST(PacedWriter, LettingGoDropsWhatWaitsAndReleasesWhatWasPressed)
{
	HandClock clock;
	Device device(clock);
	PacedWriter writer(device, clock, {4, kReaderLate});
	// Shift and A pressed, then their releases and a tap of B wait.
	for (const auto& [code, value] : std::vector<std::pair<uint16, int32>>{{KEY_LEFTSHIFT, 1},
	                                                                       {KEY_A, 1},
	                                                                       {KEY_A, 0},
	                                                                       {KEY_LEFTSHIFT, 0},
	                                                                       {KEY_B, 1},
	                                                                       {KEY_B, 0}})
		ASSERT_TRUE(writer.Write(KeyEvent(code, value, 700)));
	ASSERT_EQ(writer.CountWaiting(), 8u);
	device.written.clear();

	EXPECT_EQ(writer.LetGo(), 8u);
	EXPECT_EQ(writer.CountWaiting(), 0u);
	EXPECT_EQ(writer.NextDue(), stria::kLatestTime);
	std::vector<std::pair<uint16, int32>> keys;
	for (const EventRecord& record : device.written) {
		if (record.type == EV_KEY)
			keys.emplace_back(record.code, record.value);
		EXPECT_EQ(record.When(), 700);
	}
	EXPECT_EQ(keys, (std::vector<std::pair<uint16, int32>>{{KEY_A, 0}, {KEY_LEFTSHIFT, 0}}));
}

TEST(PacedWriter, AFailedWriteDropsWhatWaitsAndRefusesMore)
{
	HandClock clock;
	Device device(clock);
	PacedWriter writer(device, clock, {2, kReaderLate});
	ASSERT_TRUE(writer.Write(KeyEvent(KEY_A, 1, 0)));
	ASSERT_TRUE(writer.Write(KeyEvent(KEY_A, 0, 0)));
	device.failing = true;
	clock.now = writer.NextDue();
	writer.WriteDue();
	EXPECT_FALSE(writer.Healthy());
	EXPECT_EQ(writer.CountWaiting(), 0u);
	EXPECT_FALSE(writer.Write(KeyEvent(KEY_B, 1, 0)));
	EXPECT_EQ(device.written.size(), 4u);
}

TEST(PacedWriter, FilesAreNotPaced)
{
	HandClock clock;
	Device device(clock);
	PacedWriter writer(device, clock, PacedWriter::kUnpaced);
	for (int index = 0; index < 1000; index++)
		ASSERT_TRUE(writer.Write(KeyEvent(KEY_A, index % 2, 0)));
	EXPECT_EQ(device.written.size(), 2000u);
	EXPECT_EQ(writer.NextDue(), stria::kLatestTime);
}

} // namespace
