// The server as host: devices register through the platform API, their
// messages reach the stream, Control calls reach them by name.
#include "ApplicationSide.h"
#include "FilterChain.h"
#include "InputStream.h"
#include "ServerHost.h"
#include "SourceSink.h"

#include <Input.h>
#include <InputServerDevice.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <private/InputServerHost.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace stria {
namespace {

// Registers the names it is given; Control enqueues a copy of the message
// (or a bare message of the code) and answers with the code's low byte.
class NamedDevice : public BInputServerDevice {
public:
	explicit NamedDevice(std::vector<std::string> names) : fNames(std::move(names)) {}

	status_t InitCheck() override
	{
		std::vector<input_device_ref> refs(fNames.size());
		std::vector<input_device_ref*> list;
		for (size_t index = 0; index < fNames.size(); index++) {
			refs[index] = {fNames[index].data(), B_KEYBOARD_DEVICE, &fCookies[index % 2]};
			list.push_back(&refs[index]);
		}
		list.push_back(nullptr);
		return RegisterDevices(list.data());
	}

	status_t Control(const char* name, void* cookie, uint32 code, BMessage* message) override
	{
		{
			std::lock_guard lock(fLock);
			fLastName = name;
			fLastCookie = cookie;
		}
		BMessage* copy = message != NULL ? new BMessage(*message) : new BMessage(code);
		EnqueueMessage(copy);
		return (status_t)(code & 0xff);
	}

	std::mutex fLock;
	std::vector<std::string> fNames;
	int fCookies[2] = {};
	std::string fLastName;
	void* fLastCookie = nullptr;
};

class ServerHostTest : public testing::Test {
protected:
	ServerHostTest()
	    : fHost([this](const std::string& line) { fLog.push_back(line); }), fInstalled(&fHost)
	{
	}

	std::vector<std::string> fLog;
	ServerHost fHost;
	BPrivate::ScopedInputServerHost fInstalled;
};

TEST_F(ServerHostTest, RegistersAndRoutesControlByName)
{
	NamedDevice device({"Pad One", "Pad Two"});
	ASSERT_EQ(device.InitCheck(), B_OK);
	ASSERT_EQ(fHost.DevicesOf(&device).size(), 2u);

	std::unique_ptr<BInputDevice> found(find_input_device("Pad Two"));
	ASSERT_TRUE(found);
	EXPECT_STREQ(found->Name(), "Pad Two");
	EXPECT_EQ(found->Type(), B_KEYBOARD_DEVICE);
	EXPECT_EQ(found->Control(0x1207, nullptr), 0x07);
	EXPECT_EQ(device.fLastName, "Pad Two");
	EXPECT_EQ(device.fLastCookie, &device.fCookies[1]);

	EXPECT_EQ(find_input_device("Pad Three"), nullptr);
	EXPECT_EQ(find_input_device(""), nullptr);
	EXPECT_EQ(fHost.ControlDevice("Pad Three", 1, nullptr), B_NAME_NOT_FOUND);
}

TEST_F(ServerHostTest, RefusesBadAndRepeatedNames)
{
	NamedDevice first({"Pad"});
	ASSERT_EQ(first.InitCheck(), B_OK);

	const struct {
		std::vector<std::string> names;
		status_t status;
	} cases[] = {
	        {{"Pad"}, B_NAME_IN_USE},    {{"Other", "Other"}, B_NAME_IN_USE},
	        {{""}, B_BAD_VALUE},         {{std::string(256, 'x')}, B_BAD_VALUE},
	        {{"Fine", ""}, B_BAD_VALUE},
	};
	for (const auto& test : cases) {
		NamedDevice device(test.names);
		EXPECT_EQ(device.InitCheck(), test.status) << test.names[0];
		EXPECT_TRUE(fHost.DevicesOf(&device).empty()) << "a refused list registers nothing";
	}
	EXPECT_EQ(fHost.Devices().size(), 1u);
	EXPECT_EQ(first.RegisterDevices(nullptr), B_BAD_VALUE);
}

// A started stream, installed in the host for as long as it lives; the
// host lets go of it before it ends.
class InstalledStream {
public:
	InstalledStream(ServerHost& host, ApplicationSide* side) : fHost(host), fStream(fChain, side)
	{
		fStream.Start();
		fHost.SetStream(&fStream);
	}
	~InstalledStream() { fHost.SetStream(nullptr); }

