// TyperClock: the time the typer stamps its keys with and waits by between
// them. In the input server it is system_time() and a real sleep; tests put
// a clock of their own that moves by exactly what the typer waits.
#ifndef STRIA_TYPER_CLOCK_H
#define STRIA_TYPER_CLOCK_H

#include <SupportDefs.h>

class TyperClock {
public:
	virtual ~TyperClock();

	virtual bigtime_t Now() = 0;
	// Returns after duration microseconds (at once for 0 or less).
	virtual void Sleep(bigtime_t duration) = 0;

	// The input server's clock; lives as long as the process.
	static TyperClock* System();
};

#endif // STRIA_TYPER_CLOCK_H
