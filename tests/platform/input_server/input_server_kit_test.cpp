// The input server kit without a server: what devices get without a host,
// the test host that other tests use, and the control socket's envelopes.
#include <Input.h>
#include <InputServerDevice.h>
#include <InputServerFilter.h>
#include <Message.h>
#include <Messenger.h>
#include <private/InputServerControl.h>
#include <private/InputServerHost.h>
#include <private/TestInputServerHost.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

class EchoDevice : public BInputServerDevice {
public:
	status_t InitCheck() override
	{
		static char name[] = "Echo";
		input_device_ref ref = {name, B_POINTING_DEVICE, &fCookie};
		input_device_ref* list[] = {&ref, NULL};
		return RegisterDevices(list);
	}

	status_t Control(const char* name, void* cookie, uint32 code, BMessage* message) override
	{
		EXPECT_STREQ(name, "Echo");
		EXPECT_EQ(cookie, &fCookie);
		BMessage* copy = message != NULL ? new BMessage(*message) : new BMessage();
		copy->what = code;
		EnqueueMessage(copy);
		return kEchoResult;
	}

	static constexpr status_t kEchoResult = 77;
	int fCookie = 0;
};

TEST(InputServerKitTest, WithoutHostDeviceCallsFailAndMessagesAreFreed)
{
	ASSERT_EQ(BPrivate::input_server_host(), nullptr);
	EchoDevice device;
	EXPECT_EQ(device.InitCheck(), B_NO_INIT);
	EXPECT_EQ(device.EnqueueMessage(new BMessage('lost')), B_NO_INIT); // no leak under ASan
	BMessage* several[] = {new BMessage('los1'), new BMessage('los2')};
	EXPECT_EQ(BPrivate::enqueue_messages(&device, several, 2), B_NO_INIT);
	input_device_ref* none[] = {NULL};
	EXPECT_EQ(device.UnregisterDevices(none), B_NO_INIT);
}

TEST(InputServerKitTest, BaseClassesDoNothingHarmful)
{
	BInputServerFilter filter;
	BMessage message('keyd');
	EXPECT_EQ(filter.InitCheck(), B_OK);
	EXPECT_EQ(filter.Filter(&message, NULL), B_DISPATCH_MESSAGE);
	BInputServerDevice device;
	EXPECT_EQ(device.InitCheck(), B_OK);
	EXPECT_EQ(device.Start("x", NULL), B_OK);
	EXPECT_EQ(device.Stop("x", NULL), B_OK);
	EXPECT_EQ(device.SystemShuttingDown(), B_OK);
}

TEST(InputServerKitTest, TestHostRoutesControlAndCollectsMessages)
{
	BPrivate::TestInputServerHost host;
	EchoDevice device;
	ASSERT_EQ(device.InitCheck(), B_OK);
	ASSERT_EQ(host.Devices().size(), 1u);

	BInputDevice* found = find_input_device("Echo");
	ASSERT_NE(found, nullptr);
	EXPECT_STREQ(found->Name(), "Echo");
	EXPECT_EQ(found->Type(), B_POINTING_DEVICE);
	BMessage request;
	request.AddInt32("n", 5);
	EXPECT_EQ(found->Control('ctl1', &request), EchoDevice::kEchoResult);
	EXPECT_EQ(found->Control('ctl2', NULL), EchoDevice::kEchoResult);
	delete found;

	EXPECT_EQ(find_input_device("echo"), nullptr) << "names match exactly";
	EXPECT_EQ(find_input_device(NULL), nullptr);

	std::vector<std::unique_ptr<BMessage>> messages = host.TakeMessages();
	ASSERT_EQ(messages.size(), 2u);
	EXPECT_EQ(messages[0]->what, (uint32)'ctl1');
	EXPECT_EQ(messages[0]->GetInt32("n", 0), 5);
	EXPECT_EQ(messages[1]->what, (uint32)'ctl2');
	EXPECT_TRUE(host.TakeMessages().empty()) << "taken messages are gone";
}

