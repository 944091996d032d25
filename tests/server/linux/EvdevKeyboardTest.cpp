// The keyboard input device over pipes, FIFOs and event files.
#include "EvdevKeyboard.h"

#include "EventFile.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <OS.h>

#include <gtest/gtest.h>

#include <linux/input.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using stria::EvdevKeyboard;
using stria::EvdevNode;
using stria::EventFile;
using stria::EventRecord;

namespace {

// Device nodes played by pipes: the test writes the kernel's records into
// the pipe, closes it to unplug the device, and plugs in a new pipe.
class FakeNode : public EvdevNode {
public:
	~FakeNode() override
	{
		for (auto& [path, device] : fDevices) {
			if (device.writeFd >= 0)
				::close(device.writeFd);
			if (device.readFd >= 0)
				::close(device.readFd);
		}
	}

	// A device at path; returns the pipe's write end.
	int Plug(const std::string& path)
	{
		std::lock_guard lock(fLock);
		int fds[2];
		EXPECT_EQ(::pipe2(fds, O_CLOEXEC), 0);
		Device& device = fDevices[path];
		device.readFd = fds[0];
		device.writeFd = fds[1];
		device.present = true;
		return fds[1];
	}

	void Unplug(const std::string& path)
	{
		std::lock_guard lock(fLock);
		Device& device = fDevices[path];
		device.present = false;
		::close(device.writeFd);
		device.writeFd = -1;
	}

	Kind Inspect(const std::string& path, std::string& error) override
	{
		std::lock_guard lock(fLock);
		auto it = fDevices.find(path);
		if (it == fDevices.end() || !it->second.present)
			return EvdevNode::Inspect(path, error);
		return Kind::Device;
	}

	int Open(const std::string& path) override
	{
		std::lock_guard lock(fLock);
		auto it = fDevices.find(path);
		if (it == fDevices.end() || !it->second.present)
			return EvdevNode::Open(path);
		if (openError != 0) {
			errno = openError;
			return -1;
		}
		const int fd = it->second.readFd;
		it->second.readFd = -1;
		return fd;
	}

	void SetKeysDown(std::vector<uint16> keys)
	{
		std::lock_guard lock(fLock);
		keysDown = std::move(keys);
	}

	bool IsInputDevice(int) override { return inputDevice; }

	int Grab(int, bool grab) override
	{
		std::lock_guard lock(fLock);
		grabs.push_back(grab);
		return grabError;
	}

	int UseMonotonicClock(int) override
	{
		std::lock_guard lock(fLock);
		monotonicAsked++;
		return clockError;
	}

	uint32 Locks(int) override { return locks; }
	std::vector<uint16> KeysDown(int) override
	{
		std::lock_guard lock(fLock);
		keysDownAsked++;
		if (keysDownAsked > keysHeldFor)
			return keysDown;
		return {KEY_ENTER};
	}

	int openError = 0;
	int grabError = 0;
	// What asking for the monotonic clock answers, and how often it was.
	int clockError = 0;
	int monotonicAsked = 0;
	bool inputDevice = true;
	uint32 locks = 0;
	std::vector<uint16> keysDown;
	// KeysDown reports Enter held for this many calls first.
	int keysHeldFor = 0;
	int keysDownAsked = 0;
	std::vector<bool> grabs;

private:
	struct Device {
		int readFd = -1;
		int writeFd = -1;
		bool present = false;
	};

	std::mutex fLock;
	std::map<std::string, Device> fDevices;
};

class CollectingSink : public stria::InputSink {
public:
	bigtime_t InputStart() const override { return fStart; }

	void Enqueue(std::unique_ptr<BMessage> message) override
	{
		std::lock_guard lock(fLock);
		int32 key = message->GetInt32("key", -1);
		const char* what = message->what == B_KEY_DOWN            ? "down"
		                   : message->what == B_KEY_UP            ? "up"
		                   : message->what == STRIA_INPUT_DROPPED ? "dropped"
		                                                          : "other";
		bool gone = false;
		message->FindBool(STRIA_KEYBOARD_GONE_FIELD, &gone);
		fMessages.push_back(std::string(what) + " " + std::to_string(key) + " @" +
		                    std::to_string(message->GetInt64("when", -1)) + (gone ? " gone" : ""));
		fStamps.push_back(message->GetInt64("when", -1));
		fChanged.notify_all();
	}

