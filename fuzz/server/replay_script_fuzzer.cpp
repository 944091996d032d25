// Fuzzes the replay-script parser: any text either gives events that keep
// the script's promises or is refused with a line that exists.
#include "ReplayScript.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string_view text(reinterpret_cast<const char*>(data), size);
	stria::ReplayScript script = stria::ParseReplayScript(text);

	int lines = (int)std::count(text.begin(), text.end(), '\n') + 1;
	if (script.error) {
		if (!script.events.empty() || script.error->line < 1 || script.error->line > lines ||
		    script.error->message.empty())
			std::abort();
		return 0;
	}
	bigtime_t last = 0;
	int lastLine = 0;
	for (const stria::ReplayEvent& event : script.events) {
		if (event.when < last || event.line < lastLine || event.line > lines)
			std::abort();
		bool isKey = event.kind == stria::ReplayEvent::Kind::KeyDown ||
		             event.kind == stria::ReplayEvent::Kind::KeyUp;
		if (isKey && (event.key < 1 || event.key > 127))
			std::abort();
		if (event.kind == stria::ReplayEvent::Kind::KeyDown && !event.byte)
			std::abort();
		last = event.when;
		lastLine = event.line;
	}
	return 0;
}
