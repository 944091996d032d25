#include "EvdevKeyboard.h"

#include "EventFile.h"
#include "KeyMessage.h"
#include "UsKeyboard.h"

#include <Message.h>
#include <OS.h>
#include <StriaProtocol.h>
#include <StriaTime.h>

#include <linux/input.h>

#include <cerrno>
#include <cstring>
#include <limits>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace stria {

namespace {

EventRecord FromNative(const input_event& event)
{
	EventRecord record;
	record.seconds = event.input_event_sec;
	record.microseconds = event.input_event_usec;
	record.type = event.type;
	record.code = event.code;
	record.value = event.value;
	return record;
}

std::string GrabAdvice(int error)
{
	if (error == EBUSY)
		return " (another program holds it; --no-grab shares it)";
	return "";
}

} // namespace

EvdevKeyboard::EvdevKeyboard(const std::string& path, const Options& options,
                             std::shared_ptr<EvdevNode> node, EvdevNode::Kind kind)
    : fPath(path), fOptions(options), fNode(std::move(node)), fKind(kind),
      fWakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
}

EvdevKeyboard::~EvdevKeyboard()
{
	if (fFd >= 0)
		fNode->Close(fFd);
	if (fWakeFd >= 0)
		::close(fWakeFd);
}

std::unique_ptr<EvdevKeyboard> EvdevKeyboard::Create(const std::string& path,
                                                     const Options& options,
                                                     std::shared_ptr<EvdevNode> node,
                                                     std::string& error)
{
	std::string problem;
	const EvdevNode::Kind kind = node->Inspect(path, problem);
	std::unique_ptr<EvdevKeyboard> keyboard(new EvdevKeyboard(path, options, node, kind));
	if (keyboard->fWakeFd < 0) {
		error = path + ": " + std::strerror(errno);
		return nullptr;
	}
	switch (kind) {
	case EvdevNode::Kind::Missing:
		error = path + ": " + problem;
		return nullptr;
	case EvdevNode::Kind::Other:
		error = path + ": not an input device or a file of input events";
		return nullptr;
	case EvdevNode::Kind::EventFile:
		if (!EventFile::Load(path, keyboard->fRecords, error))
			return nullptr;
		return keyboard;
	case EvdevNode::Kind::Stream:
		keyboard->fFd = node->Open(path);
		if (keyboard->fFd < 0) {
			error = path + ": " + std::strerror(errno);
			return nullptr;
		}
		return keyboard;
	case EvdevNode::Kind::Device:
		if (!keyboard->OpenDevice(error))
			return nullptr;
		return keyboard;
	}
	return nullptr;
}

bool EvdevKeyboard::OpenDevice(std::string& error)
{
	const int fd = fNode->Open(fPath);
	if (fd < 0) {
		error = fPath + ": " + std::strerror(errno);
		if (errno == EACCES)
			error += " (the udev rule gives the scanner's user access)";
		return false;
	}
	if (!fNode->IsInputDevice(fd)) {
		fNode->Close(fd);
		error = fPath + ": not an input device";
		return false;
	}
	// At once, while nothing is queued yet: a kernel that changes the clock
	// of a client with events queued drops them and says so, and the keys
	// of that moment would be lost.
	fMonotonic = fNode->UseMonotonicClock(fd) == 0;
	if (fOptions.grab) {
		// A key held while the device is taken (the Enter that started the
		// server) would never be released on the desktop: wait a little
		// for the keyboard to be let go of first.
		for (bigtime_t waited = 0; waited < fOptions.releaseWait && !fNode->KeysDown(fd).empty();
		     waited += 10000) {
			::usleep(10000);
		}
		const int grabError = fNode->Grab(fd, true);
		if (grabError != 0) {
			fNode->Close(fd);
			error = fPath +
			        ": cannot take the device for Stria alone: " + std::strerror(grabError) +
			        GrabAdvice(grabError);
			return false;
		}
	}
	fFd = fd;
	fTranslator = KeyEventTranslator(fNode->Locks(fd));
	return true;
}

