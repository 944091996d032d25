#include <private/FrameReader.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>

namespace BPrivate {

FrameReader::FrameReader(size_t maxFrameSize) : fMaxFrameSize(maxFrameSize) {}

status_t FrameReader::Feed(const void* bytes, size_t size)
{
	if (fFailed)
		return B_BAD_DATA;
	// Drop what complete frames have been taken before the buffer grows.
	if (fStart > 0 && fStart == fBuffer.size()) {
		fBuffer.clear();
		fStart = 0;
	} else if (fStart > 64 * 1024 && fStart * 2 > fBuffer.size()) {
		fBuffer.erase(fBuffer.begin(), fBuffer.begin() + ptrdiff_t(fStart));
		fStart = 0;
	}
	const char* at = static_cast<const char*>(bytes);
	fBuffer.insert(fBuffer.end(), at, at + size);
	return _CheckHeader();
}

status_t FrameReader::ReadFrom(int fd, size_t maxBytes)
{
	if (fFailed)
		return B_BAD_DATA;
	char chunk[16 * 1024];
	size_t total = 0;
	while (total < maxBytes) {
		ssize_t received =
		        recv(fd, chunk, std::min(sizeof(chunk), maxBytes - total), MSG_DONTWAIT);
		if (received > 0) {
			total += size_t(received);
			status_t status = Feed(chunk, size_t(received));
			if (status != B_OK)
				return status;
			continue;
		}
		if (received == 0)
			return B_IO_ERROR;
		if (errno == EINTR)
			continue;
		if (errno == EAGAIN || errno == EWOULDBLOCK)
			return B_OK;
		return B_IO_ERROR;
	}
	return B_OK;
}

status_t FrameReader::_CheckHeader()
{
	// Only the header of the next frame can be checked before its body is
	// complete; NextFrame checks the ones behind it as it gets to them.
	size_t available = BufferedSize();
	if (available == 0)
		return B_OK;
	size_t compare = std::min(available, sizeof(LocalSocket::kFrameMagic));
	if (memcmp(Buffered(), LocalSocket::kFrameMagic, compare) != 0) {
		fFailed = true;
		return B_BAD_DATA;
	}
	if (available >= LocalSocket::kFrameHeaderSize) {
		const uint8* size = reinterpret_cast<const uint8*>(Buffered() + 4);
		uint32 bodySize = uint32(size[0]) | uint32(size[1]) << 8 | uint32(size[2]) << 16 |
		                  uint32(size[3]) << 24;
		if (bodySize > fMaxFrameSize) {
			fFailed = true;
			return B_BAD_DATA;
		}
	}
	return B_OK;
}

bool FrameReader::NextFrame(std::vector<char>* body)
{
	if (fFailed || BufferedSize() < LocalSocket::kFrameHeaderSize)
		return false;
	const uint8* size = reinterpret_cast<const uint8*>(Buffered() + 4);
	uint32 bodySize =
	        uint32(size[0]) | uint32(size[1]) << 8 | uint32(size[2]) << 16 | uint32(size[3]) << 24;
	if (BufferedSize() - LocalSocket::kFrameHeaderSize < bodySize)
		return false;
	const char* start = Buffered() + LocalSocket::kFrameHeaderSize;
	body->assign(start, start + bodySize);
	fStart += LocalSocket::kFrameHeaderSize + bodySize;
	_CheckHeader();
	return true;
}

} // namespace BPrivate
