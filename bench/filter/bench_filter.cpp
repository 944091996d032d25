// Scan latency: from the Enter key-up entering CueCatFilter::Filter to the
// STRIA_CATSCAN arriving at a subscriber, in this process and in another,
// beside the baselines measured in the same run:
//   same process  vs  a bare hand-off of the record through two threads
//                     (the filter's least possible path: processor thread,
//                     then the subscriber's thread)
//   other process vs  that hand-off plus a bare Unix-domain socket round trip
// Times are taken with one clock on both sides (CLOCK_MONOTONIC), so the
// subscriber in the other process stamps the arrival itself.
#include "BenchClock.h"

#include <CueCatFilter.h>

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <List.h>
#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <private/TestInputServerHost.h>

#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <benchmark/benchmark.h>

#include <array>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <signal.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const std::string kRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";

// Waits for arrivals that another thread announces with their time.
class Arrivals {
public:
	void Announce(int64_t when)
	{
		std::lock_guard lock(fLock);
		fWhen = when;
		fCount++;
		fChanged.notify_one();
	}

	// The time of the next arrival after the ones already taken.
	int64_t Next()
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return fCount > fTaken; });
		fTaken = fCount;
		return fWhen;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	int64_t fWhen = 0;
	uint64_t fCount = 0;
	uint64_t fTaken = 0;
};

class ArrivalLooper : public BLooper {
public:
	explicit ArrivalLooper(Arrivals& arrivals) : BLooper("arrivals"), fArrivals(arrivals) {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == STRIA_CATSCAN)
			fArrivals.Announce(bench_now_ns());
		else if (message->what != STRIA_SHUTDOWN)
			BLooper::MessageReceived(message);
	}

private:
	Arrivals& fArrivals;
};

std::unique_ptr<BMessage> KeyMessage(uint32 what, int32 key, int32 byte, bigtime_t when)
{
	auto message = std::make_unique<BMessage>(what);
	message->AddInt64("when", when);
	message->AddInt32("key", key);
	message->AddInt32("modifiers", 0);
	if (byte >= 0)
		message->AddInt8("byte", int8(byte));
	return message;
}

// The keys of one scan from base on: every one but the Enter key-up, and
// that one apart.
struct ScanKeys {
	std::vector<std::unique_ptr<BMessage>> leading;
	std::unique_ptr<BMessage> enterUp;
};

ScanKeys MakeScan(bigtime_t base)
{
	ScanKeys keys;
	keys.leading.push_back(
	        KeyMessage(B_KEY_DOWN, ScanCapture::CAT_CALL_KEY, B_FUNCTION_KEY, base));
	keys.leading.push_back(KeyMessage(B_KEY_UP, ScanCapture::CAT_CALL_KEY, -1, base + 1000));
	bigtime_t when = base + 2000;
	for (char c : kRecord) {
		keys.leading.push_back(KeyMessage(B_KEY_DOWN, 0x3c, (uint8)c, when));
		keys.leading.push_back(KeyMessage(B_KEY_UP, 0x3c, -1, when + 1000));
		when += 2000;
	}
	keys.leading.push_back(KeyMessage(B_KEY_DOWN, ScanCapture::CAT_TERM_KEY, B_ENTER, when));
	keys.enterUp = KeyMessage(B_KEY_UP, ScanCapture::CAT_TERM_KEY, -1, when + 1000);
	return keys;
}

void Play(CueCatFilter& filter, BMessage* message)
{
	BList outList;
	filter.Filter(message, &outList);
	for (int32 i = 0; i < outList.CountItems(); i++) {
		if (outList.ItemAt(i) != message)
			delete (BMessage*)outList.ItemAt(i);
	}
}

void Subscribe(CueCatFilter& filter, const BMessenger& messenger)
{
	BMessage subscription;
	make_scan_subscription(messenger, &subscription);
	Play(filter, &subscription);
}

// Runs the benchmark's iterations: each plays a scan up to its Enter
// key-up untimed, then times the key-up's way to the subscriber.
template <typename ArrivalTime>
void TimeScans(benchmark::State& state, CueCatFilter& filter, ArrivalTime arrivalTime)
{
	bigtime_t base = 1000000;
	for (auto _ : state) {
		ScanKeys keys = MakeScan(base);
		base += 1000000;
		for (auto& message : keys.leading)
			Play(filter, message.get());
		int64_t start = bench_now_ns();
		Play(filter, keys.enterUp.get());
		int64_t arrived = arrivalTime();
		state.SetIterationTime(double(arrived - start) / 1e9);
	}
}

void BM_ScanLatency_SameProcess(benchmark::State& state)
{
	BPrivate::TestInputServerHost host;
	Arrivals arrivals;
	ArrivalLooper* looper = new ArrivalLooper(arrivals);
	looper->Run();
	{
		CueCatFilter filter;
		Subscribe(filter, BMessenger(looper));
		TimeScans(state, filter, [&] { return arrivals.Next(); });
	}
	looper->Lock();
	looper->Quit();
}
BENCHMARK(BM_ScanLatency_SameProcess)->UseManualTime()->Unit(benchmark::kMicrosecond);

