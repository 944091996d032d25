// The clock both sides of the scan-latency benchmark read: CLOCK_MONOTONIC in
// nanoseconds, the same in every process of the machine.
#ifndef STRIA_BENCH_CLOCK_H
#define STRIA_BENCH_CLOCK_H

#include <cstdint>
#include <time.h>

inline int64_t bench_now_ns()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

#endif // STRIA_BENCH_CLOCK_H
