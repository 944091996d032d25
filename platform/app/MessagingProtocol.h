// Private to the application kit: what travels over a connection between a
// sender and another process's message port. Each item is the body of one
// LocalSocket frame; integers are little-endian.
//
//	hello    sender -> port, first frame of a connection
//	         uint8 kind 1, uint8 version 1, uint16 0,
//	         int32 looper token the connection will carry messages for,
//	         int32 sender's process id
//	welcome  port -> sender, the only frame a port ever sends
//	         uint8 kind 2, uint8 version 1, uint16 0,
//	         int32 B_OK, or B_BAD_HANDLER when no such looper exists (the
//	         port then closes the connection)
//	message  sender -> port, any number after a welcome
//	         uint8 kind 3, uint8 version 1, uint16 0, int32 handler token (-2: the
//	         looper's preferred handler), then the flattened BMessage, whose
//	         own header carries the messenger replies go to
//
// A port closes a connection on anything else, and when the looper goes
// away; the sender sees the end of the stream and knows its target is gone.
#ifndef STRIA_MESSAGING_PROTOCOL_H
#define STRIA_MESSAGING_PROTOCOL_H

#include <SupportDefs.h>

#include <memory>
#include <vector>

class BMessage;

namespace BPrivate {

class MessagingProtocol {
public:
	enum Kind : uint8 { kHello = 1, kWelcome = 2, kMessage = 3 };
	static constexpr uint8 kVersion = 1;
	static constexpr size_t kHeaderSize = 8;
	static constexpr size_t kHelloSize = 12;
	static constexpr size_t kWelcomeSize = 8;

	static void MakeHello(int32 looperToken, int32 team, std::vector<char>* body);
	static status_t ReadHello(const char* body, size_t size, int32* looperToken, int32* team);
	static void MakeWelcome(status_t status, std::vector<char>* body);
	static status_t ReadWelcome(const char* body, size_t size, status_t* status);

	// A complete frame, header included, ready to be written in one go.
	static status_t MakeMessageFrame(const BMessage& message, int32 handlerToken,
	                                 std::vector<char>* frame);
	// Rebuilds the message of a message body; refuses anything malformed.
	static status_t ReadMessage(const char* body, size_t size, int32* handlerToken,
	                            std::unique_ptr<BMessage>* message);
};

} // namespace BPrivate

#endif // STRIA_MESSAGING_PROTOCOL_H