std::string EvdevKeyboard::Name() const
{
	switch (fKind) {
	case EvdevNode::Kind::EventFile:
		return "event file " + fPath;
	case EvdevNode::Kind::Stream:
		return "event stream " + fPath;
	default:
		return "keyboard " + fPath;
	}
}

void EvdevKeyboard::Run(InputSink& sink, std::stop_token stop)
{
	const int wakeFd = fWakeFd;
	std::stop_callback wake(stop, [wakeFd] {
		const uint64 one = 1;
		[[maybe_unused]] ssize_t written = ::write(wakeFd, &one, sizeof(one));
	});
	switch (fKind) {
	case EvdevNode::Kind::EventFile:
		PlayFile(sink, stop);
		break;
	case EvdevNode::Kind::Stream:
		ReadStream(sink, stop);
		break;
	case EvdevNode::Kind::Device:
		ReadDevice(sink, stop);
		break;
	default:
		break;
	}
}

void EvdevKeyboard::PlayFile(InputSink& sink, std::stop_token stop)
{
	fRelative.emplace(sink.InputStart());
	KeyboardState::Messages messages;
	for (const EventRecord& record : fRecords) {
		if (stop.stop_requested())
			return;
		// Parse() has checked every time stamp. The first record, whatever
		// it is, is the file's start.
		const bigtime_t due = OnServerClock(*record.When());
		messages.clear();
		fTranslator.Translate(record, messages);
		if (messages.empty())
			continue;
		if (!fOptions.fast && due > system_time()) {
			sink.Quiet(due);
			WaitFor(stop, due - system_time());
		}
		if (stop.stop_requested())
			return;
		Send(messages, sink);
	}
}

void EvdevKeyboard::ReadStream(InputSink& sink, std::stop_token stop)
{
	while (!stop.stop_requested()) {
		if (!WaitReadable(stop))
			return;
		if (!ReadAvailable(sink)) {
			if (fStreamDecoder.Pending() != 0) {
				sink.Fail(fPath + ": not a stream of input events: it ends " +
				                  std::to_string(fStreamDecoder.Pending()) + " bytes into a " +
				                  std::to_string(EventRecord::kSize) + "-byte record",
				          B_BAD_DATA);
			}
			return;
		}
		if (fStreamBroken)
			return;
	}
}

void EvdevKeyboard::ReadDevice(InputSink& sink, std::stop_token stop)
{
	while (!stop.stop_requested()) {
		if (fFd < 0) {
			WaitFor(stop, fOptions.reopenInterval);
			if (stop.stop_requested())
				return;
			std::string error;
			if (fNode->Inspect(fPath, error) == EvdevNode::Kind::Device && OpenDevice(error))
				sink.Log(fPath + ": the keyboard is back");
			continue;
		}
		if (!WaitReadable(stop))
			return;
		if (ReadAvailable(sink))
			continue;
		// The device is gone (unplugged, or its node removed): let go of
		// every key it held so nothing stays pressed, and wait for it.
		KeyboardState::Messages messages;
		fTranslator.ReleaseAll(system_time(), messages);
		// Stamped on the server's clock already.
		for (auto& message : messages) {
			message->AddBool(STRIA_KEYBOARD_GONE_FIELD, true);
			sink.Enqueue(std::move(message));
		}
		fNode->Close(fFd);
		fFd = -1;
		sink.Log(fPath + ": the keyboard has gone; waiting for it to come back");
	}
}

