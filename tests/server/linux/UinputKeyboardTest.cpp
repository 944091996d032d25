// The virtual keyboard writing records to files and FIFOs; its pacing, the
// typed codes it keeps whole and its end, on a clock the test moves.
#include "UinputKeyboard.h"

#include "../../filter/ManualClock.h"

#include "EventFile.h"
#include "KeyMessage.h"
#include "UsKeyboard.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <StriaTime.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using filter_test::ManualClock;
using stria::EventFile;
using stria::EventRecord;
using stria::KeyMessage;
using stria::KeyStates;
using stria::PacedWriter;
using stria::UinputKeyboard;
using stria::UsKeyboard;

namespace {

class TempFolder {
public:
	TempFolder()
	{
		char pattern[] = "/tmp/stria-uinput-XXXXXX";
		fPath = ::mkdtemp(pattern);
	}
	~TempFolder() { std::filesystem::remove_all(fPath); }
	std::string operator/(const std::string& name) const { return fPath + "/" + name; }

private:
	std::string fPath;
};

std::vector<EventRecord> ReadRecords(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::vector<uint8> bytes((std::istreambuf_iterator<char>(in)),
	                         std::istreambuf_iterator<char>());
	std::vector<EventRecord> records;
	std::string error;
	EXPECT_TRUE(EventFile::Parse(bytes, records, error)) << error;
	return records;
}

// "+30" for a press of Linux key 30, "-30" for a release; SYN_REPORTs
// after each are checked and left out.
std::vector<std::string> Keys(const std::vector<EventRecord>& records)
{
	std::vector<std::string> keys;
	for (size_t i = 0; i < records.size(); i++) {
		if (records[i].type != EV_KEY)
			continue;
		EXPECT_TRUE(i + 1 < records.size() && records[i + 1].type == EV_SYN &&
		            records[i + 1].code == SYN_REPORT);
		keys.push_back((records[i].value == 1   ? "+"
		                : records[i].value == 0 ? "-"
		                                        : "=") +
		               std::to_string(records[i].code));
	}
	return keys;
}

TEST(UinputKeyboard, WritesRecordsToAFileAndLetsGoOfHeldKeysAtTheEnd)
{
	TempFolder folder;
	const std::string path = folder / "typed.events";
	std::string error;
	{
		auto keyboard = UinputKeyboard::CreateFile(path, nullptr, error);
		ASSERT_NE(keyboard, nullptr) << error;
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 10, 0x3c, B_SHIFT_KEY, KeyStates{}));
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 20, 0x0b, 0, KeyStates{}));
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_UP, 30, 0x3c, 0, KeyStates{}));
		keyboard->Finish();
	}
	EXPECT_EQ(Keys(ReadRecords(path)),
	          (std::vector<std::string>{"+42", "+30", "-42", "+68", "-30", "-68"}));
}

TEST(UinputKeyboard, ReleasesOnDestructionWhenNotFinished)
{
	TempFolder folder;
	const std::string path = folder / "typed.events";
	std::string error;
	{
		auto keyboard = UinputKeyboard::CreateFile(path, nullptr, error);
		ASSERT_NE(keyboard, nullptr);
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 10, 0x47, 0, KeyStates{}));
	}
	EXPECT_EQ(Keys(ReadRecords(path)), (std::vector<std::string>{"+28", "-28"}));
}

