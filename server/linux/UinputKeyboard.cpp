#include "UinputKeyboard.h"

#include "UsKeyboard.h"

#include <Message.h>
#include <StriaClock.h>
#include <StriaTime.h>

#include <linux/input.h>
#include <linux/uinput.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stria {

namespace {

bool WriteAll(int fd, const uint8* bytes, size_t size)
{
	while (size > 0) {
		const ssize_t written = ::write(fd, bytes, size);
		if (written < 0) {
			if (errno == EINTR)
				continue;
			return false;
		}
		bytes += written;
		size -= static_cast<size_t>(written);
	}
	return true;
}

// The uinput set-up: a keyboard with every key of the US table.
bool SetUpUinput(int fd, std::string& error)
{
	auto fail = [&](const char* what) {
		error = std::string(what) + ": " + std::strerror(errno);
		return false;
	};
	if (::ioctl(fd, UI_SET_EVBIT, EV_KEY) < 0 || ::ioctl(fd, UI_SET_EVBIT, EV_SYN) < 0)
		return fail("cannot declare key events");
	for (const UsKey& key : UsKeyboard::Keys()) {
		if (::ioctl(fd, UI_SET_KEYBIT, key.linuxCode) < 0)
			return fail("cannot declare the keys");
	}
	struct uinput_setup setup;
	std::memset(&setup, 0, sizeof(setup));
	setup.id.bustype = BUS_VIRTUAL;
	setup.id.vendor = 0x5354;
	setup.id.product = 0x0001;
	setup.id.version = 1;
	std::strncpy(setup.name, UinputKeyboard::kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
	if (::ioctl(fd, UI_DEV_SETUP, &setup) < 0) {
		// Kernels before 4.5 take the description as a write.
		struct uinput_user_dev legacy;
		std::memset(&legacy, 0, sizeof(legacy));
		legacy.id = setup.id;
		std::strncpy(legacy.name, UinputKeyboard::kDeviceName, UINPUT_MAX_NAME_SIZE - 1);
		if (!WriteAll(fd, reinterpret_cast<const uint8*>(&legacy), sizeof(legacy)))
			return fail("cannot describe the virtual keyboard");
	}
	if (::ioctl(fd, UI_DEV_CREATE) < 0)
		return fail("cannot create the virtual keyboard");
	return true;
}

} // namespace

// Writes records to a file descriptor: the kernel's struct input_event for
// uinput, the 24-byte record layout for files (the same bytes on x86-64).
class UinputKeyboard::DescriptorWriter : public EventWriter {
public:
	DescriptorWriter(int fd, bool native) : fFd(fd), fNative(native) {}

	bool Write(std::span<const EventRecord> records) override
	{
		uint8 buffer[8 * sizeof(input_event)];
		size_t used = 0;
		for (const EventRecord& record : records) {
			if (used + sizeof(input_event) > sizeof(buffer)) {
				if (!Flush(buffer, used))
					return false;
				used = 0;
			}
			if (fNative) {
				input_event event;
				std::memset(&event, 0, sizeof(event));
				event.input_event_sec =
				        static_cast<decltype(event.input_event_sec)>(record.seconds);
				event.input_event_usec =
				        static_cast<decltype(event.input_event_usec)>(record.microseconds);
				event.type = record.type;
				event.code = record.code;
				event.value = record.value;
				std::memcpy(buffer + used, &event, sizeof(event));
				used += sizeof(event);
			} else {
				record.Encode(buffer + used);
				used += EventRecord::kSize;
			}
		}
		return Flush(buffer, used);
	}

	// errno of the write that failed.
	int LastError() const { return fLastError; }

private:
	bool Flush(const uint8* buffer, size_t size)
	{
		if (WriteAll(fFd, buffer, size))
			return true;
		fLastError = errno;
		return false;
	}