// One slot between two threads, guarded by a mutex and a condition
// variable: the plainest hand-off there is.
class Slot {
public:
	void Put(const char* data, size_t size)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return !fFull; });
		memcpy(fData.data(), data, size);
		fSize = size;
		fFull = true;
		fChanged.notify_all();
	}

	// False once closed.
	bool Take(std::array<char, 1024>& data, size_t* size)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return fFull || fClosed; });
		if (!fFull)
			return false;
		data = fData;
		*size = fSize;
		fFull = false;
		fChanged.notify_all();
		return true;
	}

	void Close()
	{
		std::lock_guard lock(fLock);
		fClosed = true;
		fChanged.notify_all();
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::array<char, 1024> fData;
	size_t fSize = 0;
	bool fFull = false;
	bool fClosed = false;
};

void BM_Baseline_HandOffThroughTwoThreads(benchmark::State& state)
{
	Slot toMiddle;
	Slot toLast;
	Arrivals arrivals;
	std::thread middle([&] {
		std::array<char, 1024> data;
		size_t size;
		while (toMiddle.Take(data, &size))
			toLast.Put(data.data(), size);
		toLast.Close();
	});
	std::thread last([&] {
		std::array<char, 1024> data;
		size_t size;
		while (toLast.Take(data, &size))
			arrivals.Announce(bench_now_ns());
	});

	for (auto _ : state) {
		int64_t start = bench_now_ns();
		toMiddle.Put(kRecord.c_str(), kRecord.size() + 1);
		state.SetIterationTime(double(arrivals.Next() - start) / 1e9);
	}
	toMiddle.Close();
	middle.join();
	last.join();
}
BENCHMARK(BM_Baseline_HandOffThroughTwoThreads)->UseManualTime()->Unit(benchmark::kMicrosecond);

bool ReadAll(int fd, void* data, size_t size)
{
	char* at = static_cast<char*>(data);
	while (size > 0) {
		ssize_t got = read(fd, at, size);
		if (got <= 0)
			return false;
		at += got;
		size -= size_t(got);
	}
	return true;
}

// The subscriber program in a process of its own, talking through pipes.
class SubscriberProcess {
public:
	SubscriberProcess()
	{
		int toChild[2];
		int fromChild[2];
		if (pipe(toChild) != 0 || pipe(fromChild) != 0)
			return;
		fPid = fork();
		if (fPid == 0) {
			dup2(toChild[0], STDIN_FILENO);
			dup2(fromChild[1], STDOUT_FILENO);
			close(toChild[1]);
			close(fromChild[0]);
			execl(STRIA_BENCH_SUBSCRIBER, STRIA_BENCH_SUBSCRIBER, (char*)NULL);
			_exit(127);
		}
		close(toChild[0]);
		close(fromChild[1]);
		fInput = toChild[1];
		fOutput = fromChild[0];

		uint32_t length = 0;
		std::vector<char> bytes;
		if (ReadAll(fOutput, &length, sizeof(length)) && length < 4096) {
			bytes.resize(length);
			if (ReadAll(fOutput, bytes.data(), length))
				fMessenger.Unflatten(bytes.data(), length);
		}
	}

	~SubscriberProcess()
	{
		if (fInput >= 0)
			close(fInput);
		if (fOutput >= 0)
			close(fOutput);
		if (fPid > 0)
			waitpid(fPid, NULL, 0);
	}

	const BMessenger& Messenger() const { return fMessenger; }

	int64_t NextArrival()
	{
		int64_t arrived = 0;
		if (!ReadAll(fOutput, &arrived, sizeof(arrived)))
			return 0;
		return arrived;
	}

private:
	pid_t fPid = -1;
	int fInput = -1;
	int fOutput = -1;
	BMessenger fMessenger;
};

void BM_ScanLatency_OtherProcess(benchmark::State& state)
{
	BPrivate::TestInputServerHost host;
	SubscriberProcess subscriber;
	if (!subscriber.Messenger().IsValid()) {
		state.SkipWithError("the subscriber process did not start");
		return;
	}
	CueCatFilter filter;
	Subscribe(filter, subscriber.Messenger());
	// The first scan opens the connection; it is not timed.
	ScanKeys warmUp = MakeScan(100);
	for (auto& message : warmUp.leading)
		Play(filter, message.get());
	Play(filter, warmUp.enterUp.get());
	subscriber.NextArrival();

	TimeScans(state, filter, [&] { return subscriber.NextArrival(); });
}
BENCHMARK(BM_ScanLatency_OtherProcess)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_Baseline_UnixSocketRoundTrip(benchmark::State& state)
{
	int sockets[2];
	if (socketpair(AF_UNIX, SOCK_STREAM, 0, sockets) != 0) {
		state.SkipWithError("no socket pair");
		return;
	}
	pid_t echo = fork();
	if (echo == 0) {
		close(sockets[0]);
		char buffer[64];
		while (ReadAll(sockets[1], buffer, sizeof(buffer))) {
			if (write(sockets[1], buffer, sizeof(buffer)) != sizeof(buffer))
				break;
		}
		_exit(0);
	}
	close(sockets[1]);

	char buffer[64];
	memcpy(buffer, kRecord.data(), sizeof(buffer) - 1);
	for (auto _ : state) {
		int64_t start = bench_now_ns();
		if (write(sockets[0], buffer, sizeof(buffer)) != sizeof(buffer) ||
		    !ReadAll(sockets[0], buffer, sizeof(buffer))) {
			state.SkipWithError("echo process failed");
			break;
		}
		state.SetIterationTime(double(bench_now_ns() - start) / 1e9);
	}
	close(sockets[0]);
	waitpid(echo, NULL, 0);
}
BENCHMARK(BM_Baseline_UnixSocketRoundTrip)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace
