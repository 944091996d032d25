// A message round trip between two processes through BMessenger (send to a
// looper of the other process, which replies to a looper of this one)
// against the same number of bytes sent to and echoed back by another
// process over a bare Unix-domain socket.
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <OS.h>
#include <private/LocalSocket.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

// The four-field message of the other messaging benchmarks.
BMessage MakeMessage()
{
	BMessage message('bnch');
	message.AddInt32("key", 0x27);
	message.AddInt64("when", 1234567890123LL);
	message.AddString("bytes", "q");
	message.AddBool("repeat", false);
	return message;
}

pid_t StartPeer(const std::string& mode, const std::string& argument)
{
	std::string program = std::string(STRIA_BINARY_DIR) + "/bin/messaging_bench_peer";
	std::vector<char*> argv = {program.data(), const_cast<char*>(mode.c_str()),
	                           const_cast<char*>(argument.c_str()), nullptr};
	pid_t pid = -1;
	if (posix_spawn(&pid, program.c_str(), NULL, NULL, argv.data(), environ) != 0)
		return -1;
	return pid;
}

void StopPeer(pid_t pid)
{
	if (pid > 0) {
		kill(pid, SIGKILL);
		waitpid(pid, NULL, 0);
	}
}

std::string ToHex(const BMessenger& messenger)
{
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	messenger.Flatten(bytes.data(), ssize_t(bytes.size()));
	std::string hex;
	char digits[3];
	for (char byte : bytes) {
		snprintf(digits, sizeof(digits), "%02x", unsigned(uint8(byte)));
		hex += digits;
	}
	return hex;
}

// Receives the peer's messenger, then the replies. Either wakes the
// benchmark's thread for each reply, or plays a number of rounds itself,
// sending the next message from its own thread as each reply comes in.
class Receiver : public BLooper {
public:
	Receiver() : BLooper("receiver"), fMessage(MakeMessage()) {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what != 'hllo' && fRoundsLeft > 0) {
			if (--fRoundsLeft > 0) {
				fPeer.SendMessage(&fMessage, this);
				return;
			}
		}
		std::lock_guard<std::mutex> guard(fLock);
		if (message->what == 'hllo')
			message->FindMessenger("messenger", &fPeer);
		else
			fArrived++;
		fChanged.notify_all();
	}

	bool WaitForPeer(BMessenger* peer)
	{
		std::unique_lock<std::mutex> guard(fLock);
		if (!fChanged.wait_for(guard, std::chrono::seconds(20), [&] { return fPeer.IsValid(); }))
			return false;
		*peer = fPeer;
		return true;
	}

	bool WaitForReplies(int64 count)
	{
		std::unique_lock<std::mutex> guard(fLock);
		return fChanged.wait_for(guard, std::chrono::seconds(20),
		                         [&] { return fArrived >= count; });
	}

	// From the benchmark's thread, while no round is under way.
	void SetRounds(int32 rounds) { fRoundsLeft = rounds; }

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	BMessenger fPeer;
	BMessage fMessage;
	int64 fArrived = 0;
	// Touched by the looper's thread while a batch runs, by the benchmark's
	// thread between batches (the message send orders the two).
	std::atomic<int32> fRoundsLeft{0};
};

bool StartLooperPeer(Receiver** receiver, pid_t* peer, BMessenger* target)
{
	*receiver = new Receiver;
	(*receiver)->Run();
	*peer = StartPeer("looper", ToHex(BMessenger(*receiver)));
	return *peer > 0 && (*receiver)->WaitForPeer(target);
}

void StopLooperPeer(Receiver* receiver, pid_t peer)
{
	StopPeer(peer);
	receiver->Lock();
	receiver->Quit();
}

// Round trips played by the two loopers; the benchmark's thread only waits
// for each batch of kBatch to end.
constexpr int32 kBatch = 100;