TEST(UinputKeyboard, WritesIntoAFifoWithoutTruncatingIt)
{
	TempFolder folder;
	const std::string path = folder / "typed.fifo";
	ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
	// The reader is there first: a FIFO nobody reads is refused.
	const int readEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
	ASSERT_GE(readEnd, 0);
	std::vector<uint8> got;
	std::thread reader([&] {
		struct pollfd wait = {readEnd, POLLIN, 0};
		uint8 buffer[256];
		for (;;) {
			::poll(&wait, 1, -1);
			const ssize_t count = ::read(readEnd, buffer, sizeof(buffer));
			if (count == 0 || (count < 0 && errno != EAGAIN))
				break;
			if (count > 0)
				got.insert(got.end(), buffer, buffer + count);
		}
		::close(readEnd);
	});
	std::string error;
	{
		auto keyboard = UinputKeyboard::CreateFile(path, nullptr, error);
		ASSERT_NE(keyboard, nullptr) << error;
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 10, 0x54, 0, KeyStates{}));
	}
	reader.join();
	std::vector<EventRecord> records;
	ASSERT_TRUE(EventFile::Parse(got, records, error)) << error;
	EXPECT_EQ(Keys(records), (std::vector<std::string>{"+52", "-52"}));
	struct stat info;
	ASSERT_EQ(::stat(path.c_str(), &info), 0);
	EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(UinputKeyboard, AFailedWriteIsReportedOnceAndTypingStops)
{
	int fds[2];
	ASSERT_EQ(::pipe(fds), 0);
	::close(fds[0]); // nobody reads any more
	auto previous = std::signal(SIGPIPE, SIG_IGN);
	std::vector<std::string> logged;
	{
		auto keyboard = UinputKeyboard::ForDescriptor(
		        fds[1], false, [&logged](const std::string& line) { logged.push_back(line); });
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 10, 0x3c, 0, KeyStates{}));
		keyboard->Deliver(*KeyMessage::UsKey(B_KEY_DOWN, 20, 0x3d, 0, KeyStates{}));
	}
	std::signal(SIGPIPE, previous);
	EXPECT_EQ(logged,
	          std::vector<std::string>{
	                  "cannot type on the virtual keyboard: Broken pipe; nothing more is typed"});
}

TEST(UinputKeyboard, MissingFolderFifoWithoutReaderAndMissingUinputGetClearErrors)
{
	std::string error;
	EXPECT_EQ(UinputKeyboard::CreateFile("/nonexistent/typed.events", nullptr, error), nullptr);
	EXPECT_EQ(error, "/nonexistent/typed.events: No such file or directory");
	TempFolder folder;
	const std::string fifo = folder / "typed.fifo";
	ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
	EXPECT_EQ(UinputKeyboard::CreateFile(fifo, nullptr, error), nullptr)
	        << "refused at once, not waited for";
	EXPECT_EQ(error, fifo + ": nobody reads this FIFO; start its reader first");
	EXPECT_EQ(UinputKeyboard::CreateDevice("/nonexistent/uinput", nullptr, error), nullptr);
	EXPECT_NE(error.find("modprobe uinput"), std::string::npos) << error;
}

constexpr uint32 kLeftShift = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
constexpr int32 kShiftKey = 0x4b;
constexpr int32 kTyper = 9;
constexpr int32 kPerson = 1;

using Messages = std::vector<std::unique_ptr<BMessage>>;

// Marks messages as keyboard source's or, with code, as add-on source's
// code number code, the last one its end.
Messages From(int32 source, Messages messages, std::optional<int64> code = std::nullopt)
{
	for (std::unique_ptr<BMessage>& message : messages) {
		message->AddInt32(STRIA_SOURCE_FIELD, source);
		message->AddInt32(STRIA_SOURCE_KIND_FIELD,
		                  code ? STRIA_SOURCE_ADD_ON : STRIA_SOURCE_KEYBOARD);
		if (code)
			message->AddInt64(STRIA_TYPED_CODE_FIELD, *code);
	}
	if (code && !messages.empty())
		messages.back()->AddBool(STRIA_TYPED_CODE_END_FIELD, true);
	return messages;
}

// The key messages for text as a keyboard of its own types them (Shift
// around capitals), all stamped when, and Enter after them when enter.
Messages KeyMessages(const std::string& text, bigtime_t when, bool enter = true)
{
	Messages messages;
	const std::string all = enter ? text + "\n" : text;
	for (char character : all) {
		const stria::KeyStroke stroke = *UsKeyboard::StrokeFor(character);
		const uint32 modifiers = stroke.shift ? kLeftShift : 0;
		if (stroke.shift) {
			messages.push_back(KeyMessage::ModifiersChanged(when, kLeftShift, 0, KeyStates{}));
			messages.push_back(KeyMessage::Unmapped(B_UNMAPPED_KEY_DOWN, when, kShiftKey,
			                                        kLeftShift, KeyStates{}));
		}
		messages.push_back(KeyMessage::UsKey(B_KEY_DOWN, when, stroke.key, modifiers, KeyStates{}));
		messages.push_back(KeyMessage::UsKey(B_KEY_UP, when, stroke.key, modifiers, KeyStates{}));
		if (stroke.shift) {
			messages.push_back(KeyMessage::ModifiersChanged(when, 0, kLeftShift, KeyStates{}));
			messages.push_back(
			        KeyMessage::Unmapped(B_UNMAPPED_KEY_UP, when, kShiftKey, 0, KeyStates{}));
		}
	}
	return messages;
}

