#include "ReplayScriptFile.h"

#include "ReplayScript.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace stria {

namespace {

std::string TooLarge(const std::string& name)
{
	return name + " is larger than " + std::to_string(kMaxReplayScriptBytes) +
	       " bytes (16 MiB), the most a replay script may be";
}

// Closes the descriptor unless it is standard input.
class ScriptDescriptor {
public:
	explicit ScriptDescriptor(int fd) : fFd(fd) {}
	~ScriptDescriptor()
	{
		if (fFd > STDIN_FILENO)
			::close(fFd);
	}
	ScriptDescriptor(const ScriptDescriptor&) = delete;
	ScriptDescriptor& operator=(const ScriptDescriptor&) = delete;

	int Get() const { return fFd; }

private:
	int fFd;
};

} // namespace

std::string ReplayScriptName(const std::string& path)
{
	return path == "-" ? "standard input" : path;
}

bool ReadReplayScriptFile(const std::string& path, std::string* text, std::string* error)
{
	const std::string name = ReplayScriptName(path);
	ScriptDescriptor fd(path == "-" ? STDIN_FILENO : ::open(path.c_str(), O_RDONLY | O_CLOEXEC));
	if (fd.Get() < 0) {
		*error = "cannot read replay script " + path + ": " + std::strerror(errno);
		return false;
	}
	struct stat info;
	if (::fstat(fd.Get(), &info) != 0) {
		*error = errno == EBADF && path == "-"
		                 ? std::string("standard input is closed; there is no script to read")
		                 : "cannot read replay script " + name + ": " + std::strerror(errno);
		return false;
	}
	if (S_ISDIR(info.st_mode)) {
		*error = name + " is a folder, not a replay script";
		return false;
	}
	if (S_ISREG(info.st_mode) && static_cast<uint64_t>(info.st_size) > kMaxReplayScriptBytes) {
		*error = TooLarge(name);
		return false;
	}

	std::string read;
	char buffer[64 * 1024];
	for (;;) {
		const ssize_t got = ::read(fd.Get(), buffer, sizeof(buffer));
		if (got < 0 && errno == EINTR)
			continue;
		if (got < 0) {
			*error = "cannot read replay script " + name + ": " + std::strerror(errno);
			return false;
		}
		if (got == 0)
			break;
		if (read.size() + static_cast<size_t>(got) > kMaxReplayScriptBytes) {
			*error = TooLarge(name);
			return false;
		}
		read.append(buffer, static_cast<size_t>(got));
	}
	*text = std::move(read);
	return true;
}

} // namespace stria
