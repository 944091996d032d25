// Time arithmetic on bigtime_t (microseconds) that never overflows: a
// result past the range sticks at its end, so a far-off deadline or a
// stamp from a broken source stays in order with the others.
#ifndef STRIA_TIME_H
#define STRIA_TIME_H

#include <SupportDefs.h>

#include <limits>

namespace stria {

inline constexpr bigtime_t kLatestTime = std::numeric_limits<bigtime_t>::max();
inline constexpr bigtime_t kEarliestTime = std::numeric_limits<bigtime_t>::min();

// to - from, kept within range.
constexpr bigtime_t Elapsed(bigtime_t from, bigtime_t to)
{
	bigtime_t elapsed;
	if (__builtin_sub_overflow(to, from, &elapsed))
		return to > from ? kLatestTime : kEarliestTime;
	return elapsed;
}

// when + span (span may be negative), kept within range.
constexpr bigtime_t Shifted(bigtime_t when, bigtime_t span)
{
	bigtime_t shifted;
	if (__builtin_add_overflow(when, span, &shifted))
		return span > 0 ? kLatestTime : kEarliestTime;
	return shifted;
}

} // namespace stria

#endif // STRIA_TIME_H