	InputStream& Stream() { return fStream; }

private:
	ServerHost& fHost;
	FilterChain fChain;
	InputStream fStream;
};

TEST_F(ServerHostTest, EnqueuedMessagesReachTheStreamOnlyWhileItRuns)
{
	NamedDevice device({"Pad"});
	ASSERT_EQ(device.InitCheck(), B_OK);

	// No stream yet: refused, and the message is freed (ASan would see a leak).
	EXPECT_EQ(device.EnqueueMessage(new BMessage('lost')), B_NO_INIT);

	InstalledStream installed(fHost, nullptr);
	InputStream& stream = installed.Stream();
	EXPECT_EQ(device.EnqueueMessage(new BMessage('kept')), B_OK);
	std::unique_ptr<BInputDevice> pad(find_input_device("Pad"));
	ASSERT_TRUE(pad);
	BMessage request('reqs');
	EXPECT_EQ(pad->Control(0x42, &request), 0x42);
	stream.Close();
	EXPECT_EQ(stream.CountDelivered(), 2u);

	EXPECT_EQ(device.EnqueueMessage(new BMessage('late')), B_NO_INIT);
	EXPECT_EQ(device.EnqueueMessage(nullptr), B_BAD_VALUE);
}

TEST_F(ServerHostTest, ForgottenAndUnregisteredDevicesAreGone)
{
	NamedDevice device({"Pad", "Knob"});
	ASSERT_EQ(device.InitCheck(), B_OK);

	char knob[] = "Knob";
	input_device_ref ref = {knob, B_UNDEFINED_DEVICE, nullptr};
	input_device_ref* list[] = {&ref, nullptr};
	EXPECT_EQ(device.UnregisterDevices(list), B_OK);
	EXPECT_EQ(fHost.FindDevice("Knob", nullptr), B_NAME_NOT_FOUND);
	EXPECT_EQ(fHost.FindDevice("Pad", nullptr), B_OK);

	// Another owner cannot withdraw a device it did not register.
	NamedDevice stranger({"Stranger"});
	char pad[] = "Pad";
	input_device_ref padRef = {pad, B_UNDEFINED_DEVICE, nullptr};
	input_device_ref* padList[] = {&padRef, nullptr};
	EXPECT_EQ(stranger.UnregisterDevices(padList), B_OK);
	EXPECT_EQ(fHost.FindDevice("Pad", nullptr), B_OK);

	fHost.Forget(&device);
	EXPECT_EQ(fHost.FindDevice("Pad", nullptr), B_NAME_NOT_FOUND);
}

TEST_F(ServerHostTest, ControlCallsFromManyThreadsAllArrive)
{
	NamedDevice device({"Pad"});
	ASSERT_EQ(device.InitCheck(), B_OK);
	InstalledStream installed(fHost, nullptr);
	InputStream& stream = installed.Stream();

	std::vector<std::thread> callers;
	std::atomic<int> answered{0};
	for (int thread = 0; thread < 4; thread++) {
		callers.emplace_back([&] {
			for (int n = 0; n < 200; n++) {
				std::unique_ptr<BInputDevice> pad(find_input_device("Pad"));
				if (pad && pad->Control(0x01, nullptr) == 0x01)
					answered++;
			}
		});
	}
	for (std::thread& caller : callers)
		caller.join();
	stream.Close();
	EXPECT_EQ(answered.load(), 800);
	EXPECT_EQ(stream.CountDelivered(), 800u);
}

// Notes the source fields of each message that leaves the stream, as
// "<what in hex> <source> <kind> <number of other fields> [<when>]".
class SourceNotingSide : public ApplicationSide {
public:
	void Deliver(const BMessage& message) override
	{
		char what[9];
		snprintf(what, sizeof(what), "%08x", (unsigned)message.what);
		std::lock_guard lock(fLock);
		int64 when;
		bool stamped = message.FindInt64("when", &when) == B_OK;
		std::string line = std::string(what) + " " +
		                   std::to_string(message.GetInt32(STRIA_SOURCE_FIELD, -1)) + " " +
		                   std::to_string(message.GetInt32(STRIA_SOURCE_KIND_FIELD, -1)) + " " +
		                   std::to_string(message.CountNames(B_ANY_TYPE) - (stamped ? 1 : 0));
		if (stamped)
			line += " " + std::to_string(when);
		fNoted.push_back(line);
	}