bool EvdevKeyboard::ReadAvailable(InputSink& sink)
{
	uint8 buffer[64 * sizeof(input_event)];
	const ssize_t count = ::read(fFd, buffer, sizeof(buffer));
	if (count < 0)
		return errno == EAGAIN || errno == EINTR;
	if (count == 0)
		return false;
	std::vector<EventRecord> records;
	if (fKind == EvdevNode::Kind::Device) {
		// The kernel hands over whole events in its own layout.
		for (ssize_t offset = 0; offset + static_cast<ssize_t>(sizeof(input_event)) <= count;
		     offset += sizeof(input_event)) {
			input_event event;
			std::memcpy(&event, buffer + offset, sizeof(event));
			records.push_back(FromNative(event));
		}
	} else if (!fStreamDecoder.Feed(std::span<const uint8>(buffer, static_cast<size_t>(count)),
	                                records)) {
		fStreamBroken = true;
	}
	for (const EventRecord& record : records)
		Deliver(record, sink);
	// Bad input on a FIFO counts as much as in a file, once what came
	// before it has played.
	if (fStreamBroken)
		sink.Fail(fPath + ": not a stream of input events: " + fStreamDecoder.Problem() +
		                  "; reading no further",
		          B_BAD_DATA);
	return true;
}

void EvdevKeyboard::Deliver(const EventRecord& record, InputSink& sink)
{
	if (record.type == EV_KEY && record.value == 1 && record.code < fUnknownReported.size() &&
	    UsKeyboard::BeKeyFromLinux(record.code) == 0 && !fUnknownReported.test(record.code)) {
		fUnknownReported.set(record.code);
		sink.Log(fPath + ": key code " + std::to_string(record.code) +
		         " has no place on a US PC keyboard and is not passed on");
	}
	KeyboardState::Messages messages;
	fTranslator.Translate(record, messages);
	if (fTranslator.NeedsResync()) {
		const std::vector<uint16> down = fNode->KeysDown(fFd);
		fTranslator.Resync(
		        down, record.When().value_or(fMonotonic ? system_time() : real_time_clock_usecs()),
		        messages);
	}
	if (fKind == EvdevNode::Kind::Stream && !fRelative)
		fRelative.emplace(system_time());
	Send(messages, sink);
}

void EvdevKeyboard::Send(KeyboardState::Messages& messages, InputSink& sink)
{
	for (auto& message : messages) {
		bigtime_t when;
		if (message->FindInt64("when", &when) == B_OK && !(fMonotonic && !fRelative))
			message->ReplaceInt64("when", OnServerClock(when));
		sink.Enqueue(std::move(message));
	}
}

bigtime_t EvdevKeyboard::OnServerClock(bigtime_t recorded)
{
	if (fRelative)
		return fRelative->OnServerClock(recorded);
	if (fMonotonic)
		return recorded;
	// A kernel that cannot stamp on the monotonic clock: the real-time
	// stamp less the clocks' distance now.
	return recorded - (real_time_clock_usecs() - system_time());
}

bool EvdevKeyboard::WaitReadable(std::stop_token stop)
{
	struct pollfd fds[2] = {{fFd, POLLIN, 0}, {fWakeFd, POLLIN, 0}};
	while (!stop.stop_requested()) {
		const int ready = ::poll(fds, 2, -1);
		if (ready < 0 && errno == EINTR)
			continue;
		// Readable, or hung up or failed: the read that follows tells which.
		return ready > 0 && (fds[1].revents & POLLIN) == 0;
	}
	return false;
}

void EvdevKeyboard::WaitFor(std::stop_token stop, bigtime_t microseconds)
{
	if (microseconds <= 0)
		return;
	const bigtime_t end = Shifted(system_time(), microseconds);
	struct pollfd wake = {fWakeFd, POLLIN, 0};
	for (bigtime_t left = microseconds; left > 0 && !stop.stop_requested();
	     left = end - system_time()) {
		struct timespec limit = {static_cast<time_t>(left / 1000000),
		                         static_cast<long>(left % 1000000) * 1000};
		if (::ppoll(&wake, 1, &limit, nullptr) > 0)
			return;
	}
}

} // namespace stria
