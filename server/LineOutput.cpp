#include "LineOutput.h"

#include <cerrno>

namespace stria {

LineOutput::LineOutput(std::FILE* stream, std::string prefix, FailureHandler onFailure)
    : fStream(stream), fPrefix(std::move(prefix)), fOnFailure(std::move(onFailure))
{
}

void LineOutput::Write(std::string_view line)
{
	std::string whole;
	whole.reserve(fPrefix.size() + line.size() + 1);
	whole += fPrefix;
	whole += line;
	whole += '\n';
	int error = 0;
	{
		std::lock_guard lock(fLock);
		// Once a write has failed the stream holds a broken line: nothing
		// more goes out.
		if (fError != 0)
			return;
		errno = 0;
		if (std::fwrite(whole.data(), 1, whole.size(), fStream) != whole.size() ||
		    std::fflush(fStream) != 0) {
			fError = errno != 0 ? errno : EIO;
			error = fError;
		}
	}
	if (error != 0 && fOnFailure)
		fOnFailure(error);
}

bool LineOutput::Failed() const
{
	return Error() != 0;
}

int LineOutput::Error() const
{
	std::lock_guard lock(fLock);
	return fError;
}

} // namespace stria