	status_t Control(const char*, uint32, BMessage*) override { return B_OK; }

	void Log(const std::string& line) override
	{
		std::lock_guard lock(fLock);
		fLog.push_back(line);
		fChanged.notify_all();
	}

	// Waits (at most 10 s) until there are count messages and logLines lines.
	bool WaitFor(size_t count, size_t logLines = 0)
	{
		std::unique_lock lock(fLock);
		return fChanged.wait_for(
		        lock, 10s, [&] { return fMessages.size() >= count && fLog.size() >= logLines; });
	}

	std::vector<std::string> Messages()
	{
		std::lock_guard lock(fLock);
		return fMessages;
	}

	std::vector<std::string> LogLines()
	{
		std::lock_guard lock(fLock);
		return fLog;
	}

	// The "when" of each message, in order.
	std::vector<bigtime_t> Stamps()
	{
		std::lock_guard lock(fLock);
		return fStamps;
	}

private:
	const bigtime_t fStart = system_time();
	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fMessages;
	std::vector<bigtime_t> fStamps;
	std::vector<std::string> fLog;
};

void WriteNative(int fd, bigtime_t when, uint16 type, uint16 code, int32 value)
{
	input_event event = {};
	event.input_event_sec = when / 1000000;
	event.input_event_usec = when % 1000000;
	event.type = type;
	event.code = code;
	event.value = value;
	ASSERT_EQ(::write(fd, &event, sizeof(event)), static_cast<ssize_t>(sizeof(event)));
}

void Press(int fd, bigtime_t when, uint16 code, int32 value)
{
	WriteNative(fd, when, EV_KEY, code, value);
	WriteNative(fd, when, EV_SYN, SYN_REPORT, 0);
}

class TempFolder {
public:
	TempFolder()
	{
		char pattern[] = "/tmp/stria-evdev-XXXXXX";
		fPath = ::mkdtemp(pattern);
	}
	~TempFolder() { std::filesystem::remove_all(fPath); }
	std::string operator/(const std::string& name) const { return fPath + "/" + name; }

private:
	std::string fPath;
};

void WriteFile(const std::string& path, const std::vector<uint8>& bytes)
{
	std::ofstream out(path, std::ios::binary);
	out.write(reinterpret_cast<const char*>(bytes.data()),
	          static_cast<std::streamsize>(bytes.size()));
}

// Runs a keyboard on its own thread until it ends or the test stops it.
struct Running {
	Running(EvdevKeyboard& keyboard, CollectingSink& sink)
	    : thread([&keyboard, &sink](std::stop_token stop) { keyboard.Run(sink, stop); })
	{
	}
	std::jthread thread;
};

TEST(EvdevKeyboard, PathsThatAreNoKeyboardGetAClearError)
{
	TempFolder folder;
	WriteFile(folder / "bad.events", std::vector<uint8>(25, 0));
	const struct {
		const char* name;
		std::string path;
		std::function<void(FakeNode&)> setUp;
		const char* error;
	} cases[] = {
	        {"missing", folder / "none", nullptr, "No such file or directory"},
	        {"a folder", folder / "", nullptr, "not an input device or a file of input events"},
	        {"a file of another kind", folder / "bad.events", nullptr,
	         "not a file of input events"},
	        {"a device that answers no evdev request", "/fake/event1",
	         [](FakeNode& node) { node.inputDevice = false; }, "/fake/event1: not an input device"},
	        {"a device another program holds", "/fake/event1",
	         [](FakeNode& node) { node.grabError = EBUSY; }, "--no-grab"},
	        {"a device the user may not read", "/fake/event1",
	         [](FakeNode& node) { node.openError = EACCES; }, "udev rule"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		auto node = std::make_shared<FakeNode>();
		node->Plug("/fake/event1");
		if (c.setUp)
			c.setUp(*node);
		std::string error;
		EXPECT_EQ(EvdevKeyboard::Create(c.path, {}, node, error), nullptr);
		EXPECT_NE(error.find(c.error), std::string::npos) << error;
		EXPECT_EQ(error.rfind(c.path, 0), 0u) << "names the path: " << error;
	}
}

TEST(EvdevKeyboard, GrabsTheDeviceUnlessToldToShare)
{
	for (bool grab : {true, false}) {
		auto node = std::make_shared<FakeNode>();
		node->Plug("/fake/event1");
		std::string error;
		EvdevKeyboard::Options options;
		options.grab = grab;
		auto keyboard = EvdevKeyboard::Create("/fake/event1", options, node, error);
		ASSERT_NE(keyboard, nullptr) << error;
		EXPECT_TRUE(keyboard->IsDevice());
		EXPECT_EQ(node->grabs, grab ? std::vector<bool>{true} : std::vector<bool>{});
	}
}

TEST(EvdevKeyboard, WaitsForHeldKeysToComeUpBeforeTakingTheDevice)
{
	auto node = std::make_shared<FakeNode>();
	node->Plug("/fake/event1");
	node->keysHeldFor = 3;
	std::string error;
	ASSERT_NE(EvdevKeyboard::Create("/fake/event1", {}, node, error), nullptr);
	EXPECT_EQ(node->keysDownAsked, 4) << "asked until nothing was held";
	EXPECT_EQ(node->grabs, std::vector<bool>{true});

	// A key that stays down does not keep the server from starting.
	node = std::make_shared<FakeNode>();
	node->Plug("/fake/event1");
	node->keysHeldFor = 1000000;
	EvdevKeyboard::Options options;
	options.releaseWait = 50000;
	ASSERT_NE(EvdevKeyboard::Create("/fake/event1", options, node, error), nullptr);
	EXPECT_EQ(node->grabs, std::vector<bool>{true});
}

TEST(EvdevKeyboard, ReadsADeviceAndTakesItUpAgainWhenItComesBack)
{
	auto node = std::make_shared<FakeNode>();
	int device = node->Plug("/fake/event3");
	EvdevKeyboard::Options options;
	options.reopenInterval = 20000;
	std::string error;
	auto keyboard = EvdevKeyboard::Create("/fake/event3", options, node, error);
	ASSERT_NE(keyboard, nullptr) << error;
	CollectingSink sink;
	Running running(*keyboard, sink);

	Press(device, 1000000, KEY_A, 1);
	Press(device, 1100000, KEY_A, 0);
	Press(device, 1200000, KEY_F10, 1); // held while the device goes
	ASSERT_TRUE(sink.WaitFor(3));
	node->Unplug("/fake/event3");
	ASSERT_TRUE(sink.WaitFor(4, 1));
	std::vector<std::string> messages = sink.Messages();
	EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 3),
	          (std::vector<std::string>{"down 60 @1000000", "up 60 @1100000", "down 11 @1200000"}));
	EXPECT_EQ(messages[3].rfind("up 11 @", 0), 0u) << "the held key is let go";
	EXPECT_EQ(messages[3].substr(messages[3].size() - 5), " gone")
	        << "marked so that the capture takes it for no person's key";
	EXPECT_EQ(sink.LogLines(),
	          std::vector<std::string>{
	                  "/fake/event3: the keyboard has gone; waiting for it to come back"});

