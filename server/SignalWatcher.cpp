#include "SignalWatcher.h"

#include <cerrno>
#include <csignal>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace stria {

namespace {

// Ctrl-C, systemctl stop and kill, a closed terminal.
sigset_t StopSignals()
{
	sigset_t signals;
	sigemptyset(&signals);
	sigaddset(&signals, SIGINT);
	sigaddset(&signals, SIGTERM);
	sigaddset(&signals, SIGHUP);
	return signals;
}

} // namespace

void SignalWatcher::BlockStopSignals()
{
	const sigset_t signals = StopSignals();
	pthread_sigmask(SIG_BLOCK, &signals, nullptr);
}

std::string SignalWatcher::Name(int signal)
{
	switch (signal) {
	case SIGINT:
		return "SIGINT";
	case SIGTERM:
		return "SIGTERM";
	case SIGHUP:
		return "SIGHUP";
	default:
		return "signal " + std::to_string(signal);
	}
}

SignalWatcher::SignalWatcher(std::function<void(int)> onSignal) : fOnSignal(std::move(onSignal))
{
	const sigset_t signals = StopSignals();
	pthread_sigmask(SIG_BLOCK, &signals, nullptr);
	fSignals = signalfd(-1, &signals, SFD_CLOEXEC);
	fWake = eventfd(0, EFD_CLOEXEC);
	if (fSignals < 0 || fWake < 0) {
		// Without a watcher the signals keep their default action.
		pthread_sigmask(SIG_UNBLOCK, &signals, nullptr);
		if (fSignals >= 0)
			close(fSignals);
		if (fWake >= 0)
			close(fWake);
		fSignals = fWake = -1;
		return;
	}
	fThread = std::thread(&SignalWatcher::Loop, this);
}

SignalWatcher::~SignalWatcher()
{
	if (fThread.joinable()) {
		uint64_t one = 1;
		while (write(fWake, &one, sizeof(one)) < 0 && errno == EINTR) {
		}
		fThread.join();
	}
	if (fSignals >= 0)
		close(fSignals);
	if (fWake >= 0)
		close(fWake);
}

void SignalWatcher::Loop()
{
	for (;;) {
		struct pollfd watched[2] = {{fSignals, POLLIN, 0}, {fWake, POLLIN, 0}};
		if (poll(watched, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			return;
		}
		if (watched[1].revents != 0)
			return;
		struct signalfd_siginfo info;
		ssize_t got = read(fSignals, &info, sizeof(info));
		if (got == (ssize_t)sizeof(info))
			fOnSignal((int)info.ssi_signo);
	}
}

} // namespace stria
