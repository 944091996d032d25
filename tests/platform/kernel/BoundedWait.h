// Helpers for tests that watch other threads: poll a condition with a
// generous bound instead of sleeping a fixed time and hoping.
#ifndef STRIA_TESTS_BOUNDED_WAIT_H
#define STRIA_TESTS_BOUNDED_WAIT_H

#include <OS.h>

#include <functional>

namespace stria::test {

// Long enough for a loaded machine running sanitizers; a test that needs
// it has failed anyway.
constexpr bigtime_t kGenerousBound = 10 * 1000 * 1000;

inline bool WaitUntil(const std::function<bool()>& condition, bigtime_t bound = kGenerousBound)
{
	bigtime_t end = system_time() + bound;
	while (!condition()) {
		if (system_time() > end)
			return false;
		snooze(1000);
	}
	return true;
}

inline thread_state StateOf(thread_id thread)
{
	thread_info info;
	if (get_thread_info(thread, &info) != B_OK)
		return thread_state(0);
	return info.state;
}

// True once the thread blocks in the given state.
inline bool WaitUntilBlocked(thread_id thread, thread_state state)
{
	return WaitUntil([&] { return StateOf(thread) == state; });
}

} // namespace stria::test

#endif // STRIA_TESTS_BOUNDED_WAIT_H
