// The other process of bench_messaging:
//
//   looper HEX    a looper that replies to every message with the same
//                 message; its messenger goes to the messenger HEX first
//   socket PATH   connects to PATH and writes back every frame it reads
//
// Both run until their parent goes away.
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>
#include <private/LocalSocket.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class Echo : public BLooper {
public:
	Echo() : BLooper("echo") {}
	void MessageReceived(BMessage* message) override { message->SendReply(message); }
};

bool FromHex(const char* hex, BMessenger* messenger)
{
	std::vector<char> bytes;
	for (const char* at = hex; at[0] != '\0' && at[1] != '\0'; at += 2) {
		unsigned value;
		if (sscanf(at, "%2x", &value) != 1)
			return false;
		bytes.push_back(char(value));
	}
	return messenger->Unflatten(bytes.data(), ssize_t(bytes.size())) == B_OK;
}

int EchoSocket(const char* path)
{
	BPrivate::LocalSocket socket;
	if (BPrivate::LocalSocket::Connect(path, &socket) != B_OK)
		return 1;
	std::vector<char> body;
	while (socket.ReceiveFrame(&body, B_INFINITE_TIMEOUT) == B_OK) {
		if (socket.SendFrame(body.data(), body.size(), B_INFINITE_TIMEOUT) != B_OK)
			return 1;
	}
	return 0;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 3) {
		fprintf(stderr, "usage: messaging_bench_peer looper HEX | socket PATH\n");
		return 2;
	}
	if (strcmp(argv[1], "socket") == 0)
		return EchoSocket(argv[2]);

	BMessenger parent;
	if (strcmp(argv[1], "looper") != 0 || !FromHex(argv[2], &parent))
		return 2;
	auto* echo = new Echo;
	echo->Run();
	BMessage hello('hllo');
	hello.AddMessenger("messenger", BMessenger(echo));
	if (parent.SendMessage(&hello) != B_OK)
		return 3;
	// Lives as long as the parent does.
	while (getppid() != 1 && parent.IsValid())
		snooze(100000);
	return 0;
}
