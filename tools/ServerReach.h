// Why stria-listen cannot reach an input server at a control socket, in
// words for the person who started it.
#ifndef STRIA_SERVER_REACH_H
#define STRIA_SERVER_REACH_H

#include <string>

struct Unreachable {
	std::string reason;
	int exitStatus = 1; // 2 when the path can never name a socket
};

// Looks at the socket path and tries it once: a missing folder or socket,
// something that is not a socket, a socket nobody answers at, a server of
// another user, a path too long for a socket.
Unreachable why_no_server_answers(const std::string& path);

#endif // STRIA_SERVER_REACH_H
