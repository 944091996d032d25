#include "TestKeyboard.h"

#include "UsKeyboard.h"

#include <linux/input.h>
#include <linux/uinput.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace stria::test::vm {

namespace {

[[noreturn]] void Fail(const std::string& what)
{
	throw std::runtime_error(what + ": " + std::strerror(errno));
}

std::string ReadLine(const fs::path& path)
{
	std::ifstream in(path);
	std::string line;
	std::getline(in, line);
	return line;
}

} // namespace

std::string FindNode(const std::string& name)
{
	std::error_code error;
	for (const auto& entry : fs::directory_iterator("/sys/class/input", error)) {
		const std::string file = entry.path().filename().string();
		if (file.rfind("event", 0) != 0 || ReadLine(entry.path() / "device" / "name") != name)
			continue;
		// The kernel makes the device node a moment after the device shows
		// in sysfs; until then the device is not there for a reader.
		const std::string node = "/dev/input/" + file;
		return fs::exists(node, error) ? node : "";
	}
	return "";
}

TestKeyboard::TestKeyboard(std::string name, std::string id)
    : fName(std::move(name)), fId(std::move(id))
{
	Plug();
}

TestKeyboard::~TestKeyboard()
{
	Unplug();
	std::error_code error;
	fs::remove(Link(), error);
}

std::string TestKeyboard::Link() const
{
	return "/dev/input/by-id/" + fId;
}

void TestKeyboard::Plug()
{
	if (fFd >= 0)
		return;
	fFd = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
	if (fFd < 0)
		Fail("/dev/uinput");
	::ioctl(fFd, UI_SET_EVBIT, EV_KEY);
	::ioctl(fFd, UI_SET_EVBIT, EV_MSC);
	::ioctl(fFd, UI_SET_EVBIT, EV_LED);
	::ioctl(fFd, UI_SET_MSCBIT, MSC_SCAN);
	::ioctl(fFd, UI_SET_LEDBIT, LED_CAPSL);
	::ioctl(fFd, UI_SET_LEDBIT, LED_NUML);
	for (const UsKey& key : UsKeyboard::Keys())
		::ioctl(fFd, UI_SET_KEYBIT, key.linuxCode);
	struct uinput_setup setup;
	std::memset(&setup, 0, sizeof(setup));
	setup.id.bustype = BUS_USB;
	setup.id.vendor = 0x1209;
	setup.id.product = 0x0001;
	std::strncpy(setup.name, fName.c_str(), UINPUT_MAX_NAME_SIZE - 1);
	if (::ioctl(fFd, UI_DEV_SETUP, &setup) < 0 || ::ioctl(fFd, UI_DEV_CREATE) < 0)
		Fail("cannot make " + fName);
	// The node comes with the device; give devtmpfs a moment.
	for (int tries = 0; tries < 500 && (fNode = FindNode(fName)).empty(); tries++)
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	if (fNode.empty() || !fs::exists(fNode))
		throw std::runtime_error("no event node for " + fName);
	fs::create_directories("/dev/input/by-id");
	std::error_code error;
	fs::remove(Link(), error);
	fs::create_symlink("../" + fs::path(fNode).filename().string(), Link());
}

void TestKeyboard::Unplug()
{
	if (fFd < 0)
		return;
	::ioctl(fFd, UI_DEV_DESTROY);
	::close(fFd);
	fFd = -1;
	fNode.clear();
}

void TestKeyboard::Write(uint16 type, uint16 code, int32 value)
{
	struct input_event event;
	std::memset(&event, 0, sizeof(event));
	event.type = type;
	event.code = code;
	event.value = value;
	if (::write(fFd, &event, sizeof(event)) != static_cast<ssize_t>(sizeof(event)))
		Fail("cannot type on " + fName);
}

void TestKeyboard::Play(std::span<const EventRecord> records)
{
	if (!records.empty())
		Play(records, std::chrono::steady_clock::now(), *records.front().When());
}

void TestKeyboard::Play(std::span<const EventRecord> records,
                        std::chrono::steady_clock::time_point start, bigtime_t origin)
{
	// A keyboard that fell behind (its thread was not run) goes on at its
	// pace from there rather than typing what it owes all at once; but a
	// few records due a moment after the one before (a scanner's F10 and
	// first keys) go at once, as the device's own would: the kernel stamps
	// them as they are written, and a scan's start stretched by a stall of
	// this thread would be no scan. A few only: a long burst would overflow
	// the reader's buffer, which no scanner does.
	constexpr std::chrono::milliseconds kLatest{5};
	constexpr int kBurst = 16;
	std::chrono::steady_clock::duration behind{};
	bigtime_t previous = origin;
	int burst = 0;
	for (const EventRecord& record : records) {
		if (record.type != EV_KEY && record.type != EV_MSC && record.type != EV_SYN)
			continue;
		const auto due = start + behind + std::chrono::microseconds(*record.When() - origin);
		const auto now = std::chrono::steady_clock::now();
		const bool moment = *record.When() - previous < kLatest.count() * 1000;
		previous = *record.When();
		if (now <= due + kLatest) {
			std::this_thread::sleep_until(due);
			burst = 0;
		} else if (moment && burst < kBurst) {
			burst++;
		} else {
			behind += now - due;
			burst = 0;
		}
		Write(record.type, record.code, record.value);
	}
}

void TestKeyboard::Key(uint16 code, int32 value)
{
	Write(EV_KEY, code, value);
	Write(EV_SYN, SYN_REPORT, 0);
}

void TestKeyboard::SetCapsLock(bool on)
{
	Write(EV_LED, LED_CAPSL, on ? 1 : 0);
	Write(EV_SYN, SYN_REPORT, 0);
}

} // namespace stria::test::vm
