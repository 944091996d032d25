// The virtual keyboard writing records to files and FIFOs.
#include "UinputKeyboard.h"

#include "EventFile.h"
#include "KeyMessage.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using stria::EventFile;
using stria::EventRecord;
using stria::KeyMessage;
using stria::KeyStates;
using stria::UinputKeyboard;

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

} // namespace
