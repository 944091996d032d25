// The other process of the cross-process messaging tests. It takes a
// parent's messenger in hexadecimal byte form and plays one role:
//
//   subscribe HEX          subscribe a looper, check every payload that
//                          arrives (once, in order, equal to what the
//                          parent built) and report after the last one
//   echo HEX               subscribe a looper that replies to every
//                          message; quits that looper on request and stays
//                          alive until killed
//   stall HEX              subscribe a looper that stops reading after its
//                          first message
//   raw-as-user UID PATH TOKEN
//                          as user UID, say hello to the port at PATH on a
//                          plain socket; exit 0 when the port hangs up
//                          without a welcome, 1 when it answers
//   messenger-as-user UID HEX
//                          as user UID, send through the messenger; exit 0
//                          when the send is refused
//   limited HEX            as echo, with at most 64 file descriptors; a
//                          kUsage message is answered with the process's
//                          CPU time and peak memory so far and how often
//                          its port ran out of descriptors
//   add-messenger REASON   put a messenger of this process into a message;
//                          exit 0 when that fails and the port's problem
//                          contains REASON
//   claim HEX PID          send a kPayload to the messenger on a plain
//                          socket whose hello says the sender is process
//                          PID; exit 0 when the port took it
#include "TestMessages.h"

#include "MessagingPort.h"

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>
#include <private/MessagingPortProblem.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace messaging_test;

namespace {

std::atomic<bool> sFinished{false};

class Subscriber : public BLooper {
public:
	explicit Subscriber(const BMessenger& parent) : BLooper("subscriber"), fParent(parent) {}

	void MessageReceived(BMessage* message) override
	{
		switch (message->what) {
		case kPayload: {
			int32 index = -1;
			message->FindInt32("index", &index);
			if (index != fReceived)
				fOutOfOrder++;
			BMessage expected = MakePayload(index);
			const char* text = NULL;
			const char* expectedText = NULL;
			expected.FindString("text", &expectedText);
			if (!message->HasSameData(expected) || message->FindString("text", &text) != B_OK ||
			    strcmp(text, expectedText) != 0) {
				fMismatches++;
			}
			fReceived++;
			break;
		}
		case kDone: {
			BMessage result(kResult);
			result.AddInt32("received", fReceived);
			result.AddInt32("out_of_order", fOutOfOrder);
			result.AddInt32("mismatches", fMismatches);
			fParent.SendMessage(&result);
			sFinished = true;
			break;
		}
		default:
			BLooper::MessageReceived(message);
		}
	}

private:
	BMessenger fParent;
	int32 fReceived = 0;
	int32 fOutOfOrder = 0;
	int32 fMismatches = 0;
};

class Echo : public BLooper {
public:
	Echo() : BLooper("echo") {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == kQuitLooper) {
			Quit();
			return;
		}
		if (message->what == kUsage) {
			struct rusage usage;
			getrusage(RUSAGE_SELF, &usage);
			BMessage reply(kUsage);
			reply.AddInt64("cpu", int64(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000 +
			                              usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
			reply.AddInt64("max_rss_kb", int64(usage.ru_maxrss));
			BPrivate::MessagingPort* port = BPrivate::MessagingPort::Current();
			reply.AddInt64("accept_pauses", port != nullptr ? port->AcceptPauses() : -1);
			message->SendReply(&reply);
			return;
		}
		BMessage reply(*message);
		reply.AddBool("echoed", true);
		message->SendReply(&reply);
	}
};

class Stall : public BLooper {
public:
	Stall() : BLooper("stall") {}

