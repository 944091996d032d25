#include "WritablePaths.h"

#include <private/LocalSocket.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace stria {

namespace {

std::string FolderOf(const std::string& path)
{
	std::string folder = std::filesystem::path(path).parent_path().string();
	return folder.empty() ? "." : folder;
}

// Why no file can be created in path's folder, if that is so.
std::optional<std::string> FolderProblem(const std::string& path)
{
	const std::string folder = FolderOf(path);
	struct stat info;
	if (::stat(folder.c_str(), &info) != 0) {
		if (errno == ENOENT)
			return "the folder " + folder + " does not exist";
		return "cannot reach the folder " + folder + ": " + std::strerror(errno);
	}
	if (!S_ISDIR(info.st_mode))
		return folder + " is not a folder";
	if (::access(folder.c_str(), W_OK | X_OK) != 0)
		return "this user may not create files in " + folder;
	return std::nullopt;
}

std::string KindOf(mode_t mode)
{
	if (S_ISDIR(mode))
		return "a folder";
	if (S_ISLNK(mode))
		return "a symbolic link";
	if (S_ISREG(mode))
		return "a regular file";
	if (S_ISCHR(mode) || S_ISBLK(mode))
		return "a device";
	if (S_ISFIFO(mode))
		return "a FIFO";
	return "not a regular file";
}

} // namespace

std::optional<PathProblem> SnapshotPathProblem(const std::string& path)
{
	auto problem = [&](const std::string& reason) {
		return PathProblem{"cannot write the snapshot " + path + ": " + reason, B_BAD_VALUE};
	};
	struct stat info;
	if (::stat(path.c_str(), &info) == 0) {
		if (!S_ISREG(info.st_mode))
			return problem("it is " + KindOf(info.st_mode) + ", not a file for a PNG picture");
		if (::access(path.c_str(), W_OK) != 0)
			return problem(std::strerror(errno));
		return std::nullopt;
	}
	if (errno != ENOENT)
		return problem(std::strerror(errno));
	if (std::optional<std::string> folder = FolderProblem(path))
		return problem(*folder);
	// Some folders (/proc, /sys) refuse new files whatever their modes say:
	// only trying tells.
	const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
	if (fd < 0)
		return problem("cannot create a file in " + FolderOf(path) + ": " + std::strerror(errno));
	::close(fd);
	::unlink(path.c_str());
	return std::nullopt;
}

std::optional<PathProblem> ControlSocketPathProblem(const std::string& path)
{
	auto problem = [&](const std::string& reason) {
		return PathProblem{"control socket " + path + ": " + reason, B_BAD_VALUE};
	};
	const size_t longest = BPrivate::LocalSocket::kMaxPathLength;
	if (path.size() > longest) {
		return problem("the path is " + std::to_string(path.size()) +
		               " bytes long; a socket path may be at most " + std::to_string(longest) +
		               " (choose a shorter one)");
	}
	if (std::optional<std::string> folder = FolderProblem(path))
		return problem(*folder);

	struct stat info;
	if (::lstat(path.c_str(), &info) != 0)
		return std::nullopt;
	if (S_ISDIR(info.st_mode))
		return problem("it is a folder; name the socket in it, such as " + path + "/input_server");
	if (!S_ISSOCK(info.st_mode)) {
		return problem("it is " + KindOf(info.st_mode) +
		               ", not a socket, and only a socket nobody answers at is replaced (remove "
		               "it, or choose another path)");
	}
	BPrivate::LocalSocket probe;
	const status_t status = BPrivate::LocalSocket::Connect(path.c_str(), &probe);
	if (status == B_OK || status == B_PERMISSION_DENIED) {
		return PathProblem{"control socket " + path + " is in use: " +
		                           (status == B_OK ? "another input server answers there"
		                                           : "the input server of another user answers "
		                                             "there") +
		                           " (stop it, or choose another path with --control-socket)",
		                   B_BUSY};
	}
	return std::nullopt; // a stale socket, replaced when the server listens
}

} // namespace stria