	std::this_thread::sleep_for(100ms); // several looks find nothing, and say nothing
	EXPECT_EQ(sink.LogLines().size(), 1u);
	device = node->Plug("/fake/event3");
	ASSERT_TRUE(sink.WaitFor(4, 2));
	EXPECT_EQ(sink.LogLines().back(), "/fake/event3: the keyboard is back");
	Press(device, 2000000, KEY_B, 1);
	ASSERT_TRUE(sink.WaitFor(5, 2));
	EXPECT_EQ(sink.Messages().back(), "down 80 @2000000");
	EXPECT_EQ(node->grabs, (std::vector<bool>{true, true}));
	EXPECT_EQ(node->monotonicAsked, 2) << "each opening puts the device on the server's clock";
	running.thread.request_stop();
	running.thread.join();
}

TEST(EvdevKeyboard, RealTimeStampsOfAKernelWithoutTheMonotonicClockAreTurnedIntoIt)
{
	auto node = std::make_shared<FakeNode>();
	int device = node->Plug("/fake/event4");
	node->clockError = EINVAL;
	std::string error;
	auto keyboard = EvdevKeyboard::Create("/fake/event4", {}, node, error);
	ASSERT_NE(keyboard, nullptr) << error;
	CollectingSink sink;
	Running running(*keyboard, sink);
	const bigtime_t pressed = real_time_clock_usecs() - 3000000;
	Press(device, pressed, KEY_A, 1);
	ASSERT_TRUE(sink.WaitFor(1));
	// Three seconds before now on the server's clock; a second of slack
	// for a slow machine.
	const bigtime_t expected = system_time() - 3000000;
	EXPECT_NEAR(static_cast<double>(sink.Stamps()[0]), static_cast<double>(expected), 1000000.0);
}

