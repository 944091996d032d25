// A person's keystroke from evdev records in to uinput records out, through
// the keyboard reader (on its own thread, as in the server) and the virtual
// keyboard, against a thread that only copies the same records from one
// file descriptor to another. Both read from one pipe and write into
// another; each iteration types one key (press and release) and waits for
// what comes out. The server's filter stream is left out here: bench_server
// measures it.
//
// Then a person's single key from the message to the records out, on the
// paced virtual keyboard the server types on (gate, pacing, writer thread)
// against the bare virtual keyboard writing straight into the pipe: what
// pacing costs a key that finds room, as every key of a person does.
#include "EvdevKeyboard.h"
#include "KeyMessage.h"
#include "UinputKeyboard.h"

#include <AppDefs.h>
#include <Message.h>
#include <OS.h>
#include <StriaClock.h>
#include <StriaProtocol.h>

#include <benchmark/benchmark.h>

#include <linux/input.h>

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// The pipe plays the evdev node.
class PipeNode : public stria::EvdevNode {
public:
	explicit PipeNode(int fd) : fFd(fd) {}
	Kind Inspect(const std::string&, std::string&) override { return Kind::Device; }
	int Open(const std::string&) override { return ::dup(fFd); }
	bool IsInputDevice(int) override { return true; }
	int Grab(int, bool) override { return 0; }
	uint32 Locks(int) override { return 0; }

private:
	int fFd;
};

class TypingSink : public stria::InputSink {
public:
	explicit TypingSink(stria::UinputKeyboard& keyboard) : fKeyboard(keyboard) {}
	void Enqueue(std::unique_ptr<BMessage> message) override { fKeyboard.Deliver(*message); }
	status_t Control(const char*, uint32, BMessage*) override { return B_OK; }
	void Log(const std::string&) override {}
	bigtime_t InputStart() const override { return 0; }

private:
	stria::UinputKeyboard& fKeyboard;
};

struct Pipe {
	Pipe() { [[maybe_unused]] int result = ::pipe2(fds, O_CLOEXEC); }
	~Pipe()
	{
		::close(fds[0]);
		::close(fds[1]);
	}
	int fds[2];
};

// One keystroke as a USB keyboard sends it: scan code, key, report; twice.
std::vector<input_event> Keystroke(int64 second)
{
	std::vector<input_event> events;
	auto add = [&](uint16 type, uint16 code, int32 value, int64 usec) {
		input_event event;
		std::memset(&event, 0, sizeof(event));
		event.input_event_sec = second;
		event.input_event_usec = usec;
		event.type = type;
		event.code = code;
		event.value = value;
		events.push_back(event);
	};
	add(EV_MSC, MSC_SCAN, 0x70004, 0);
	add(EV_KEY, KEY_A, 1, 0);
	add(EV_SYN, SYN_REPORT, 0, 0);
	add(EV_MSC, MSC_SCAN, 0x70004, 90000);
	add(EV_KEY, KEY_A, 0, 90000);
	add(EV_SYN, SYN_REPORT, 0, 90000);
	return events;
}

// Two key events, each with its SYN_REPORT, come out per keystroke.
constexpr size_t kOutBytes = 4 * sizeof(input_event);

void TypeAndWait(int in, int out, const std::vector<input_event>& keystroke)
{
	const size_t size = keystroke.size() * sizeof(input_event);
	if (::write(in, keystroke.data(), size) != static_cast<ssize_t>(size))
		std::abort();
	char buffer[kOutBytes];
	size_t got = 0;
	while (got < kOutBytes) {
		const ssize_t count = ::read(out, buffer + got, kOutBytes - got);
		if (count <= 0)
			std::abort();
		got += static_cast<size_t>(count);
	}
}

