#include "RelativeStamps.h"

#include <limits>

namespace stria {

bigtime_t RelativeStamps::OnServerClock(bigtime_t own)
{
	if (!fFirst)
		fFirst = own;
	constexpr bigtime_t kLatest = std::numeric_limits<bigtime_t>::max();
	constexpr bigtime_t kEarliest = std::numeric_limits<bigtime_t>::min();
	bigtime_t distance;
	if (__builtin_sub_overflow(own, *fFirst, &distance))
		return own > *fFirst ? kLatest : kEarliest;
	bigtime_t stamp;
	if (__builtin_add_overflow(fStart, distance, &stamp))
		return distance > 0 ? kLatest : kEarliest;
	return stamp;
}

} // namespace stria