TEST(EvdevKeyboard, ResyncsHeldKeysAfterTheKernelDroppedEvents)
{
	auto node = std::make_shared<FakeNode>();
	int device = node->Plug("/fake/event1");
	std::string error;
	auto keyboard = EvdevKeyboard::Create("/fake/event1", {}, node, error);
	ASSERT_NE(keyboard, nullptr);
	CollectingSink sink;
	Running running(*keyboard, sink);
	Press(device, 100, KEY_A, 1);
	node->SetKeysDown({KEY_S}); // A came up and S went down, unseen
	WriteNative(device, 200, EV_SYN, SYN_DROPPED, 0);
	WriteNative(device, 300, EV_KEY, KEY_A, 0);
	WriteNative(device, 400, EV_SYN, SYN_REPORT, 0);
	ASSERT_TRUE(sink.WaitFor(4));
	EXPECT_EQ(sink.Messages(), (std::vector<std::string>{"down 60 @100", "dropped -1 @200",
	                                                     "up 60 @400", "down 61 @400"}));
}

TEST(EvdevKeyboard, KeysOffTheUsKeyboardAreReportedOnceAndNotPassedOn)
{
	auto node = std::make_shared<FakeNode>();
	int device = node->Plug("/fake/event2");
	std::string error;
	auto keyboard = EvdevKeyboard::Create("/fake/event2", {}, node, error);
	ASSERT_NE(keyboard, nullptr);
	CollectingSink sink;
	Running running(*keyboard, sink);
	for (int i = 0; i < 3; i++) {
		Press(device, 100 + i, KEY_VOLUMEUP, 1);
		Press(device, 200 + i, KEY_VOLUMEUP, 0);
	}
	Press(device, 300, KEY_MUTE, 1);
	Press(device, 400, KEY_Z, 1);
	ASSERT_TRUE(sink.WaitFor(1, 2));
	EXPECT_EQ(sink.Messages(), std::vector<std::string>{"down 76 @400"});
	EXPECT_EQ(sink.LogLines(),
	          (std::vector<std::string>{"/fake/event2: key code 115 has no place on a US PC "
	                                    "keyboard and is not passed on",
	                                    "/fake/event2: key code 113 has no place on a US PC "
	                                    "keyboard and is not passed on"}));
}

std::vector<EventRecord> Typing(bigtime_t start, bigtime_t step, int keys)
{
	std::vector<EventRecord> records;
	for (int i = 0; i < keys; i++) {
		const bigtime_t when = start + i * step;
		records.push_back(EventRecord::At(when, EV_KEY, KEY_Q, 1));
		records.push_back(EventRecord::At(when, EV_SYN, SYN_REPORT, 0));
		records.push_back(EventRecord::At(when + step / 2, EV_KEY, KEY_Q, 0));
		records.push_back(EventRecord::At(when + step / 2, EV_SYN, SYN_REPORT, 0));
	}
	return records;
}

