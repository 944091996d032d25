// Private to the platform: takes the frames of a LocalSocket stream (see
// LocalSocket.h) apart from bytes that arrive in pieces of any size.
#ifndef _FRAME_READER_H
#define _FRAME_READER_H

#include <SupportDefs.h>
#include <private/LocalSocket.h>

#include <vector>

namespace BPrivate {

class FrameReader {
public:
	explicit FrameReader(size_t maxFrameSize = LocalSocket::kDefaultMaxFrameSize);

	// Appends received bytes. Returns B_BAD_DATA once the stream shows a
	// malformed header or an oversized frame; the reader then refuses all
	// further input.
	status_t Feed(const void* bytes, size_t size);
	// Reads what the socket has without blocking, at most maxBytes of it
	// (the rest stays in the socket). B_OK when bytes came or
	// none were waiting, B_IO_ERROR at the end of the stream or on an error,
	// B_BAD_DATA as for Feed.
	status_t ReadFrom(int fd, size_t maxBytes = 64 * 1024);

	// Moves the next complete frame's body into body.
	bool NextFrame(std::vector<char>* body);
	// Bytes received beyond the complete frames taken so far.
	size_t BufferedSize() const { return fBuffer.size() - fStart; }
	const char* Buffered() const { return fBuffer.data() + fStart; }
	bool Failed() const { return fFailed; }

private:
	status_t _CheckHeader();

	std::vector<char> fBuffer;
	size_t fStart = 0;
	size_t fMaxFrameSize;
	bool fFailed = false;
};

} // namespace BPrivate

#endif // _FRAME_READER_H