	std::vector<std::string> Noted()
	{
		std::lock_guard lock(fLock);
		return fNoted;
	}

private:
	std::mutex fLock;
	std::vector<std::string> fNoted;
};

// Enqueues for a source's sink, as the server does.
class StreamSink : public InputSink {
public:
	explicit StreamSink(ServerHost& host) : fHost(host) {}
	void Enqueue(std::unique_ptr<BMessage> message) override
	{
		fHost.EnqueueMessage(nullptr, message.release());
	}
	status_t Control(const char*, uint32, BMessage*) override { return B_OK; }
	void Log(const std::string&) override {}
	bigtime_t InputStart() const override { return 1234; }

private:
	ServerHost& fHost;
};

// Every message is marked with where it comes from as it enters the
// stream: each keyboard of the server and each device add-on a source of
// its own, the add-ons' of a kind that never takes part in a capture, and
// nothing a producer wrote into the fields itself survives.
TEST_F(ServerHostTest, EveryMessageIsMarkedWithItsSource)
{
	NamedDevice pad({"Pad"});
	NamedDevice knob({"Knob"});
	ASSERT_EQ(pad.InitCheck(), B_OK);
	ASSERT_EQ(knob.InitCheck(), B_OK);
	SourceNotingSide side;
	InstalledStream installed(fHost, &side);
	InputStream& stream = installed.Stream();

	StreamSink server(fHost);
	SourceSink keyboard(server, fHost.NewSource(STRIA_SOURCE_KEYBOARD));
	SourceSink script(server, fHost.NewSource(STRIA_SOURCE_RECORDED));
	auto forged = [](uint32 what) {
		auto message = std::make_unique<BMessage>(what);
		message->AddInt32(STRIA_SOURCE_FIELD, 99);
		message->AddString(STRIA_SOURCE_KIND_FIELD, "keyboard");
		return message;
	};
	pad.EnqueueMessage(forged('padA').release());
	keyboard.Enqueue(forged('kbdA'));
	knob.EnqueueMessage(new BMessage('knbA'));
	script.Enqueue(std::make_unique<BMessage>('scrA'));
	pad.EnqueueMessage(new BMessage('padB'));
	script.Quiet(777);
	keyboard.Ended();
	EXPECT_EQ(keyboard.InputStart(), 1234);
	stream.Close();

	std::vector<std::string> noted = side.Noted();
	ASSERT_EQ(noted.size(), 7u);
	auto source = [](const std::string& line) { return std::stoi(line.substr(9)); };
	const int pads = source(noted[0]);
	const int keyboards = source(noted[1]);
	const int knobs = source(noted[2]);
	const int scripts = source(noted[3]);
	EXPECT_EQ(std::set<int>({pads, keyboards, knobs, scripts}).size(), 4u) << "four sources";
	EXPECT_EQ(keyboard.Identity().id, keyboards);
	const std::string addOn = " " + std::to_string(STRIA_SOURCE_ADD_ON) + " 2";
	const std::string keys = " " + std::to_string(STRIA_SOURCE_KEYBOARD) + " 2";
	const std::string recorded = " " + std::to_string(STRIA_SOURCE_RECORDED) + " 2";
	EXPECT_EQ(noted, (std::vector<std::string>{
	                         "70616441 " + std::to_string(pads) + addOn,
	                         "6b626441 " + std::to_string(keyboards) + keys,
	                         "6b6e6241 " + std::to_string(knobs) + addOn,
	                         "73637241 " + std::to_string(scripts) + recorded,
	                         "70616442 " + std::to_string(pads) + addOn,
	                         "000cbee5 " + std::to_string(scripts) + recorded + " 777",
	                         "000cbeef " + std::to_string(keyboards) + keys,
	                 }));
}

// Several messages a device hands over at once reach the stream in order,
// marked as the device's like one at a time, and all or none of them.
TEST_F(ServerHostTest, MessagesEnqueuedTogetherArriveInOrderAllOrNone)
{
	NamedDevice pad({"Pad"});
	ASSERT_EQ(pad.InitCheck(), B_OK);
	SourceNotingSide side;
	InstalledStream installed(fHost, &side);
	InputStream& stream = installed.Stream();

	const struct {
		const char* name;
		std::vector<uint32> whats; // 0: a NULL in the list
		status_t status;
	} cases[] = {
	        {"three", {'pad1', 'pad2', 'pad3'}, B_OK},
	        {"none", {}, B_OK},
	        {"a NULL among them", {'pad4', 0, 'pad5'}, B_BAD_VALUE},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		std::vector<BMessage*> list;
		for (uint32 what : c.whats)
			list.push_back(what != 0 ? new BMessage(what) : nullptr);
		EXPECT_EQ(BPrivate::enqueue_messages(&pad, list.data(), (int32)list.size()), c.status);
	}
	pad.EnqueueMessage(new BMessage('pad6'));
	stream.Close();
	BMessage* late[] = {new BMessage('late')};
	EXPECT_EQ(BPrivate::enqueue_messages(&pad, late, 1), B_NO_INIT);

	std::vector<std::string> noted = side.Noted();
	ASSERT_EQ(noted.size(), 4u);
	const std::string marks = noted[3].substr(8);
	EXPECT_EQ(noted, (std::vector<std::string>{"70616431" + marks, "70616432" + marks,
	                                           "70616433" + marks, "70616436" + marks}));
}

} // namespace
} // namespace stria
