// Checks, made before anything runs, of the paths the server will write
// to: the picture of --snapshot and the control socket. Each names the path
// and the reason, so that a wrong path is said at once and not after the
// whole session.
#ifndef STRIA_WRITABLE_PATHS_H
#define STRIA_WRITABLE_PATHS_H

#include <SupportDefs.h>

#include <optional>
#include <string>

namespace stria {

struct PathProblem {
	std::string message;
	// B_BAD_VALUE: the path itself is wrong; B_BUSY: something else holds it.
	status_t reason = B_BAD_VALUE;
};

// Whether a PNG picture can be written at path: an existing regular file
// this user may write to, or a new file in a folder this user may create
// files in (tried now, and removed again).
std::optional<PathProblem> SnapshotPathProblem(const std::string& path);

// Whether the server can listen at path: short enough for a socket, in a
// folder this user may create files in, and either free or a stale socket
// nobody answers at. A live server there is refused with B_BUSY.
std::optional<PathProblem> ControlSocketPathProblem(const std::string& path);

} // namespace stria

#endif // STRIA_WRITABLE_PATHS_H
