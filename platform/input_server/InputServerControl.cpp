// The control socket's request and reply envelopes.
#include <private/InputServerControl.h>

#include <string.h>

namespace BPrivate {

status_t make_control_request(const char* device, uint32 code, const BMessage* message,
                              BMessage* envelope)
{
	if (device == NULL || envelope == NULL)
		return B_BAD_VALUE;
	size_t length = strlen(device);
	if (length == 0 || length > kMaxInputDeviceNameLength)
		return B_BAD_VALUE;

	envelope->MakeEmpty();
	envelope->what = B_INPUT_SERVER_CONTROL_REQUEST;
	status_t status = envelope->AddString("device", device);
	if (status == B_OK)
		status = envelope->AddInt32("code", (int32)code);
	if (status == B_OK && message != NULL)
		status = envelope->AddMessage("message", message);
	return status;
}

status_t read_control_request(const BMessage& envelope, InputServerControlRequest* request)
{
	if (request == NULL)
		return B_BAD_VALUE;
	if (envelope.what != B_INPUT_SERVER_CONTROL_REQUEST)
		return B_BAD_DATA;

	// Exactly the known fields, each once and of its type.
	bool sawDevice = false;
	bool sawCode = false;
	bool sawMessage = false;
	int32 fields = envelope.CountNames(B_ANY_TYPE);
	for (int32 index = 0; index < fields; index++) {
		char* name = NULL;
		type_code type = 0;
		int32 count = 0;
		if (envelope.GetInfo(B_ANY_TYPE, index, &name, &type, &count) != B_OK || name == NULL ||
		    count != 1)
			return B_BAD_DATA;
		if (strcmp(name, "device") == 0 && type == B_STRING_TYPE && !sawDevice)
			sawDevice = true;
		else if (strcmp(name, "code") == 0 && type == B_INT32_TYPE && !sawCode)
			sawCode = true;
		else if (strcmp(name, "message") == 0 && type == B_MESSAGE_TYPE && !sawMessage)
			sawMessage = true;
		else
			return B_BAD_DATA;
	}
	if (!sawDevice || !sawCode)
		return B_BAD_DATA;

	const char* device = NULL;
	int32 code = 0;
	if (envelope.FindString("device", &device) != B_OK || device == NULL ||
	    envelope.FindInt32("code", &code) != B_OK)
		return B_BAD_DATA;
	size_t length = strlen(device);
	if (length == 0 || length > kMaxInputDeviceNameLength)
		return B_BAD_DATA;

	InputServerControlRequest result;
	result.device.assign(device, length);
	result.code = (uint32)code;
	result.hasMessage = sawMessage;
	if (sawMessage && envelope.FindMessage("message", &result.message) != B_OK)
		return B_BAD_DATA;
	*request = std::move(result);
	return B_OK;
}

status_t decode_control_request(const void* data, size_t size, InputServerControlRequest* request)
{
	if (data == NULL && size > 0)
		return B_BAD_VALUE;
	BMessage envelope;
	if (envelope.Unflatten((const char*)data, (ssize_t)size) != B_OK)
		return B_BAD_DATA;
	return read_control_request(envelope, request);
}

status_t make_control_reply(status_t result, BMessage* envelope)
{
	if (envelope == NULL)
		return B_BAD_VALUE;
	envelope->MakeEmpty();
	envelope->what = B_INPUT_SERVER_CONTROL_REPLY;
	return envelope->AddInt32("status", result);
}

status_t read_control_reply(const BMessage& envelope, status_t* result)
{
	int32 status;
	if (envelope.what != B_INPUT_SERVER_CONTROL_REPLY ||
	    envelope.FindInt32("status", &status) != B_OK)
		return B_BAD_REPLY;
	if (result != NULL)
		*result = status;
	return B_OK;
}

} // namespace BPrivate
