// Whole lines to a stream shared by several threads: each line is written
// in one piece and flushed at once.
#ifndef STRIA_LINE_OUTPUT_H
#define STRIA_LINE_OUTPUT_H

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

namespace stria {

class LineOutput {
public:
	// prefix goes in front of every line (for example the program's name).
	explicit LineOutput(std::FILE* stream, std::string prefix = {});

	// Writes prefix, line and a newline, then flushes.
	void Write(std::string_view line);

private:
	std::FILE* fStream;
	std::string fPrefix;
	std::mutex fLock;
};

} // namespace stria

#endif // STRIA_LINE_OUTPUT_H