// Capitals as a person types them holding Shift down all along.
Messages ShiftHeld(const std::string& capitals, bigtime_t when)
{
	Messages messages;
	messages.push_back(KeyMessage::ModifiersChanged(when, kLeftShift, 0, KeyStates{}));
	messages.push_back(
	        KeyMessage::Unmapped(B_UNMAPPED_KEY_DOWN, when, kShiftKey, kLeftShift, KeyStates{}));
	for (char capital : capitals) {
		const int32 key = UsKeyboard::StrokeFor(capital)->key;
		messages.push_back(KeyMessage::UsKey(B_KEY_DOWN, when, key, kLeftShift, KeyStates{}));
		messages.push_back(KeyMessage::UsKey(B_KEY_UP, when, key, kLeftShift, KeyStates{}));
	}
	messages.push_back(KeyMessage::ModifiersChanged(when, 0, kLeftShift, KeyStates{}));
	messages.push_back(KeyMessage::Unmapped(B_UNMAPPED_KEY_UP, when, kShiftKey, 0, KeyStates{}));
	return messages;
}

// The text the key presses among records type on a US keyboard (Enter as
// a line break).
std::string Text(const std::vector<EventRecord>& records)
{
	std::string text;
	bool shift = false;
	for (const EventRecord& record : records) {
		if (record.type != EV_KEY)
			continue;
		if (record.code == KEY_LEFTSHIFT) {
			shift = record.value != 0;
			continue;
		}
		if (record.value != 1)
			continue;
		const stria::UsKey* key = UsKeyboard::FromLinuxCode(record.code);
		text += static_cast<char>(key == nullptr ? '?' : shift ? key->shifted : key->plain);
	}
	return text;
}

// A manual clock that also tells how many threads wait for a deadline:
// both the keyboard's writer thread and a Finish may.
class CountingClock : public ManualClock {
public:
	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	               bigtime_t deadline) override
	{
		{
			std::lock_guard guard(fCountLock);
			fWaiting[deadline]++;
			fCountChanged.notify_all();
		}
		ManualClock::WaitUntil(lock, changed, deadline);
		std::lock_guard guard(fCountLock);
		fWaiting[deadline]--;
	}

	// Waits (boundedly) until count threads wait for deadline.
	bool WaitForWaiters(bigtime_t deadline, int count)
	{
		std::unique_lock guard(fCountLock);
		return fCountChanged.wait_for(guard, std::chrono::seconds(20),
		                              [&] { return fWaiting[deadline] >= count; });
	}

private:
	std::mutex fCountLock;
	std::condition_variable fCountChanged;
	std::map<bigtime_t, int> fWaiting;
};

// A keyboard writing records into a file, paced on a clock of the test's.
struct PacedFile {
	explicit PacedFile(PacedWriter::Budget budget = PacedWriter::kEvdevReader)
	{
		const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
		EXPECT_GE(fd, 0);
		keyboard = UinputKeyboard::ForDescriptor(
		        fd, false, [this](const std::string& line) { logged.push_back(line); }, &clock,
		        budget);
	}
	~PacedFile()
	{
		// A test that stopped early may leave records waiting: the clock
		// moves on until they are written or let go of.
		std::atomic<bool> done = false;
		std::thread finishing([this, &done] {
			keyboard->Finish();
			done = true;
		});
		while (!done) {
			clock.Set(stria::Shifted(clock.Now(), 50001));
			std::this_thread::yield();
		}
		finishing.join();
		keyboard.reset();
	}
	void Deliver(const Messages& messages)
	{
		for (const std::unique_ptr<BMessage>& message : messages)
			keyboard->Deliver(*message);
	}
	std::vector<EventRecord> Records() { return ReadRecords(path); }

	TempFolder folder;
	const std::string path = folder / "typed.events";
	CountingClock clock;
	std::vector<std::string> logged;
	std::unique_ptr<UinputKeyboard> keyboard;
};

