// stria-listen: prints the scans the Stria input server delivers.
#include "ListenApplication.h"
#include "ListenOptions.h"

#include <ExitStatus.h>
#include <Message.h>
#include <Messenger.h>
#include <private/InputServerHost.h>
#include <private/LocalSocket.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <thread>

using stria::ExitStatus;

namespace {

// Turns SIGINT and SIGTERM into a quit request, so that the application
// ends the normal way (and its message port is taken down). Block() comes
// before any other thread starts, so that every thread inherits the mask.
class SignalQuitter {
public:
	static void Block()
	{
		sigset_t signals = Signals();
		pthread_sigmask(SIG_BLOCK, &signals, NULL);
	}

	explicit SignalQuitter(const BMessenger& application) : fApplication(application)
	{
		fThread = std::thread([this] {
			sigset_t signals = Signals();
			int signal = 0;
			sigwait(&signals, &signal);
			if (signal != SIGUSR1)
				fApplication.SendMessage(B_QUIT_REQUESTED);
		});
	}

	~SignalQuitter()
	{
		// SIGUSR1 only ends the waiting thread.
		pthread_kill(fThread.native_handle(), SIGUSR1);
		fThread.join();
	}

private:
	static sigset_t Signals()
	{
		sigset_t signals;
		sigemptyset(&signals);
		sigaddset(&signals, SIGINT);
		sigaddset(&signals, SIGTERM);
		sigaddset(&signals, SIGUSR1);
		return signals;
	}

	BMessenger fApplication;
	std::thread fThread;
};

// Writes text to standard output; B_IO_ERROR (with a line on standard
// error) when it fails.
status_t WriteOut(const std::string& text)
{
	errno = 0;
	if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
		fprintf(stderr, "stria-listen: cannot write standard output: %s\n",
		        strerror(errno ? errno : EIO));
		return B_IO_ERROR;
	}
	return B_OK;
}

} // namespace

int main(int argc, char** argv)
{
	std::vector<std::string> arguments(argv + 1, argv + argc);
	ListenOptions options;
	std::string error;
	char defaultSocket[PATH_MAX] = "";
	BPrivate::get_input_server_control_path(defaultSocket, sizeof(defaultSocket));

	if (!parse_listen_options(arguments, &options, &error)) {
		fprintf(stderr, "stria-listen: %s\n%s", error.c_str(), listen_usage_line().c_str());
		return ExitStatus(B_BAD_VALUE);
	}
	if (options.help)
		return ExitStatus(WriteOut(listen_usage(defaultSocket)));

	std::string socket = defaultSocket;
	if (options.controlSocket.empty() && socket.empty()) {
		std::string directory;
		std::string problem;
		BPrivate::LocalSocket::RuntimeDirectory(&directory, &problem);
		// Its own message port would live there too: naming another
		// control socket would not help.
		fprintf(stderr, "stria-listen: no usable runtime directory: %s\n",
		        problem.empty() ? "reason unknown" : problem.c_str());
		return ExitStatus(B_ERROR);
	}
	if (!options.controlSocket.empty()) {
		BPrivate::set_input_server_control_path(options.controlSocket.c_str());
		socket = options.controlSocket;
	}

	SignalQuitter::Block();
	ListenApplication application(options.format, socket, stdout);
	SignalQuitter quitter{BMessenger(&application)};
	application.Run();
	return ExitStatus(application.Status());
}
