// Private: the input server's control socket, as clients and the server
// see it.
//
// A process without an input-server host reaches a device through the
// server's control socket, a Unix-domain socket of the platform's runtime
// directory. Each connection carries one request and one reply, both framed
// flattened messages:
//
//	request  'ISCQ'  "device"  string  the device's name (1..255 bytes)
//	                 "code"    int32   the control code
//	                 "message" message the control message (left out: none)
//	reply    'ISCA'  "status"  int32   what the device's Control returned
//
// A request with any other field, a missing or repeated field, or a field
// of another type is refused.
#ifndef _INPUT_SERVER_CONTROL_H
#define _INPUT_SERVER_CONTROL_H

#include <Message.h>
#include <SupportDefs.h>

#include <string>

namespace BPrivate {

enum { B_INPUT_SERVER_CONTROL_REQUEST = 'ISCQ', B_INPUT_SERVER_CONTROL_REPLY = 'ISCA' };

// Longest device name a request may carry.
static const size_t kMaxInputDeviceNameLength = 255;

struct InputServerControlRequest {
	std::string device;
	uint32 code = 0;
	bool hasMessage = false;
	BMessage message;
};

// Builds the request envelope; message may be NULL.
status_t make_control_request(const char* device, uint32 code, const BMessage* message,
                              BMessage* envelope);

// Checks an envelope and takes it apart; B_BAD_DATA for anything malformed.
status_t read_control_request(const BMessage& envelope, InputServerControlRequest* request);

// The same from the bytes of one frame: Unflatten, then read_control_request.
status_t decode_control_request(const void* data, size_t size, InputServerControlRequest* request);

status_t make_control_reply(status_t result, BMessage* envelope);
// The device's result from a reply; B_BAD_REPLY when the reply is malformed.
status_t read_control_reply(const BMessage& envelope, status_t* result);

// Client side: one request over the socket at path, waiting at most timeout
// microseconds for the answer. Returns the device's result, or the error
// that kept the request from being answered (B_NAME_NOT_FOUND when nobody
// listens at path, B_TIMED_OUT, B_BAD_REPLY, B_PERMISSION_DENIED, ...).
status_t send_control_request(const char* path, const char* device, uint32 code,
                              const BMessage* message, bigtime_t timeout);

// True when a server accepts connections at path, and when this process
// cannot tell because it has no descriptor (or memory) left for the try.
bool control_socket_answers(const char* path);

} // namespace BPrivate

#endif // _INPUT_SERVER_CONTROL_H
