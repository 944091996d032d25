// A run of like drops (scans a full queue cannot take, refused
// subscriptions, closed connections) told in two log lines however long it
// is: the first drop at once, the rest as one count when the run ends.
#ifndef STRIA_DROP_COUNTER_H
#define STRIA_DROP_COUNTER_H

#include <SupportDefs.h>

namespace stria {

class DropCounter {
public:
	// Counts one drop; true for the first of a run, which the caller logs.
	bool Drop() { return fCount++ == 0; }

	// Whether a run is going on (a drop since the last EndRun).
	bool InRun() const { return fCount > 0; }

	// Ends the run: how many were dropped after its first (0 for a run of
	// one, or none), for the caller to log when there are any.
	int64 EndRun()
	{
		int64 more = fCount > 1 ? fCount - 1 : 0;
		fCount = 0;
		return more;
	}

private:
	int64 fCount = 0;
};

} // namespace stria

#endif // STRIA_DROP_COUNTER_H
