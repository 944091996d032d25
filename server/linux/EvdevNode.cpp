#include "EvdevNode.h"

#include <InterfaceDefs.h>

#include <linux/input.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace stria {

namespace {

bool TestBit(const unsigned char* bits, unsigned bit)
{
	return (bits[bit / 8] & (1u << (bit % 8))) != 0;
}

} // namespace

EvdevNode::Kind EvdevNode::Inspect(const std::string& path, std::string& error)
{
	struct stat info;
	if (::stat(path.c_str(), &info) != 0) {
		error = std::strerror(errno);
		return Kind::Missing;
	}
	if (S_ISCHR(info.st_mode))
		return Kind::Device;
	if (S_ISREG(info.st_mode))
		return Kind::EventFile;
	if (S_ISFIFO(info.st_mode))
		return Kind::Stream;
	return Kind::Other;
}

int EvdevNode::Open(const std::string& path)
{
	return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
}

void EvdevNode::Close(int fd)
{
	if (fd >= 0)
		::close(fd);
}

bool EvdevNode::IsInputDevice(int fd)
{
	int version = 0;
	return ::ioctl(fd, EVIOCGVERSION, &version) == 0;
}

int EvdevNode::Grab(int fd, bool grab)
{
	return ::ioctl(fd, EVIOCGRAB, grab ? 1 : 0) == 0 ? 0 : errno;
}

int EvdevNode::UseMonotonicClock(int fd)
{
	int clock = CLOCK_MONOTONIC;
	return ::ioctl(fd, EVIOCSCLOCKID, &clock) == 0 ? 0 : errno;
}

uint32 EvdevNode::Locks(int fd)
{
	unsigned char leds[(LED_MAX + 8) / 8] = {};
	if (::ioctl(fd, EVIOCGLED(sizeof(leds)), leds) < 0)
		return 0;
	uint32 locks = 0;
	if (TestBit(leds, LED_CAPSL))
		locks |= B_CAPS_LOCK;
	if (TestBit(leds, LED_NUML))
		locks |= B_NUM_LOCK;
	if (TestBit(leds, LED_SCROLLL))
		locks |= B_SCROLL_LOCK;
	return locks;
}

std::vector<uint16> EvdevNode::KeysDown(int fd)
{
	unsigned char keys[(KEY_MAX + 8) / 8] = {};
	std::vector<uint16> down;
	if (::ioctl(fd, EVIOCGKEY(sizeof(keys)), keys) < 0)
		return down;
	for (unsigned code = 0; code <= KEY_MAX; code++) {
		if (TestBit(keys, code))
			down.push_back(static_cast<uint16>(code));
	}
	return down;
}

} // namespace stria
