#include "ServerReach.h"

#include <private/LocalSocket.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

Unreachable why_no_server_answers(const std::string& path)
{
	const size_t longest = BPrivate::LocalSocket::kMaxPathLength;
	if (path.size() > longest) {
		return {"the path is " + std::to_string(path.size()) +
		                " bytes long; a socket path may be at most " + std::to_string(longest),
		        B_BAD_VALUE};
	}
	struct stat info;
	if (::lstat(path.c_str(), &info) != 0) {
		if (errno != ENOENT)
			return {std::strerror(errno)};
		std::string folder = std::filesystem::path(path).parent_path().string();
		if (folder.empty())
			folder = ".";
		if (::stat(folder.c_str(), &info) != 0)
			return {"the folder " + folder + " does not exist (is the path right?)"};
		return {"there is no socket there (is stria-input-server running?)"};
	}
	if (S_ISDIR(info.st_mode))
		return {"it is a folder, not a socket (is the path right?)"};
	if (!S_ISSOCK(info.st_mode))
		return {"it is not a socket (is the path right?)"};

	BPrivate::LocalSocket probe;
	switch (BPrivate::LocalSocket::Connect(path.c_str(), &probe)) {
	case B_OK:
		return {"it answers now but did not a moment ago; try again"};
	case B_PERMISSION_DENIED:
		return {"the server there runs as another user (uid " + std::to_string(info.st_uid) +
		        "), and only the user that runs the server may listen to it"};
	case B_NAME_NOT_FOUND:
		return {"nothing listens at the socket (a server that was stopped without removing "
		        "it?)"};
	default:
		return {"the socket cannot be connected to"};
	}
}