TEST(EvdevKeyboard, PlaysAnEventFileToItsEndAtItsPace)
{
	TempFolder folder;
	const std::string path = folder / "keys.events";
	WriteFile(path, EventFile::Encode(Typing(1700000000000000, 40000, 5)));
	for (bool fast : {false, true}) {
		SCOPED_TRACE(fast ? "fast" : "paced");
		auto node = std::make_shared<FakeNode>();
		EvdevKeyboard::Options options;
		options.fast = fast;
		std::string error;
		auto keyboard = EvdevKeyboard::Create(path, options, node, error);
		ASSERT_NE(keyboard, nullptr) << error;
		EXPECT_FALSE(keyboard->IsDevice());
		EXPECT_TRUE(node->grabs.empty()) << "files are never grabbed";
		CollectingSink sink;
		const auto start = std::chrono::steady_clock::now();
		keyboard->Run(sink, std::stop_token());
		const auto took = std::chrono::steady_clock::now() - start;
		ASSERT_EQ(sink.Messages().size(), 10u);
		// On the server's clock from the moment input began, whatever the
		// pace: the stamps say when each key is due.
		const bigtime_t zero = sink.InputStart();
		EXPECT_EQ(sink.Messages().front(), "down 39 @" + std::to_string(zero));
		EXPECT_EQ(sink.Messages().back(), "up 39 @" + std::to_string(zero + 180000));
		if (!fast) {
			EXPECT_GE(took, 180ms) << "the last key-up comes 180 ms after the first key-down";
			EXPECT_GE(system_time(), zero + 180000);
		}
	}
}

TEST(EvdevKeyboard, StopEndsAPlayingFileEarly)
{
	TempFolder folder;
	const std::string path = folder / "slow.events";
	WriteFile(path, EventFile::Encode(Typing(0, 60000000, 3))); // a key a minute
	std::string error;
	auto keyboard = EvdevKeyboard::Create(path, {}, std::make_shared<FakeNode>(), error);
	ASSERT_NE(keyboard, nullptr);
	CollectingSink sink;
	Running running(*keyboard, sink);
	ASSERT_TRUE(sink.WaitFor(1));
	running.thread.request_stop();
	running.thread.join();
	EXPECT_EQ(sink.Messages(),
	          std::vector<std::string>{"down 39 @" + std::to_string(sink.InputStart())})
	        << "the key-up 30 s later never plays";
}

TEST(EvdevKeyboard, ReadsAFifoAsItComesAndStopsAtABadRecord)
{
	TempFolder folder;
	const std::string path = folder / "keys.fifo";
	ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
	std::string error;
	auto keyboard = EvdevKeyboard::Create(path, {}, std::make_shared<FakeNode>(), error);
	ASSERT_NE(keyboard, nullptr) << error;
	CollectingSink sink;
	Running running(*keyboard, sink);
	const int writer = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
	ASSERT_GE(writer, 0);
	std::vector<EventRecord> records = Typing(5000, 1000, 2);
	records.push_back(EventRecord::At(9000, EV_KEY, KEY_A, 7));
	records.push_back(EventRecord::At(9000, EV_KEY, KEY_A, 1));
	const std::vector<uint8> bytes = EventFile::Encode(records);
	// Split mid-record: the reader puts records together across reads.
	ASSERT_EQ(::write(writer, bytes.data(), 30), 30);
	std::this_thread::sleep_for(10ms);
	ASSERT_EQ(::write(writer, bytes.data() + 30, bytes.size() - 30),
	          static_cast<ssize_t>(bytes.size() - 30));
	::close(writer);
	const bigtime_t before = system_time();
	running.thread.join();
	ASSERT_EQ(sink.Messages().size(), 4u);
	// The first record's stamp is the moment it arrived; the others keep
	// their distance to it.
	const std::vector<bigtime_t> stamps = sink.Stamps();
	EXPECT_GE(stamps[0], sink.InputStart());
	EXPECT_LE(stamps[0], before);
	EXPECT_EQ(stamps[1] - stamps[0], 500);
	EXPECT_EQ(stamps[2] - stamps[0], 1000);
	EXPECT_EQ(stamps[3] - stamps[0], 1500);
	ASSERT_EQ(sink.LogLines().size(), 1u);
	EXPECT_NE(sink.LogLines()[0].find("record 9: key 30 has value 7"), std::string::npos)
	        << sink.LogLines()[0];
}

} // namespace