TEST(InputServerKitTest, MessagesEnqueuedTogetherComeInOrderOrNotAtAll)
{
	// A host without a way of its own takes them one after the other; a
	// NULL among them is refused before any is queued (and the rest are
	// freed: ASan would see a leak).
	BPrivate::TestInputServerHost host;
	EchoDevice device;
	ASSERT_EQ(device.InitCheck(), B_OK);

	BMessage* three[] = {new BMessage('one '), new BMessage('two '), new BMessage('thre')};
	EXPECT_EQ(BPrivate::enqueue_messages(&device, three, 3), B_OK);
	BMessage* broken[] = {new BMessage('lost'), NULL, new BMessage('lost')};
	EXPECT_EQ(BPrivate::enqueue_messages(&device, broken, 3), B_BAD_VALUE);
	EXPECT_EQ(BPrivate::enqueue_messages(&device, NULL, 2), B_BAD_VALUE);
	EXPECT_EQ(BPrivate::enqueue_messages(&device, NULL, -1), B_BAD_VALUE);
	EXPECT_EQ(BPrivate::enqueue_messages(&device, NULL, 0), B_OK);

	std::vector<std::unique_ptr<BMessage>> messages = host.TakeMessages();
	ASSERT_EQ(messages.size(), 3u);
	EXPECT_EQ(messages[0]->what, (uint32)'one ');
	EXPECT_EQ(messages[1]->what, (uint32)'two ');
	EXPECT_EQ(messages[2]->what, (uint32)'thre');
}

TEST(InputServerKitTest, WithoutHostOrServerNoDeviceIsFound)
{
	BPrivate::set_input_server_control_path("/nonexistent/stria/input_server");
	EXPECT_EQ(find_input_device("CueCat [Keyboard]"), nullptr);
	EXPECT_EQ(BPrivate::send_control_request("/nonexistent/stria/input_server", "CueCat", 1, NULL,
	                                         1000000),
	          B_NAME_NOT_FOUND);
	char path[64];
	EXPECT_EQ(BPrivate::get_input_server_control_path(path, sizeof(path)), B_OK);
	EXPECT_STREQ(path, "/nonexistent/stria/input_server");
	EXPECT_EQ(BPrivate::get_input_server_control_path(path, 8), B_BAD_VALUE);
	BPrivate::set_input_server_control_path(NULL);
	EXPECT_EQ(BPrivate::get_input_server_control_path(path, sizeof(path)), B_OK);
	EXPECT_TRUE(std::string(path).ends_with("/input_server")) << path;
}

TEST(InputServerControlTest, RequestsSurviveTheRoundTrip)
{
	BMessage inner('subs');
	inner.AddString("who", "me");
	const struct {
		const char* device;
		uint32 code;
		const BMessage* message;
	} cases[] = {
	        {"CueCat [Keyboard]", 0x000CBADD, &inner},
	        {"CueCat [Keyboard]", 0xCAFEBABE, NULL},
	        {"x", 0, NULL},
	        {"a device name of some length", 0xffffffff, &inner},
	};
	for (const auto& test : cases) {
		BMessage envelope;
		ASSERT_EQ(BPrivate::make_control_request(test.device, test.code, test.message, &envelope),
		          B_OK);
		ssize_t size = envelope.FlattenedSize();
		std::vector<char> bytes(size);
		ASSERT_EQ(envelope.Flatten(bytes.data(), size), B_OK);

		BPrivate::InputServerControlRequest request;
		ASSERT_EQ(BPrivate::decode_control_request(bytes.data(), bytes.size(), &request), B_OK);
		EXPECT_EQ(request.device, test.device);
		EXPECT_EQ(request.code, test.code);
		EXPECT_EQ(request.hasMessage, test.message != NULL);
		if (test.message != NULL) {
			EXPECT_EQ(request.message.what, test.message->what);
			const char* who = NULL;
			EXPECT_EQ(request.message.FindString("who", &who), B_OK);
			EXPECT_STREQ(who, "me");
		}
	}

	BMessage envelope;
	EXPECT_EQ(BPrivate::make_control_request("", 1, NULL, &envelope), B_BAD_VALUE);
	EXPECT_EQ(BPrivate::make_control_request(std::string(256, 'n').c_str(), 1, NULL, &envelope),
	          B_BAD_VALUE);
	EXPECT_EQ(BPrivate::make_control_request(NULL, 1, NULL, &envelope), B_BAD_VALUE);
}

struct EnvelopeCase {
	const char* name;
	std::function<void(BMessage&)> build;
};

void PrintTo(const EnvelopeCase& test, std::ostream* out)
{
	*out << test.name;
}

class MalformedRequest : public testing::TestWithParam<EnvelopeCase> {};

