// The operating-system calls the keyboard reader makes on a path: what kind
// of file it is, opening it, and the evdev requests on an open device. The
// reader goes through this seam only, so that tests drive it with pipes and
// regular files where there is no /dev/input.
#ifndef STRIA_EVDEV_NODE_H
#define STRIA_EVDEV_NODE_H

#include <SupportDefs.h>

#include <string>
#include <vector>

namespace stria {

class EvdevNode {
public:
	enum class Kind { Missing, Device, EventFile, Stream, Other };

	virtual ~EvdevNode() = default;

	// What is at path: a character device (Device), a regular file
	// (EventFile), a FIFO (Stream), anything else (Other), or nothing
	// (Missing, with errno's text in error).
	virtual Kind Inspect(const std::string& path, std::string& error);

	// A file descriptor opened for reading without blocking, or -1 with
	// errno set.
	virtual int Open(const std::string& path);
	virtual void Close(int fd);

	// EVIOCGVERSION: true when fd is an evdev node.
	virtual bool IsInputDevice(int fd);
	// EVIOCGRAB; 0 or an errno value.
	virtual int Grab(int fd, bool grab);
	// EVIOCSCLOCKID: the kernel stamps fd's events on CLOCK_MONOTONIC, the
	// server's clock, from now on; 0 or an errno value.
	virtual int UseMonotonicClock(int fd);
	// The lock bits (B_CAPS_LOCK, B_NUM_LOCK, B_SCROLL_LOCK) whose lights are on.
	virtual uint32 Locks(int fd);
	// The Linux key codes the kernel holds as down.
	virtual std::vector<uint16> KeysDown(int fd);
};

} // namespace stria

#endif // STRIA_EVDEV_NODE_H
