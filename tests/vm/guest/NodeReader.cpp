#include "NodeReader.h"

#include <linux/input.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace stria::test::vm {

NodeReader::NodeReader(const std::string& node)
{
	fFd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	if (fFd < 0)
		throw std::runtime_error(node + ": " + std::strerror(errno));
	fWake = ::eventfd(0, EFD_CLOEXEC);
	fThread = std::thread(&NodeReader::Loop, this);
}

NodeReader::~NodeReader()
{
	Stop();
	::close(fWake);
	::close(fFd);
}

void NodeReader::Stop()
{
	if (!fThread.joinable())
		return;
	const uint64_t one = 1;
	[[maybe_unused]] ssize_t written = ::write(fWake, &one, sizeof(one));
	fThread.join();
}

void NodeReader::Loop()
{
	for (;;) {
		struct pollfd watched[2] = {{fFd, POLLIN, 0}, {fWake, POLLIN, 0}};
		if (::poll(watched, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			break;
		}
		if (watched[1].revents != 0)
			return;
		input_event events[64];
		const ssize_t got = ::read(fFd, events, sizeof(events));
		if (got < 0 && (errno == EAGAIN || errno == EINTR))
			continue;
		std::lock_guard lock(fLock);
		if (got <= 0) {
			fGone = true;
			fChanged.notify_all();
			return;
		}
		for (size_t i = 0; i < static_cast<size_t>(got) / sizeof(input_event); i++) {
			EventRecord record;
			record.seconds = events[i].input_event_sec;
			record.microseconds = events[i].input_event_usec;
			record.type = events[i].type;
			record.code = events[i].code;
			record.value = events[i].value;
			fRecords.push_back(record);
		}
		fChanged.notify_all();
	}
}

bool NodeReader::WaitFor(const std::function<bool(const std::vector<EventRecord>&)>& done,
                         std::chrono::milliseconds limit)
{
	std::unique_lock lock(fLock);
	return fChanged.wait_for(lock, limit, [&] { return done(fRecords); });
}

bool NodeReader::WaitGone(std::chrono::milliseconds limit)
{
	std::unique_lock lock(fLock);
	return fChanged.wait_for(lock, limit, [&] { return fGone; });
}

std::vector<EventRecord> NodeReader::Records()
{
	std::lock_guard lock(fLock);
	return fRecords;
}

void NodeReader::Clear()
{
	std::lock_guard lock(fLock);
	fRecords.clear();
}

std::vector<uint16> NodeReader::KeysDown()
{
	unsigned char bits[(KEY_MAX + 8) / 8] = {};
	std::vector<uint16> down;
	if (::ioctl(fFd, EVIOCGKEY(sizeof(bits)), bits) < 0)
		return down;
	for (unsigned code = 0; code <= KEY_MAX; code++) {
		if (bits[code / 8] & (1u << (code % 8)))
			down.push_back(static_cast<uint16>(code));
	}
	return down;
}

} // namespace stria::test::vm
