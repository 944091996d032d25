// Puts the time stamps of recorded input (a replay script, a file of input
// events) on the server's clock: the source's first stamp lands on the
// moment it starts, and every later stamp keeps its distance to the first.
// So a script that starts at 0 and a recording made years ago play side by
// side on one clock, and the stamps are the moments their keys are due.
#ifndef STRIA_RELATIVE_STAMPS_H
#define STRIA_RELATIVE_STAMPS_H

#include <SupportDefs.h>

#include <optional>

namespace stria {

class RelativeStamps {
public:
	// start: the server's clock (system_time) when the source starts.
	explicit RelativeStamps(bigtime_t start) : fStart(start) {}

	// The source's stamp on the server's clock; the first call fixes the
	// source's zero. Kept within range, whatever the stamps.
	bigtime_t OnServerClock(bigtime_t own);

private:
	bigtime_t fStart;
	std::optional<bigtime_t> fFirst;
};

} // namespace stria

#endif // STRIA_RELATIVE_STAMPS_H