	int fFd;
	bool fNative;
	int fLastError = 0;
};

UinputKeyboard::UinputKeyboard(int fd, bool uinput, Logger log, StriaClock* clock,
                               PacedWriter::Budget budget)
    : fFd(fd), fUinput(uinput), fLog(std::move(log)), fClock(clock),
      fWriter(std::make_unique<DescriptorWriter>(fd, uinput)), fPaced(*fWriter, *clock, budget),
      fKeyboard(fPaced), fGate([this](const BMessage& message) { fKeyboard.Deliver(message); }),
      fWakeAt(kLatestTime)
{
	fThread = std::thread(&UinputKeyboard::_Loop, this);
}

UinputKeyboard::~UinputKeyboard()
{
	{
		std::unique_lock lock(fLock);
		_Finish(lock);
		fStopping = true;
	}
	fChanged.notify_all();
	fThread.join();
	if (fUinput)
		::ioctl(fFd, UI_DEV_DESTROY);
	::close(fFd);
}

std::unique_ptr<UinputKeyboard>
UinputKeyboard::CreateDevice(const std::string& uinputPath,                              Logger log, std::string& error)
{
	const int fd = ::open(uinputPath.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
	if (fd < 0) {
		error = uinputPath + ": " + std::strerror(errno);
		if (errno == ENOENT || errno == ENODEV)
			error += " (load the uinput module: sudo modprobe uinput)";
		else if (errno == EACCES)
			error += " (the udev rule gives the user /dev/uinput)";
		return nullptr;
	}
	if (!SetUpUinput(fd, error)) {
		error = uinputPath + ": " + error;
		::close(fd);
		return nullptr;
	}
	// The desktop needs a moment to take up a new keyboard; keys typed
	// before that would be lost.
	::usleep(200000);
	return std::unique_ptr<UinputKeyboard>(new UinputKeyboard(
	        fd, true, std::move(log), StriaClock::System(), PacedWriter::kEvdevReader));
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::CreateFile(const std::string& path,
                                                                                                                      Logger log, std::string& error)
{
	struct stat info;
	const bool fifo = ::stat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
	// A FIFO is opened without waiting: with nobody reading it, the open
	// would block the server before anything runs, without a word.
	const int flags = O_WRONLY | O_CLOEXEC | (fifo ? O_NONBLOCK : O_CREAT | O_TRUNC);
	const int fd = ::open(path.c_str(), flags, 0600);
	if (fd < 0) {
		error = path + ": " + std::strerror(errno);
		if (fifo && errno == ENXIO)
			error = path + ": nobody reads this FIFO; start its reader first";
		return nullptr;
	}
	// Writes wait for a slow reader, as they do on a file.
	if (fifo && ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
		error = path + ": " + std::strerror(errno);
		::close(fd);
		return nullptr;
	}
	return std::unique_ptr<UinputKeyboard>(new UinputKeyboard(
	        fd, false, std::move(log), StriaClock::System(), PacedWriter::kUnpaced));
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::ForDescriptor(int fd, bool uinput, Logger log,
                                                              StriaClock* clock,
                                                              PacedWriter::Budget budget)
{
	return std::unique_ptr<UinputKeyboard>(
	        new UinputKeyboard(fd, uinput, std::move(log), clock, budget));
}

std::unique_ptr<UinputKeyboard> UinputKeyboard::ForDescriptor(int fd, bool uinput, Logger log)
{
	return ForDescriptor(fd, uinput, std::move(log), StriaClock::System(),
	                     uinput ? PacedWriter::kEvdevReader : PacedWriter::kUnpaced);
}

void UinputKeyboard::Deliver(const BMessage& message)
{
	std::unique_lock lock(fLock);
	// What waits goes first, so its room is made before this message's
	// records are added.
	while (fPaced.CountWaiting() >= kMostWaiting && fPaced.Healthy() && !fFinished) {
		fPaced.WriteDue();
		if (fPaced.CountWaiting() < kMostWaiting)
			break;
		fClock->WaitUntil(lock, fChanged, fPaced.NextDue());
	}
	fGate.Take(message, fClock->Now());
	_ReportFailure();
	_Changed();
}

void UinputKeyboard::_Changed()
{
	if (std::min(fPaced.NextDue(), fGate.Deadline()) < fWakeAt)
		fChanged.notify_all();
}

void UinputKeyboard::_Loop()
{
	std::unique_lock lock(fLock);
	while (!fStopping) {
		fGate.Expire(fClock->Now());
		fPaced.WriteDue();
		_ReportFailure();
		// With nothing to do, kLatestTime: woken by Deliver or the end.
		fWakeAt = std::min(fPaced.NextDue(), fGate.Deadline());
		fClock->WaitUntil(lock, fChanged, fWakeAt);
	}
}

void UinputKeyboard::Finish()
{
	std::unique_lock lock(fLock);
	_Finish(lock);
}

void UinputKeyboard::_Finish(std::unique_lock<std::mutex>& lock)
{
	if (fFinished)
		return;
	fFinished = true;
	fGate.ReleaseAll();
	fKeyboard.ReleaseAll();
	const bigtime_t limit = Shifted(fClock->Now(), kFinishLimit);
	for (;;) {
		fPaced.WriteDue();
		if (fPaced.CountWaiting() == 0)
			break;
		if (fClock->Now() >= limit) {
			const size_t dropped = fPaced.LetGo();
			if (fLog)
				fLog("stopping: " + std::to_string(dropped / 2) +
				     " key events could not be typed in time on the virtual keyboard and were "
				     "let go of, with the keys they held");
			break;
		}
		fClock->WaitUntil(lock, fChanged, std::min(fPaced.NextDue(), limit));
	}
	_ReportFailure();
}

void UinputKeyboard::_ReportFailure()
{
	if (fPaced.Healthy() || fReportedFailure)
		return;
	fReportedFailure = true;
	if (fLog)
		fLog(std::string("cannot type on the virtual keyboard: ") +
		     std::strerror(fWriter->LastError()) + "; nothing more is typed");
}

bool UinputKeyboard::Healthy() const
{
	std::lock_guard lock(fLock);
	return fPaced.Healthy();
}

size_t UinputKeyboard::CountWaiting() const
{
	std::lock_guard lock(fLock);
	return fPaced.CountWaiting();
}

size_t UinputKeyboard::CountHeld() const
{
	std::lock_guard lock(fLock);
	return fGate.CountHeld();
}

} // namespace stria