void BM_MessengerRoundTrip(benchmark::State& state)
{
	Receiver* receiver;
	pid_t peer;
	BMessenger target;
	if (!StartLooperPeer(&receiver, &peer, &target)) {
		state.SkipWithError("the peer process did not start");
		StopLooperPeer(receiver, peer);
		return;
	}
	BMessage message = MakeMessage();
	int64 batches = 0;
	for (auto _ : state) {
		receiver->SetRounds(kBatch);
		if (target.SendMessage(&message, receiver) != B_OK ||
		    !receiver->WaitForReplies(++batches)) {
			state.SkipWithError("a round trip failed");
			break;
		}
	}
	state.SetItemsProcessed(state.iterations() * kBatch);
	StopLooperPeer(receiver, peer);
}
BENCHMARK(BM_MessengerRoundTrip)->UseRealTime();

// The same, but the benchmark's thread sends each message and waits for
// each reply: one thread switch more per round trip.
void BM_MessengerRoundTripFromThread(benchmark::State& state)
{
	Receiver* receiver;
	pid_t peer;
	BMessenger target;
	if (!StartLooperPeer(&receiver, &peer, &target)) {
		state.SkipWithError("the peer process did not start");
		StopLooperPeer(receiver, peer);
		return;
	}
	BMessage message = MakeMessage();
	int64 sent = 0;
	for (auto _ : state) {
		if (target.SendMessage(&message, receiver) != B_OK || !receiver->WaitForReplies(++sent)) {
			state.SkipWithError("a round trip failed");
			break;
		}
	}
	state.SetItemsProcessed(state.iterations());
	StopLooperPeer(receiver, peer);
}
BENCHMARK(BM_MessengerRoundTripFromThread)->UseRealTime();

// The same with a synchronous send: the thread waits for the reply on its
// own reply port, with no looper of this process in between.
void BM_MessengerSynchronousRoundTrip(benchmark::State& state)
{
	Receiver* receiver;
	pid_t peer;
	BMessenger target;
	if (!StartLooperPeer(&receiver, &peer, &target)) {
		state.SkipWithError("the peer process did not start");
		StopLooperPeer(receiver, peer);
		return;
	}
	BMessage message = MakeMessage();
	BMessage reply;
	for (auto _ : state) {
		if (target.SendMessage(&message, &reply) != B_OK || reply.what != message.what) {
			state.SkipWithError("a round trip failed");
			break;
		}
	}
	state.SetItemsProcessed(state.iterations());
	StopLooperPeer(receiver, peer);
}
BENCHMARK(BM_MessengerSynchronousRoundTrip)->UseRealTime();

// Baseline: the same number of bytes, framed alike, written to another
// process that echoes them, kBatch times per iteration.
void BM_BareSocketRoundTrip(benchmark::State& state)
{
	char directory[] = "/tmp/stria-bench-XXXXXX";
	if (mkdtemp(directory) == NULL) {
		state.SkipWithError("no temporary directory");
		return;
	}
	std::string path = std::string(directory) + "/echo";
	BPrivate::LocalSocket listener;
	BPrivate::LocalSocket connection;
	pid_t peer = -1;
	if (BPrivate::LocalSocket::Listen(path.c_str(), &listener) == B_OK)
		peer = StartPeer("socket", path);
	if (peer < 0 || listener.Accept(&connection) != B_OK) {
		state.SkipWithError("the peer process did not connect");
	} else {
		// As many bytes as the messenger's frame of the same message.
		BMessage message = MakeMessage();
		std::vector<char> body(size_t(message.FlattenedSize()) + 8);
		std::vector<char> echoed;
		bool failed = false;
		for (auto _ : state) {
			for (int32 i = 0; i < kBatch && !failed; i++) {
				failed = connection.SendFrame(body.data(), body.size(), B_INFINITE_TIMEOUT) !=
				                 B_OK ||
				         connection.ReceiveFrame(&echoed, B_INFINITE_TIMEOUT) != B_OK;
			}
			if (failed) {
				state.SkipWithError("a round trip failed");
				break;
			}
		}
		state.SetItemsProcessed(state.iterations() * kBatch);
	}
	connection.Close();
	StopPeer(peer);
	listener.Close();
	unlink(path.c_str());
	rmdir(directory);
}
BENCHMARK(BM_BareSocketRoundTrip)->UseRealTime();

} // namespace
