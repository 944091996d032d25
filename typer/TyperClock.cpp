#include "TyperClock.h"

#include <OS.h>

namespace {

class SystemTyperClock : public TyperClock {
public:
	bigtime_t Now() override { return system_time(); }

	void Sleep(bigtime_t duration) override
	{
		if (duration > 0)
			snooze(duration);
	}
};

} // namespace

TyperClock::~TyperClock() {}

TyperClock* TyperClock::System()
{
	static SystemTyperClock clock;
	return &clock;
}
