// Private to the platform: Unix-domain sockets between processes of one user.
//
// The application kit publishes each receiving process's message port as a
// LocalSocket; the input server's control socket uses the same pieces:
//
//  - RuntimeDirectory(): the user's private directory for sockets,
//    $XDG_RUNTIME_DIR/stria/, else /run/user/<uid>/stria/ when /run/user/<uid>
//    exists, else /tmp/stria-<uid>/. It is created with mode 0700; an existing
//    one is used only when it is a real directory (not a link) owned by the
//    user with no access for group or others.
//  - Listen(): a listening socket at a path, mode 0600. A stale socket file
//    that nobody answers is replaced; a live one is left alone.
//  - Accept() and Connect() check the peer's credentials (SO_PEERCRED) on
//    every connection: a peer running as another user is refused whatever
//    the file modes allow.
//  - SendFrame()/ReceiveFrame(): framed messages. A frame is an 8-byte
//    header, the bytes 'S' 't' 'F' 'r' and the body's length as a
//    little-endian uint32, followed by the body. Reads and writes resume
//    after partial transfers and interruptions; writes never raise SIGPIPE.
//    A frame longer than the reader's limit or with a wrong header is
//    refused (B_BAD_DATA) and the stream must then be closed, as after a
//    time-out in the middle of a frame. FrameReader (FrameReader.h) takes
//    frames apart from bytes read without blocking.
//
// Errors: B_NAME_NOT_FOUND when nobody listens at a path, B_PERMISSION_DENIED
// for a refused peer or an unsafe directory, B_TIMED_OUT (B_WOULD_BLOCK for a
// time-out of 0), B_BAD_DATA for a malformed frame, B_IO_ERROR when the peer
// has gone or the connection broke, B_BAD_VALUE for an unusable path,
// B_NO_MORE_FDS when this process (or the system) has no descriptor left.
#ifndef _LOCAL_SOCKET_H
#define _LOCAL_SOCKET_H

#include <SupportDefs.h>

#include <string>
#include <vector>

namespace BPrivate {

class LocalSocket {
public:
	static constexpr size_t kFrameHeaderSize = 8;
	static constexpr char kFrameMagic[4] = {'S', 't', 'F', 'r'};
	// Largest frame body a reader accepts unless told otherwise.
	static constexpr size_t kDefaultMaxFrameSize = 16 * 1024 * 1024;
	// Longest path a socket can have (sockaddr_un's sun_path, less its
	// terminating zero); Listen and Connect refuse longer ones (B_BAD_VALUE).
	static constexpr size_t kMaxPathLength = 107;

	LocalSocket() = default;
	explicit LocalSocket(int fd) : fFD(fd) {}
	LocalSocket(LocalSocket&& other) noexcept;
	LocalSocket& operator=(LocalSocket&& other) noexcept;
	~LocalSocket();

	LocalSocket(const LocalSocket&) = delete;
	LocalSocket& operator=(const LocalSocket&) = delete;

	bool IsOpen() const { return fFD >= 0; }
	int FD() const { return fFD; }
	// Gives up ownership of the descriptor.
	int Release();
	void Close();

	// The user's runtime directory, created if missing; see above. When it
	// is unusable, *problem (if given) names it and says what is wrong, in
	// one line: "/tmp/stria-1000 is a symbolic link, not a directory".
	static status_t RuntimeDirectory(std::string* path, std::string* problem = nullptr);
	// Checks that an existing directory is safe to keep sockets in: a
	// directory, not a link, this user's, mode 0700 or stricter.
	static status_t CheckPrivateDirectory(const char* path, std::string* problem = nullptr);

	static status_t Listen(const char* path, LocalSocket* listener);
	static status_t Connect(const char* path, LocalSocket* socket);
	// The same, waiting at most timeout while the listener's backlog is
	// full: B_WOULD_BLOCK at once for 0 (the socket is then non-blocking),
	// B_TIMED_OUT after a longer time-out.
	static status_t Connect(const char* path, LocalSocket* socket, bigtime_t timeout);

	// Accepts the next peer; B_PERMISSION_DENIED when it runs as another
	// user, and the peer's connection is then closed, or handed to refused
	// (when given) so that the peer can be told why. Blocks unless the
	// listener was made non-blocking.
	status_t Accept(LocalSocket* peer, LocalSocket* refused = nullptr) const;
	// B_OK when the connected peer runs as the same user as this process.
	status_t CheckPeer() const;
	// The peer's process id, or -1.
	pid_t PeerProcess() const;

	status_t SetNonBlocking(bool nonBlocking) const;

	// Time-outs are relative, in microseconds; B_INFINITE_TIMEOUT waits for
	// ever. The body may be empty.
	status_t SendFrame(const void* body, size_t size, bigtime_t timeout) const;
	// Sends bytes that already hold one or more complete frames; *sent (if
	// given) tells how many went out, also when the send failed.
	status_t SendAll(const void* bytes, size_t size, bigtime_t timeout,
	                 size_t* sent = nullptr) const;
	status_t ReceiveFrame(std::vector<char>* body, bigtime_t timeout,
	                      size_t maxSize = kDefaultMaxFrameSize) const;

	static void WriteFrameHeader(char* header, size_t bodySize);

private:
	status_t _ReceiveAll(char* buffer, size_t size, bigtime_t deadline, bool* started) const;

	int fFD = -1;
};

} // namespace BPrivate

#endif // _LOCAL_SOCKET_H
