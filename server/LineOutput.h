// Whole lines to a stream shared by several threads: each line is written
// in one piece and flushed at once.
#ifndef STRIA_LINE_OUTPUT_H
#define STRIA_LINE_OUTPUT_H

#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace stria {

class LineOutput {
public:
	// Called once, with errno, when a line cannot be written.
	using FailureHandler = std::function<void(int error)>;

	// prefix goes in front of every line (for example the program's name).
	explicit LineOutput(std::FILE* stream, std::string prefix = {}, FailureHandler onFailure = {});

	// Writes prefix, line and a newline, then flushes.
	void Write(std::string_view line);

	// Whether a write has failed, and its errno (0 while none has).
	bool Failed() const;
	int Error() const;

private:
	std::FILE* fStream;
	std::string fPrefix;
	FailureHandler fOnFailure;
	mutable std::mutex fLock;
	int fError = 0;
};

} // namespace stria

#endif // STRIA_LINE_OUTPUT_H
