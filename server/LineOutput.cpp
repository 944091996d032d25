#include "LineOutput.h"

namespace stria {

LineOutput::LineOutput(std::FILE* stream, std::string prefix)
    : fStream(stream), fPrefix(std::move(prefix))
{
}

void LineOutput::Write(std::string_view line)
{
	std::string whole;
	whole.reserve(fPrefix.size() + line.size() + 1);
	whole += fPrefix;
	whole += line;
	whole += '\n';
	std::lock_guard lock(fLock);
	std::fwrite(whole.data(), 1, whole.size(), fStream);
	std::fflush(fStream);
}

} // namespace stria
