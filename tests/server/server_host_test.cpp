// The server as host: devices register through the platform API, their
// messages reach the stream, Control calls reach them by name.
#include "FilterChain.h"
#include "InputStream.h"
#include "ServerHost.h"

#include <Input.h>
#include <InputServerDevice.h>
#include <Message.h>
#include <private/InputServerHost.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
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

TEST_F(ServerHostTest, EnqueuedMessagesReachTheStreamOnlyWhileItRuns)
{
	NamedDevice device({"Pad"});
	ASSERT_EQ(device.InitCheck(), B_OK);

	// No stream yet: refused, and the message is freed (ASan would see a leak).
	EXPECT_EQ(device.EnqueueMessage(new BMessage('lost')), B_NO_INIT);

	FilterChain chain;
	InputStream stream(chain, nullptr);
	stream.Start();
	fHost.SetStream(&stream);
	EXPECT_EQ(device.EnqueueMessage(new BMessage('kept')), B_OK);
	std::unique_ptr<BInputDevice> pad(find_input_device("Pad"));
	ASSERT_TRUE(pad);
	BMessage request('reqs');
	EXPECT_EQ(pad->Control(0x42, &request), 0x42);
	stream.Close();
	EXPECT_EQ(stream.CountDelivered(), 2u);

	EXPECT_EQ(device.EnqueueMessage(new BMessage('late')), B_NO_INIT);
	EXPECT_EQ(device.EnqueueMessage(nullptr), B_BAD_VALUE);
	fHost.SetStream(nullptr);
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
	FilterChain chain;
	InputStream stream(chain, nullptr);
	stream.Start();
	fHost.SetStream(&stream);

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
	fHost.SetStream(nullptr);
	EXPECT_EQ(answered.load(), 800);
	EXPECT_EQ(stream.CountDelivered(), 800u);
}

} // namespace
} // namespace stria
