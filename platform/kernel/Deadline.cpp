#include "Deadline.h"

namespace stria::kernel {

namespace {

// Beyond about a century the sum would overflow the clock's representation;
// such a wait is for ever in practice.
constexpr bigtime_t kLongestFiniteWait = B_INT64_CONSTANT(100) * 365 * 24 * 3600 * 1000000;

} // namespace

Deadline Deadline::FromFlags(uint32 flags, bigtime_t timeout)
{
	Deadline deadline;
	if ((flags & B_RELATIVE_TIMEOUT) != 0) {
		if (timeout <= 0) {
			deadline.fInfinite = false;
			deadline.fImmediate = true;
			deadline.fWhen = Clock::now();
		} else if (timeout < kLongestFiniteWait) {
			deadline.fInfinite = false;
			deadline.fWhen = Clock::now() + std::chrono::microseconds(timeout);
		}
	} else if ((flags & B_ABSOLUTE_TIMEOUT) != 0) {
		if (timeout < kLongestFiniteWait) {
			deadline.fInfinite = false;
			deadline.fWhen =
			        Clock::time_point(std::chrono::microseconds(timeout < 0 ? 0 : timeout));
		}
	}
	return deadline;
}

} // namespace stria::kernel
