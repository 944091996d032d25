#include "AddOnLog.h"

#include "LineOutput.h"

#include <StriaLog.h>

namespace stria {

AddOnLog::AddOnLog(LineOutput& log)
{
	SetLogSink([&log](const char* addOn, const std::string& text) {
		log.Write(std::string(addOn) + ": " + text);
	});
}

AddOnLog::~AddOnLog()
{
	SetLogSink(nullptr);
}

} // namespace stria
