// The moment a blocking call gives up, from the flags and time-out of the
// kernel kit's calls. Both system_time() and std::chrono::steady_clock count
// on CLOCK_MONOTONIC, so absolute time-outs map onto steady_clock directly.
#ifndef STRIA_KERNEL_DEADLINE_H
#define STRIA_KERNEL_DEADLINE_H

#include <OS.h>

#include <chrono>

namespace stria::kernel {

class Deadline {
public:
	using Clock = std::chrono::steady_clock;

	// No time-out flag, or B_INFINITE_TIMEOUT: wait for ever.
	static Deadline FromFlags(uint32 flags, bigtime_t timeout);
	static Deadline Never() { return Deadline(); }

	bool IsInfinite() const { return fInfinite; }
	// True for a relative time-out of zero or less: the caller must not block.
	bool IsImmediate() const { return fImmediate; }
	Clock::time_point When() const { return fWhen; }
	bool HasPassed() const { return !fInfinite && Clock::now() >= fWhen; }

private:
	Deadline() = default;

	bool fInfinite = true;
	bool fImmediate = false;
	Clock::time_point fWhen{};
};

} // namespace stria::kernel

#endif // STRIA_KERNEL_DEADLINE_H