	void MessageReceived(BMessage*) override
	{
		// Stops taking messages; the parent fills the socket meanwhile.
		while (true)
			snooze(1000000);
	}
};

status_t Subscribe(const BMessenger& parent, BLooper* looper)
{
	looper->Run();
	BMessage subscribe(kSubscribe);
	subscribe.AddMessenger("messenger", BMessenger(looper));
	subscribe.AddInt32("pid", int32(getpid()));
	return parent.SendMessage(&subscribe);
}

int RawHello(const char* path, int32 looperToken)
{
	int fd = socket(AF_UNIX, SOCK_STREAM, 0);
	struct sockaddr_un address = {};
	address.sun_family = AF_UNIX;
	strncpy(address.sun_path, path, sizeof(address.sun_path) - 1);
	if (connect(fd, (struct sockaddr*)&address, sizeof(address)) != 0) {
		fprintf(stderr, "peer: connect: %s\n", strerror(errno));
		return 2;
	}
	// A hello frame as MessagingProtocol lays it out, then a message frame.
	unsigned char hello[20] = {'S', 't', 'F', 'r', 12, 0, 0, 0, 1, 1, 0, 0};
	memcpy(hello + 12, &looperToken, 4);
	int32 pid = getpid();
	memcpy(hello + 16, &pid, 4);
	send(fd, hello, sizeof(hello), MSG_NOSIGNAL);
	char answer[64];
	ssize_t received;
	do {
		received = recv(fd, answer, sizeof(answer), 0);
	} while (received < 0 && errno == EINTR);
	close(fd);
	return received > 0 ? 1 : 0;
}

// Says hello to the looper of target as process claimed, then sends a
// kPayload whose "pid" field claims the same.
int ClaimedHello(const BMessenger& target, int32 claimed)
{
	std::vector<char> address(size_t(target.FlattenedSize()));
	if (address.size() <= 16 || target.Flatten(address.data(), ssize_t(address.size())) != B_OK)
		return 2;
	int32 looperToken;
	memcpy(&looperToken, &address[8], 4);
	const std::string path(address.begin() + 16, address.end());

	int fd = socket(AF_UNIX, SOCK_STREAM, 0);
	struct sockaddr_un where = {};
	where.sun_family = AF_UNIX;
	strncpy(where.sun_path, path.c_str(), sizeof(where.sun_path) - 1);
	if (connect(fd, (struct sockaddr*)&where, sizeof(where)) != 0)
		return 2;
	unsigned char hello[20] = {'S', 't', 'F', 'r', 12, 0, 0, 0, 1, 1, 0, 0};
	memcpy(hello + 12, &looperToken, 4);
	memcpy(hello + 16, &claimed, 4);
	send(fd, hello, sizeof(hello), MSG_NOSIGNAL);
	char welcome[16];
	if (recv(fd, welcome, sizeof(welcome), MSG_WAITALL) != ssize_t(sizeof(welcome)))
		return 1;

	BMessage payload(kPayload);
	payload.AddInt32("pid", claimed);
	std::vector<char> flat(size_t(payload.FlattenedSize()));
	payload.Flatten(flat.data(), ssize_t(flat.size()));
	std::vector<char> frame = {'S', 't', 'F', 'r', 0, 0, 0, 0, 3, 1, 0, 0};
	uint32 bodySize = uint32(8 + flat.size());
	memcpy(&frame[4], &bodySize, 4);
	int32 preferred = -2;
	frame.insert(frame.end(), (char*)&preferred, (char*)&preferred + 4);
	frame.insert(frame.end(), flat.begin(), flat.end());
	// What is written stays queued for the looper after the close.
	bool sent = send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) == ssize_t(frame.size());
	close(fd);
	return sent ? 0 : 1;
}

bool BecomeUser(const char* uid)
{
	uid_t user = uid_t(strtoul(uid, NULL, 10));
	if (setgid(user) != 0 || setuid(user) != 0) {
		fprintf(stderr, "peer: cannot become user %u: %s\n", unsigned(user), strerror(errno));
		return false;
	}
	return true;
}

} // namespace

int main(int argc, char** argv)
{
	// Never outlive a test that has gone wrong.
	alarm(60);
	if (argc < 3) {
		fprintf(stderr, "usage: messaging_peer MODE ARGS...\n");
		return 2;
	}
	const char* mode = argv[1];

	if (strcmp(mode, "raw-as-user") == 0 && argc == 5)
		return BecomeUser(argv[2]) ? RawHello(argv[3], int32(atoi(argv[4]))) : 2;
	if (strcmp(mode, "messenger-as-user") == 0 && argc == 4) {
		BMessenger target;
		if (!BecomeUser(argv[2]) || !FromHex(argv[3], &target))
			return 2;
		BMessage message(kPayload);
		status_t status = target.SendMessage(&message, (BHandler*)NULL, 2000000);
		printf("%s\n", strerror(status));
		return status == B_PERMISSION_DENIED ? 0 : 1;
	}

	if (strcmp(mode, "claim") == 0 && argc == 4) {
		BMessenger target;
		if (!FromHex(argv[2], &target))
			return 2;
		return ClaimedHello(target, int32(atoi(argv[3])));
	}
	if (strcmp(mode, "add-messenger") == 0) {
		BLooper* looper = new BLooper("unreachable");
		BMessage message(kPayload);
		status_t status = message.AddMessenger("messenger", BMessenger(looper));
		std::string problem = BPrivate::message_port_problem();
		looper->Quit();
		if (status == B_OK || problem.find(argv[2]) == std::string::npos) {
			fprintf(stderr, "peer: AddMessenger gave %d, problem \"%s\"\n", int(status),
			        problem.c_str());
			return 1;
		}
		return 0;
	}
	if (strcmp(mode, "limited") == 0) {
		struct rlimit limit = {64, 64};
		if (setrlimit(RLIMIT_NOFILE, &limit) != 0)
			return 2;
	}

	BMessenger parent;
	if (!FromHex(argv[2], &parent)) {
		fprintf(stderr, "peer: bad messenger\n");
		return 2;
	}
	BLooper* looper;
	if (strcmp(mode, "subscribe") == 0)
		looper = new Subscriber(parent);
	else if (strcmp(mode, "echo") == 0 || strcmp(mode, "limited") == 0)
		looper = new Echo;
	else if (strcmp(mode, "stall") == 0)
		looper = new Stall;
	else {
		fprintf(stderr, "peer: unknown mode %s\n", mode);
		return 2;
	}
	status_t status = Subscribe(parent, looper);
	if (status != B_OK) {
		fprintf(stderr, "peer: subscribing failed: %s\n", strerror(status));
		return 3;
	}
	while (!sFinished)
		snooze(10000);
	// The report is written; the looper goes, and with the process its port.
	if (looper->Lock())
		looper->Quit();
	return 0;
}
