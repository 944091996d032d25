// The add-ons' log: each line names the add-on that says it, and the
// program that loads the add-ons decides where lines go. By default a line
// goes to stderr as "<addOn>: <text>"; a host that prefixes lines with its
// own name sets a sink of its own. One copy per process (a shared library),
// so that a sink the host sets reaches every add-on it loads.
#ifndef STRIA_LOG_H
#define STRIA_LOG_H

#include <functional>
#include <string>

namespace stria {

// Takes one line: who says it and the text, without a line end.
using LogSink = std::function<void(const char* addOn, const std::string& text)>;

// Formats one line, printf style, and hands it to the sink.
void Log(const char* addOn, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Every later line goes to sink; an empty sink restores stderr.
void SetLogSink(LogSink sink);

} // namespace stria

#endif // STRIA_LOG_H
