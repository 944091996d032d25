// Turns SIGINT, SIGTERM and SIGHUP into a call on a thread of its own.
// BlockStopSignals must run first thing in main, before any thread starts:
// threads inherit the blocked signals, so none of them can be taken down by
// one, and a signal that comes early waits for the watcher.
#ifndef STRIA_SIGNAL_WATCHER_H
#define STRIA_SIGNAL_WATCHER_H

#include <functional>
#include <string>
#include <thread>

namespace stria {

class SignalWatcher {
public:
	// Blocks the signals the watcher takes in the calling thread.
	static void BlockStopSignals();
	// "SIGINT", "SIGTERM", "SIGHUP", or the number.
	static std::string Name(int signal);

	// onSignal gets the signal's number; it is called for every signal,
	// including one that came before the watcher.
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
