// Turns SIGINT and SIGTERM into a call on a thread of its own. Construct it
// before any other thread starts, so that every thread inherits the blocked
// signals and none is interrupted by them.
#ifndef STRIA_SIGNAL_WATCHER_H
#define STRIA_SIGNAL_WATCHER_H

#include <functional>
#include <thread>

namespace stria {

class SignalWatcher {
public:
	// onSignal gets the signal's number; it is called for every signal.
	explicit SignalWatcher(std::function<void(int)> onSignal);
	~SignalWatcher();

	SignalWatcher(const SignalWatcher&) = delete;
	SignalWatcher& operator=(const SignalWatcher&) = delete;

	bool IsWatching() const { return fSignals >= 0; }

private:
	void Loop();

	std::function<void(int)> fOnSignal;
	int fSignals = -1;
	int fWake = -1;
	std::thread fThread;
};

} // namespace stria

#endif // STRIA_SIGNAL_WATCHER_H
