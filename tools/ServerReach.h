// Why stria-listen cannot reach an input server at a control socket, in
// words for the person who started it.
#ifndef STRIA_SERVER_REACH_H
#define STRIA_SERVER_REACH_H

#include <SupportDefs.h>

#include <string>

struct Unreachable {
	std::string message;
	// B_BAD_VALUE when the path can never name a socket.
	status_t reason = B_ERROR;
};

// Looks at the socket path and tries it once: a missing folder or socket,
// something that is not a socket, a socket nobody answers at, a server of
// another user, a path too long for a socket.
Unreachable why_no_server_answers(const std::string& path);

#endif // STRIA_SERVER_REACH_H
