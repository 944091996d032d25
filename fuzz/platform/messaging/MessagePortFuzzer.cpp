// Plays strangers to this process's message port: the input becomes the
// bytes of a few connections, written before any hello has been answered;
// some are closed at once, the others kept open and silent. Whatever they
// sent, a sender that then says a proper hello must be welcomed: nothing
// written before a hello may wedge the port or crash the process.
#include "MessagingPort.h"
#include "MessagingProtocol.h"

#include <Looper.h>
#include <Messenger.h>
#include <private/LocalSocket.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using BPrivate::LocalSocket;
using BPrivate::MessagingPort;
using BPrivate::MessagingProtocol;

namespace {

void Require(bool condition)
{
	if (!condition)
		std::abort();
}

struct Target {
	std::string path;
	int32 looperToken = 0;
};

// A port of its own in a fresh directory and a running looper to greet.
const Target& TheTarget()
{
	static Target target = [] {
		char name[] = "/tmp/stria-port-fuzz-XXXXXX";
		Require(mkdtemp(name) != nullptr);
		Require(MessagingPort::PublishIn(name) == B_OK);
		BLooper* looper = new BLooper("fuzzed");
		looper->Run();
		BMessenger messenger(looper);
		std::vector<char> bytes(size_t(messenger.FlattenedSize()));
		Require(messenger.Flatten(bytes.data(), ssize_t(bytes.size())) == B_OK);
		Target made;
		memcpy(&made.looperToken, &bytes[8], 4);
		made.path.assign(bytes.begin() + 16, bytes.end());
		Require(made.path == MessagingPort::Current()->Path());
		return made;
	}();
	return target;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const Target& target = TheTarget();
	if (size < 2)
		return 0;
	// The first byte says how many connections, the second which of them
	// close after writing; the rest is shared out among them in order.
	size_t connections = 1 + data[0] % 6;
	uint8_t closing = data[1];
	const uint8_t* bytes = data + 2;
	size_t left = size - 2;

	std::vector<LocalSocket> strangers(connections);
	for (size_t i = 0; i < connections; i++) {
		size_t share = i + 1 == connections ? left : left / (connections - i);
		Require(LocalSocket::Connect(target.path.c_str(), &strangers[i], 5000000) == B_OK);
		strangers[i].SetNonBlocking(true);
		// As much as the socket takes now; the port may hang up meanwhile.
		strangers[i].SendAll(bytes, share, 0);
		bytes += share;
		left -= share;
		if ((closing >> i) & 1)
			strangers[i].Close();
	}

	LocalSocket sender;
	Require(LocalSocket::Connect(target.path.c_str(), &sender, 5000000) == B_OK);
	std::vector<char> hello;
	MessagingProtocol::MakeHello(target.looperToken, getpid(), &hello);
	Require(sender.SendFrame(hello.data(), hello.size(), 5000000) == B_OK);
	std::vector<char> welcome;
	Require(sender.ReceiveFrame(&welcome, 10000000, MessagingProtocol::kWelcomeSize) == B_OK);
	status_t answer = B_ERROR;
	Require(MessagingProtocol::ReadWelcome(welcome.data(), welcome.size(), &answer) == B_OK);
	Require(answer == B_OK);
	return 0;
}