void CopyingThread(benchmark::State& state)
{
	Pipe in, out;
	std::atomic<bool> running = true;
	std::thread copier([&] {
		char buffer[64 * sizeof(input_event)];
		pollfd poll = {in.fds[0], POLLIN, 0};
		while (running.load()) {
			if (::poll(&poll, 1, 20) <= 0)
				continue;
			const ssize_t count = ::read(in.fds[0], buffer, sizeof(buffer));
			// The same amount leaves as with the reader: two key events
			// and their reports of the six records.
			if (count > 0 && ::write(out.fds[1], buffer, kOutBytes) < 0)
				std::abort();
		}
	});
	const std::vector<input_event> keystroke = Keystroke(1700000000);
	for (auto _ : state)
		TypeAndWait(in.fds[1], out.fds[0], keystroke);
	running = false;
	copier.join();
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(CopyingThread)->UseRealTime();

void ReaderAndVirtualKeyboard(benchmark::State& state)
{
	Pipe in, out;
	std::string error;
	auto node = std::make_shared<PipeNode>(in.fds[0]);
	auto reader = stria::EvdevKeyboard::Create("/dev/input/bench", {}, node, error);
	auto keyboard = stria::UinputKeyboard::ForDescriptor(::dup(out.fds[1]), false, nullptr);
	if (!reader || !keyboard) {
		state.SkipWithError(error.c_str());
		return;
	}
	TypingSink sink(*keyboard);
	std::jthread running([&](std::stop_token stop) { reader->Run(sink, stop); });
	int64 second = 1700000000;
	for (auto _ : state)
		TypeAndWait(in.fds[1], out.fds[0], Keystroke(second++));
	running.request_stop();
	running.join();
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(ReaderAndVirtualKeyboard)->UseRealTime();

// The server's clock, put forward a tenth of a second at each key: a
// person's pace, so that each key finds room as it does on the desktop.
class PersonPaceClock : public StriaClock {
public:
	bigtime_t Now() override { return system_time() + fAhead.load(); }
	void WaitUntil(std::unique_lock<std::mutex>& lock, std::condition_variable& changed,
	               bigtime_t deadline) override
	{
		StriaClock::System()->WaitUntil(lock, changed, deadline - fAhead.load());
	}
	void NextKey() { fAhead += 100000; }

private:
	std::atomic<bigtime_t> fAhead = 0;
};

// Writes records into a pipe as the uinput keyboard does for files.
class PipeWriter : public stria::EventWriter {
public:
	explicit PipeWriter(int fd) : fFd(fd) {}
	bool Write(std::span<const stria::EventRecord> records) override
	{
		uint8 buffer[8 * stria::EventRecord::kSize];
		size_t used = 0;
		for (const stria::EventRecord& record : records) {
			record.Encode(buffer + used);
			used += stria::EventRecord::kSize;
		}
		return ::write(fFd, buffer, used) == static_cast<ssize_t>(used);
	}

private:
	int fFd;
};

// A key-down and its key-up from a person's keyboard.
std::pair<std::unique_ptr<BMessage>, std::unique_ptr<BMessage>> PersonsKey()
{
	auto mark = [](std::unique_ptr<BMessage> message) {
		message->AddInt32(STRIA_SOURCE_FIELD, 1);
		message->AddInt32(STRIA_SOURCE_KIND_FIELD, STRIA_SOURCE_KEYBOARD);
		return message;
	};
	return {mark(stria::KeyMessage::UsKey(B_KEY_DOWN, 1000, 0x3c, 0, stria::KeyStates{})),
	        mark(stria::KeyMessage::UsKey(B_KEY_UP, 2000, 0x3c, 0, stria::KeyStates{}))};
}

void ReadOut(int fd)
{
	constexpr size_t size = 4 * stria::EventRecord::kSize;
	char buffer[size];
	size_t got = 0;
	while (got < size) {
		const ssize_t count = ::read(fd, buffer + got, size - got);
		if (count <= 0)
			std::abort();
		got += static_cast<size_t>(count);
	}
}

void BareVirtualKeyboard(benchmark::State& state)
{
	Pipe out;
	PipeWriter writer(out.fds[1]);
	stria::VirtualKeyboard keyboard(writer);
	const auto [down, up] = PersonsKey();
	for (auto _ : state) {
		keyboard.Deliver(*down);
		keyboard.Deliver(*up);
		ReadOut(out.fds[0]);
	}
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BareVirtualKeyboard)->UseRealTime();

void PacedVirtualKeyboard(benchmark::State& state)
{
	Pipe out;
	PersonPaceClock clock;
	auto keyboard = stria::UinputKeyboard::ForDescriptor(::dup(out.fds[1]), false, nullptr, &clock,
	                                                     stria::PacedWriter::kEvdevReader);
	const auto [down, up] = PersonsKey();
	for (auto _ : state) {
		clock.NextKey();
		keyboard->Deliver(*down);
		keyboard->Deliver(*up);
		ReadOut(out.fds[0]);
	}
	if (keyboard->CountWaiting() > 0)
		state.SkipWithError("a key waited for its turn");
	keyboard->Finish();
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PacedVirtualKeyboard)->UseRealTime();

} // namespace