TEST(UinputKeyboard, ACodeGoesOutNoFasterThanAReaderFiftyMillisecondsLateTakesIt)
{
	struct Case {
		const char* text;
		// Records written once the clock has reached each time.
		std::vector<std::pair<bigtime_t, size_t>> written;
	};
	const Case cases[] = {
	        {"9780306406157", {{0, 56}}},
	        {"Stephen Satchell", {{0, 62}, {50001, 76}}},
	        {"Stria-2026-Shelf-B12-Box-7-Aisle-42-Left",
	         {{0, 62}, {50001, 124}, {100002, 186}, {150003, 188}}},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.text);
		PacedFile file;
		file.Deliver(From(kTyper, KeyMessages(c.text, 0), 1));
		for (size_t index = 0; index < c.written.size(); index++) {
			const auto [at, count] = c.written[index];
			if (at > 0) {
				ASSERT_TRUE(file.clock.WaitForWaiter(at));
				file.clock.Set(at);
			}
			// The writer thread waits for the next turn once it is done.
			const bool last = index + 1 == c.written.size();
			ASSERT_TRUE(file.clock.WaitForWaiter(last ? stria::kLatestTime : at + 50001));
			EXPECT_EQ(file.Records().size(), count) << "at " << at;
		}
		EXPECT_EQ(Text(file.Records()), std::string(c.text) + "\n");
	}
}

TEST(UinputKeyboard, APersonsKeyIsWrittenBeforeDeliverReturns)
{
	PacedFile file;
	file.Deliver(From(kTyper, KeyMessages("12345678901234", 0, false), 1));
	file.clock.Set(60000);
	// The code's 56 records have left the window: nothing waits, nothing
	// is handed to another thread.
	file.Deliver(From(kPerson, KeyMessages("x", 60000, false)));
	EXPECT_EQ(file.Records().size(), 60u);
	EXPECT_EQ(file.keyboard->CountWaiting(), 0u);
}

TEST(UinputKeyboard, APersonsKeyComesAfterTheCodeOrASecondLateWithoutTheTypersShift)
{
	struct Case {
		const char* name;
		bool codeEnds;
		std::vector<std::string> keys;
	};
	const Case cases[] = {
	        {"the code ends: the person's x comes after it",
	         true,
	         {"+42", "+30", "-30", "-42", "+28", "-28", "+45", "-45"}},
	        {"the code never ends: x comes after a second, without the typer's Shift",
	         false,
	         {"+42", "+30", "-42", "+45", "-45", "+42", "-30", "-42"}},
	};
	for (const Case& c : cases) {
		SCOPED_TRACE(c.name);
		PacedFile file;
		// The typer has pressed its Shift and A when the person types x.
		Messages code = From(kTyper, KeyMessages("A", 0), 1);
		Messages rest;
		rest.insert(rest.end(), std::make_move_iterator(code.begin() + 3),
		            std::make_move_iterator(code.end()));
		code.resize(3);
		file.Deliver(code);
		file.clock.Set(10000);
		file.Deliver(From(kPerson, KeyMessages("x", 10000, false)));
		EXPECT_EQ(file.keyboard->CountHeld(), 2u);
		if (c.codeEnds) {
			file.Deliver(rest);
		} else {
			ASSERT_TRUE(file.clock.WaitForWaiter(10000 + stria::TypedCodeGate::kLongestWait));
			file.clock.Set(10000 + stria::TypedCodeGate::kLongestWait);
			ASSERT_TRUE(file.clock.WaitForWaiter(stria::kLatestTime));
		}
		EXPECT_EQ(file.keyboard->CountHeld(), 0u);
		file.keyboard->Finish();
		EXPECT_EQ(Keys(file.Records()), c.keys);
	}
}

TEST(UinputKeyboard, FinishWritesForHalfASecondThenLetsGoOfTheRestAndTheKeysItHeld)
{
	// Two key events a window: the person's ten capitals cannot all go.
	PacedFile file({4, 50000});
	file.Deliver(From(kPerson, ShiftHeld("ABCDEFGHIJ", 0)));
	ASSERT_EQ(file.Records().size(), 4u);
	std::thread finishing([&] { file.keyboard->Finish(); });
	// The writer thread and Finish both wait for the next window.
	const bool waiting = file.clock.WaitForWaiters(50001, 2);
	file.clock.Set(UinputKeyboard::kFinishLimit);
	finishing.join();
	ASSERT_TRUE(waiting);
	EXPECT_EQ(Keys(file.Records()),
	          (std::vector<std::string>{"+42", "+30", "-30", "+48", "-42", "-48"}));
	EXPECT_EQ(file.logged,
	          (std::vector<std::string>{
	                  "stopping: 18 key events could not be typed in time on the "
	                  "virtual keyboard and were let go of, with the keys they held"}));
	EXPECT_EQ(file.keyboard->CountWaiting(), 0u);
}

} // namespace
