// StriaDevice against a host that records what the device registers and
// enqueues.
#include <StriaDevice.h>

#include <AppDefs.h>
#include <Input.h>
#include <Message.h>
#include <private/TestInputServerHost.h>

#include <Looper.h>
#include <Messenger.h>
#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <memory>
#include <string>

namespace {

class DeviceTest : public ::testing::Test {
protected:
	void SetUp() override { ASSERT_EQ(fDevice.InitCheck(), B_OK); }

	BPrivate::TestInputServerHost fHost;
	StriaDevice fDevice;
};

TEST_F(DeviceTest, RegistersOneUndefinedDeviceUnderItsName)
{
	std::vector<BPrivate::TestInputServerHost::Device> devices = fHost.Devices();
	ASSERT_EQ(devices.size(), 1u);
	EXPECT_EQ(devices[0].name, "CueCat [Keyboard]");
	EXPECT_EQ(devices[0].name, STRIA_DEVICE_NAME);
	EXPECT_EQ(devices[0].type, B_UNDEFINED_DEVICE);
	EXPECT_EQ(devices[0].cookie, nullptr);
	EXPECT_EQ(devices[0].owner, &fDevice);
}

TEST(DeviceWithoutHost, InitCheckPassesTheRegistrationFailureOn)
{
	StriaDevice device;
	EXPECT_NE(device.InitCheck(), B_OK);
}

// What a caller hands to Control.
enum class Handed { Nothing, EmptyMessage, MessageWithFields };

struct ControlCase {
	const char* name;
	uint32 code;
	Handed handed;
	bool enqueues;
	// The enqueued message: its what, and whether it carries the caller's
	// fields (otherwise it has none).
	uint32 enqueuedWhat;
	bool carriesFields;
	// The caller's message afterwards.
	uint32 callerWhatAfter;
};

const uint32 kCallerWhat = 'abcd';

std::unique_ptr<BMessage> Make(Handed handed)
{
	if (handed == Handed::Nothing)
		return nullptr;
	auto message = std::make_unique<BMessage>(kCallerWhat);
	if (handed == Handed::MessageWithFields) {
		message->AddInt32("id", 7);
		message->AddString("name", "listener");
		message->AddInt64("when", 123456789);
	}
	return message;
}

class DeviceControlTest : public DeviceTest, public ::testing::WithParamInterface<ControlCase> {};

TEST_P(DeviceControlTest, EnqueuesWhatTheCodeAsksFor)
{
	const ControlCase& c = GetParam();
	std::unique_ptr<BMessage> message = Make(c.handed);
	std::unique_ptr<BMessage> original = Make(c.handed);

	EXPECT_EQ(fDevice.Control(STRIA_DEVICE_NAME, NULL, c.code, message.get()), B_OK);

	std::vector<std::unique_ptr<BMessage>> enqueued = fHost.TakeMessages();
	ASSERT_EQ(enqueued.size(), c.enqueues ? 1u : 0u);
	if (c.enqueues) {
		EXPECT_EQ(enqueued[0]->what, c.enqueuedWhat);
		if (c.carriesFields) {
			original->what = c.enqueuedWhat;
			EXPECT_TRUE(enqueued[0]->HasSameData(*original));
		} else
			EXPECT_TRUE(enqueued[0]->IsEmpty());
		EXPECT_NE(enqueued[0].get(), message.get());
	}
	if (message) {
		EXPECT_EQ(message->what, c.callerWhatAfter);
		original->what = message->what;
		EXPECT_TRUE(message->HasSameData(*original)) << "the caller's fields changed";
	}
}

INSTANTIATE_TEST_SUITE_P(
        Device, DeviceControlTest,
        ::testing::Values(ControlCase{"SubscribeCopiesTheStampedMessage", STRIA_SUBSCRIBE,
                                      Handed::MessageWithFields, true, STRIA_SUBSCRIBE, true,
                                      STRIA_SUBSCRIBE},
                          ControlCase{"SubscribeWithAnEmptyMessage", STRIA_SUBSCRIBE,
                                      Handed::EmptyMessage, true, STRIA_SUBSCRIBE, false,
                                      STRIA_SUBSCRIBE},
                          ControlCase{"SubscribeWithoutAMessageEnqueuesNothing", STRIA_SUBSCRIBE,
                                      Handed::Nothing, false, 0, false, 0},
                          ControlCase{"TickWithoutAMessage", STRIA_ALTF10_WHAT, Handed::Nothing,
                                      true, STRIA_ALTF10_WHAT, false, 0},
                          ControlCase{"TickIgnoresTheCallersMessage", STRIA_ALTF10_WHAT,
                                      Handed::MessageWithFields, true, STRIA_ALTF10_WHAT, false,
                                      kCallerWhat},
                          ControlCase{"CodeZeroDoesNothing", 0, Handed::MessageWithFields, false, 0,
                                      false, kCallerWhat},
                          ControlCase{"CatScanCodeDoesNothing", STRIA_CATSCAN,
                                      Handed::MessageWithFields, false, 0, false, kCallerWhat},
                          ControlCase{"ShutdownCodeDoesNothing", STRIA_SHUTDOWN, Handed::Nothing,
                                      false, 0, false, 0},
                          ControlCase{"KeyDownCodeDoesNothing", B_KEY_DOWN, Handed::EmptyMessage,
                                      false, 0, false, kCallerWhat}),
        [](const ::testing::TestParamInfo<ControlCase>& info) { return info.param.name; });

// A replay request never carries a capture's name: an application cannot
// pass its request off as the filter's own tick.
TEST_F(DeviceTest, ReplayRequestCarriesNothingOfTheCallers)
{
	BMessage request(kCallerWhat);
	request.AddInt64(STRIA_CAPTURE_FIELD, 0x1234567890LL);
	request.AddInt32("id", 7);
	ASSERT_EQ(fDevice.Control(STRIA_DEVICE_NAME, NULL, STRIA_ALTF10_WHAT, &request), B_OK);
	std::vector<std::unique_ptr<BMessage>> enqueued = fHost.TakeMessages();
	ASSERT_EQ(enqueued.size(), 1u);
	BMessage expected(STRIA_ALTF10_WHAT);
	EXPECT_EQ(enqueued[0]->what, (uint32)STRIA_ALTF10_WHAT);
	EXPECT_TRUE(enqueued[0]->HasSameData(expected));
}

TEST_F(DeviceTest, TwoSubscriptionsEnqueueTwoCopies)
{
	BMessage message(kCallerWhat);
	message.AddInt32("id", 1);
	ASSERT_EQ(fDevice.Control(STRIA_DEVICE_NAME, NULL, STRIA_SUBSCRIBE, &message), B_OK);
	ASSERT_EQ(fDevice.Control(STRIA_DEVICE_NAME, NULL, STRIA_SUBSCRIBE, &message), B_OK);
	std::vector<std::unique_ptr<BMessage>> enqueued = fHost.TakeMessages();
	ASSERT_EQ(enqueued.size(), 2u);
	EXPECT_NE(enqueued[0].get(), enqueued[1].get());
	EXPECT_TRUE(enqueued[0]->HasSameData(message));
	EXPECT_TRUE(enqueued[1]->HasSameData(message));
}

TEST_F(DeviceTest, StartAndStopDoNothingForAnyName)
{
	for (const char* name : {STRIA_DEVICE_NAME, "", "some other device"}) {
		EXPECT_EQ(fDevice.Start(name, NULL), B_OK);
		EXPECT_EQ(fDevice.Stop(name, NULL), B_OK);
	}
	EXPECT_TRUE(fHost.TakeMessages().empty());
}

TEST_F(DeviceTest, ApplicationsReachItByName)
{
	std::unique_ptr<BInputDevice> device(find_input_device("CueCat [Keyboard]"));
	ASSERT_NE(device, nullptr);
	EXPECT_EQ(device->Type(), B_UNDEFINED_DEVICE);
	BMessage message;
	EXPECT_EQ(device->Control(STRIA_SUBSCRIBE, &message), B_OK);
	EXPECT_EQ(device->Control(STRIA_ALTF10_WHAT, NULL), B_OK);
	std::vector<std::unique_ptr<BMessage>> enqueued = fHost.TakeMessages();
	ASSERT_EQ(enqueued.size(), 2u);
	EXPECT_EQ(enqueued[0]->what, (uint32)STRIA_SUBSCRIBE);
	EXPECT_EQ(enqueued[1]->what, (uint32)STRIA_ALTF10_WHAT);

	// The name must match character for character.
	EXPECT_EQ(std::unique_ptr<BInputDevice>(find_input_device("CueCat [keyboard]")), nullptr);
}

// How applications subscribe: the device gets STRIA_SUBSCRIBE naming the
// subscriber and nothing else, whether it is handed in or found by name.
TEST_F(DeviceTest, SubscribeToScansHandsTheDeviceTheSubscriber)
{
	BLooper* looper = new BLooper("subscriber");
	looper->Run();
	const BMessenger subscriber(looper);
	std::unique_ptr<BInputDevice> device(find_input_device(STRIA_DEVICE_NAME));
	ASSERT_NE(device, nullptr);
	for (BInputDevice* handed : {(BInputDevice*)NULL, device.get()}) {
		ASSERT_EQ(subscribe_to_scans(subscriber, handed), B_OK);
		std::vector<std::unique_ptr<BMessage>> enqueued = fHost.TakeMessages();
		ASSERT_EQ(enqueued.size(), 1u);
		EXPECT_EQ(enqueued[0]->what, (uint32)STRIA_SUBSCRIBE);
		EXPECT_EQ(enqueued[0]->CountNames(B_ANY_TYPE), 1);
		BMessenger named;
		ASSERT_EQ(enqueued[0]->FindMessenger(STRIA_MESSENGER_FIELD, &named), B_OK);
		EXPECT_TRUE(named == subscriber);
	}
	looper->Lock();
	looper->Quit();
}

TEST(DeviceWithoutHost, SubscribeToScansWithoutTheDeviceIsNotFound)
{
	BPrivate::TestInputServerHost host;
	EXPECT_EQ(subscribe_to_scans(BMessenger()), B_NAME_NOT_FOUND);
	EXPECT_TRUE(host.TakeMessages().empty());
}

// The built add-ons: each exports its own factory and not the other's.
struct AddOnCase {
	const char* file;
	const char* exported;
	const char* absent;
};

class AddOnExportTest : public ::testing::TestWithParam<AddOnCase> {};

TEST_P(AddOnExportTest, ExportsItsFactoryOnly)
{
	BPrivate::TestInputServerHost host;
	std::string path = std::string(STRIA_BINARY_DIR) + "/add-ons/" + GetParam().file;
	void* image = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE(image, nullptr) << dlerror();
	EXPECT_NE(dlsym(image, GetParam().exported), nullptr);
	EXPECT_EQ(dlsym(image, GetParam().absent), nullptr);
	EXPECT_EQ(dlsym(image, "_ZN11CueCatFilter6FilterEP8BMessageP5BList"), nullptr)
	        << "internal symbols should stay hidden";
	dlclose(image);
}

INSTANTIATE_TEST_SUITE_P(AddOns, AddOnExportTest,
                         ::testing::Values(AddOnCase{"StriaDevice", "instantiate_input_device",
                                                     "instantiate_input_filter"},
                                           AddOnCase{"StriaFilter", "instantiate_input_filter",
                                                     "instantiate_input_device"}),
                         [](const ::testing::TestParamInfo<AddOnCase>& info) {
	                         return info.param.file;
                         });

TEST(DeviceAddOn, FactoryMakesADeviceThatRegisters)
{
	BPrivate::TestInputServerHost host;
	std::string path = std::string(STRIA_BINARY_DIR) + "/add-ons/StriaDevice";
	void* image = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
	ASSERT_NE(image, nullptr) << dlerror();
	auto instantiate = (BInputServerDevice * (*)()) dlsym(image, "instantiate_input_device");
	ASSERT_NE(instantiate, nullptr);
	BInputServerDevice* device = instantiate();
	ASSERT_NE(device, nullptr);
	EXPECT_EQ(device->InitCheck(), B_OK);
	EXPECT_EQ(host.Devices().size(), 1u);
	EXPECT_EQ(device->Control(STRIA_DEVICE_NAME, NULL, STRIA_ALTF10_WHAT, NULL), B_OK);
	EXPECT_EQ(host.TakeMessages().size(), 1u);
	delete device;
	dlclose(image);
}

} // namespace
