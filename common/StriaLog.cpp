#include <StriaLog.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <mutex>

namespace stria {

namespace {

std::mutex sSinkLock;
std::shared_ptr<const LogSink> sSink;

std::string Formatted(const char* format, va_list arguments)
{
	va_list again;
	va_copy(again, arguments);
	char small[256];
	int length = vsnprintf(small, sizeof(small), format, arguments);
	std::string text;
	if (length < 0)
		text = format;
	else if (size_t(length) < sizeof(small))
		text.assign(small, size_t(length));
	else {
		text.resize(size_t(length) + 1);
		vsnprintf(text.data(), text.size(), format, again);
		text.resize(size_t(length));
	}
	va_end(again);
	return text;
}

} // namespace

void Log(const char* addOn, const char* format, ...)
{
	va_list arguments;
	va_start(arguments, format);
	const std::string text = Formatted(format, arguments);
	va_end(arguments);

	std::shared_ptr<const LogSink> sink;
	{
		std::lock_guard lock(sSinkLock);
		sink = sSink;
	}
	if (sink) {
		(*sink)(addOn, text);
		return;
	}
	// One write per line, so that lines of several threads never mix.
	const std::string line = std::string(addOn) + ": " + text + "\n";
	fwrite(line.data(), 1, line.size(), stderr);
}

void SetLogSink(LogSink sink)
{
	std::shared_ptr<const LogSink> replacement;
	if (sink)
		replacement = std::make_shared<const LogSink>(std::move(sink));
	std::lock_guard lock(sSinkLock);
	sSink = std::move(replacement);
}

} // namespace stria