TEST_P(MalformedRequest, IsRefused)
{
	BMessage envelope(BPrivate::B_INPUT_SERVER_CONTROL_REQUEST);
	GetParam().build(envelope);
	BPrivate::InputServerControlRequest request;
	request.device = "untouched";
	EXPECT_EQ(BPrivate::read_control_request(envelope, &request), B_BAD_DATA);
	EXPECT_EQ(request.device, "untouched");
}

INSTANTIATE_TEST_SUITE_P(
        Envelopes, MalformedRequest,
        testing::Values(EnvelopeCase{"wrong_code",
                                     [](BMessage& m) {
	                                     m.what = BPrivate::B_INPUT_SERVER_CONTROL_REPLY;
	                                     m.AddString("device", "d");
	                                     m.AddInt32("code", 1);
                                     }},
                        EnvelopeCase{"no_fields", [](BMessage&) {}},
                        EnvelopeCase{"no_device", [](BMessage& m) { m.AddInt32("code", 1); }},
                        EnvelopeCase{"no_code", [](BMessage& m) { m.AddString("device", "d"); }},
                        EnvelopeCase{"empty_device",
                                     [](BMessage& m) {
	                                     m.AddString("device", "");
	                                     m.AddInt32("code", 1);
                                     }},
                        EnvelopeCase{"device_too_long",
                                     [](BMessage& m) {
	                                     m.AddString("device", std::string(256, 'd').c_str());
	                                     m.AddInt32("code", 1);
                                     }},
                        EnvelopeCase{"code_of_wrong_type",
                                     [](BMessage& m) {
	                                     m.AddString("device", "d");
	                                     m.AddInt64("code", 1);
                                     }},
                        EnvelopeCase{"device_of_wrong_type",
                                     [](BMessage& m) {
	                                     m.AddInt32("device", 4);
	                                     m.AddInt32("code", 1);
                                     }},
                        EnvelopeCase{"message_of_wrong_type",
                                     [](BMessage& m) {
	                                     m.AddString("device", "d");
	                                     m.AddInt32("code", 1);
	                                     m.AddString("message", "not a message");
                                     }},
                        EnvelopeCase{"two_devices",
                                     [](BMessage& m) {
	                                     m.AddString("device", "d");
	                                     m.AddString("device", "e");
	                                     m.AddInt32("code", 1);
                                     }},
                        EnvelopeCase{"two_messages",
                                     [](BMessage& m) {
	                                     BMessage inner;
	                                     m.AddString("device", "d");
	                                     m.AddInt32("code", 1);
	                                     m.AddMessage("message", &inner);
	                                     m.AddMessage("message", &inner);
                                     }},
                        EnvelopeCase{"extra_field",
                                     [](BMessage& m) {
	                                     m.AddString("device", "d");
	                                     m.AddInt32("code", 1);
	                                     m.AddBool("sneaky", true);
                                     }}),
        [](const testing::TestParamInfo<EnvelopeCase>& info) {
	        return std::string(info.param.name);
        });

TEST(InputServerControlTest, RepliesAreCheckedToo)
{
	BMessage reply;
	ASSERT_EQ(BPrivate::make_control_reply(B_NAME_NOT_FOUND, &reply), B_OK);
	status_t result = B_OK;
	EXPECT_EQ(BPrivate::read_control_reply(reply, &result), B_OK);
	EXPECT_EQ(result, B_NAME_NOT_FOUND);

	BMessage wrongCode(BPrivate::B_INPUT_SERVER_CONTROL_REQUEST);
	wrongCode.AddInt32("status", 0);
	EXPECT_EQ(BPrivate::read_control_reply(wrongCode, &result), B_BAD_REPLY);
	BMessage noStatus(BPrivate::B_INPUT_SERVER_CONTROL_REPLY);
	EXPECT_EQ(BPrivate::read_control_reply(noStatus, &result), B_BAD_REPLY);
}

TEST(InputServerControlTest, BytesThatAreNoMessageAreRefused)
{
	const std::string inputs[] = {"", "garbage", std::string(64, '\0'), std::string(3, '\xff')};
	for (const std::string& input : inputs) {
		BPrivate::InputServerControlRequest request;
		EXPECT_EQ(BPrivate::decode_control_request(input.data(), input.size(), &request),
		          B_BAD_DATA);
	}
}

} // namespace
