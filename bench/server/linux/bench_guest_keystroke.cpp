// A person's key on a real kernel: from the write on the keyboard's uinput
// device to the read of the key on the device that passes it on, through
// stria-input-server (evdev reader, filters, virtual keyboard) against a
// loop that only copies evdev events to a uinput device. Each repetition
// times one key press; the median and the 99th percentile are what count.
//
// It types on uinput devices of its own, so it runs only in the test
// machine (STRIA_VM_GUEST set; ctest -L vm runs it there).
#include "NodeReader.h"
#include "ServerProcess.h"
#include "TestKeyboard.h"
#include "UinputKeyboard.h"

#include <benchmark/benchmark.h>

#include <linux/input.h>
#include <linux/uinput.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace stria::test;
using namespace stria::test::vm;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kRepetitions = 400;

// Waits for the key event code/value on fd; false after a few seconds.
bool ReadKey(int fd, uint16 code, int32 value)
{
	const auto end = Clock::now() + std::chrono::seconds(5);
	while (Clock::now() < end) {
		struct pollfd readable = {fd, POLLIN, 0};
		if (::poll(&readable, 1, 1000) <= 0)
			continue;
		input_event events[16];
		const ssize_t got = ::read(fd, events, sizeof(events));
		for (ssize_t i = 0; got > 0 && i < got / static_cast<ssize_t>(sizeof(input_event)); i++) {
			if (events[i].type == EV_KEY && events[i].code == code && events[i].value == value)
				return true;
		}
	}
	return false;
}

// Where the typed key comes out, and the keyboard it is typed on.
struct Path {
	virtual ~Path() = default;
	std::unique_ptr<TestKeyboard> keyboard;
	int out = -1;
};

// The baseline: read the keyboard's node, write every event to uinput.
struct CopyLoop : Path {
	CopyLoop()
	{
		keyboard = std::make_unique<TestKeyboard>("Bench Copied Keyboard", "bench-copied");
		fIn = ::open(keyboard->Node().c_str(), O_RDONLY | O_CLOEXEC);
		::ioctl(fIn, EVIOCGRAB, 1);
		fCopy = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
		::ioctl(fCopy, UI_SET_EVBIT, EV_KEY);
		for (int code = 1; code < 256; code++)
			::ioctl(fCopy, UI_SET_KEYBIT, code);
		struct uinput_setup setup;
		std::memset(&setup, 0, sizeof(setup));
		setup.id.bustype = BUS_VIRTUAL;
		std::strncpy(setup.name, "Bench Copy", UINPUT_MAX_NAME_SIZE - 1);
		::ioctl(fCopy, UI_DEV_SETUP, &setup);
		::ioctl(fCopy, UI_DEV_CREATE);
		std::string node;
		while ((node = FindNode("Bench Copy")).empty())
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		out = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
		fStop = ::eventfd(0, EFD_CLOEXEC);
		fThread = std::thread([this] { Copy(); });
	}

	~CopyLoop() override
	{
		const uint64_t one = 1;
		[[maybe_unused]] ssize_t written = ::write(fStop, &one, sizeof(one));
		fThread.join();
		::close(out);
		::ioctl(fCopy, UI_DEV_DESTROY);
		::close(fCopy);
		::close(fIn);
		::close(fStop);
	}

	void Copy()
	{
		for (;;) {
			struct pollfd watched[2] = {{fIn, POLLIN, 0}, {fStop, POLLIN, 0}};
			if (::poll(watched, 2, -1) < 0 && errno != EINTR)
				return;
			if (watched[1].revents != 0)
				return;
			input_event events[64];
			const ssize_t got = ::read(fIn, events, sizeof(events));
			if (got > 0 && ::write(fCopy, events, static_cast<size_t>(got)) != got)
				return;
		}
	}

	int fIn = -1;
	int fCopy = -1;
	int fStop = -1;
	std::thread fThread;
};

// The server with the real add-ons and the virtual keyboard.
struct Server : Path {
	Server()
	{
		keyboard = std::make_unique<TestKeyboard>("Bench Keyboard", "bench-keyboard");
		fServer = std::make_unique<ServerProcess>(
		        STRIA_BINARY_DIR "/bin/stria-input-server",
		        std::vector<std::string>{"--device", keyboard->Node(), "--uinput",
		                                 "--control-socket", "/tmp/stria-bench-control"});
		std::string node;
		while ((node = FindNode(stria::UinputKeyboard::kDeviceName)).empty() && !fServer->Wait({}))
			std::this_thread::sleep_for(std::chrono::milliseconds(10));
		out = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
		// Settle: a first key through, so that every add-on has started.
		keyboard->Key(KEY_A, 1);
		keyboard->Key(KEY_A, 0);
		ReadKey(out, KEY_A, 0);
	}

	~Server() override
	{
		::close(out);
		fServer->Signal(SIGTERM);
		fServer->Wait(std::chrono::seconds(30));
	}

	std::unique_ptr<ServerProcess> fServer;
};

template <typename Kind>
Path* Shared()
{
	static std::unique_ptr<Path> path;
	if (!path)
		path = std::make_unique<Kind>();
	return path.get();
}

template <typename Kind>
void KeyThrough(benchmark::State& state)
{
	if (std::getenv("STRIA_VM_GUEST") == nullptr) {
		state.SkipWithError("types on uinput devices: runs in the test machine (ctest -L vm)");
		return;
	}
	Path* path = Shared<Kind>();
	if (path->out < 0) {
		state.SkipWithError("no device to read the key from");
		return;
	}
	for (auto _ : state) {
		const auto start = Clock::now();
		path->keyboard->Key(KEY_A, 1);
		const bool got = ReadKey(path->out, KEY_A, 1);
		const auto end = Clock::now();
		path->keyboard->Key(KEY_A, 0);
		if (!got || !ReadKey(path->out, KEY_A, 0)) {
			state.SkipWithError("the key did not come through");
			return;
		}
		state.SetIterationTime(std::chrono::duration<double>(end - start).count());
	}
}

double Percentile99(const std::vector<double>& values)
{
	std::vector<double> sorted = values;
	std::sort(sorted.begin(), sorted.end());
	const size_t index =
	        static_cast<size_t>(std::ceil(0.99 * static_cast<double>(sorted.size()))) - 1;
	return sorted.empty() ? 0 : sorted[std::min(index, sorted.size() - 1)];
}

// One key per repetition, so that the aggregates are over single keys.
void EachKeyAlone(benchmark::internal::Benchmark* benchmark)
{
	benchmark->UseManualTime()
	        ->Iterations(1)
	        ->Repetitions(kRepetitions)
	        ->ComputeStatistics("p99", Percentile99)
	        ->ReportAggregatesOnly(true)
	        ->Unit(benchmark::kMicrosecond);
}

} // namespace

BENCHMARK_TEMPLATE(KeyThrough, CopyLoop)->Name("baseline_copy_loop")->Apply(EachKeyAlone);
BENCHMARK_TEMPLATE(KeyThrough, Server)->Name("stria_input_server")->Apply(EachKeyAlone);
