// stria-listen: prints the scans the Stria input server delivers.
#include "ListenApplication.h"
#include "ListenOptions.h"

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
		return 2;
	}
	if (options.help) {
		std::string usage = listen_usage(defaultSocket);
		errno = 0;
		if (fwrite(usage.data(), 1, usage.size(), stdout) != usage.size() || fflush(stdout) != 0) {
			fprintf(stderr, "stria-listen: cannot write standard output: %s\n",
			        strerror(errno ? errno : EIO));
			return 1;
		}
		return 0;
	}

	std::string socket = defaultSocket;
	if (options.controlSocket.empty() && socket.empty()) {
		std::string directory;
		std::string problem;
		BPrivate::LocalSocket::RuntimeDirectory(&directory, &problem);
		// Its own message port would live there too: naming another
		// control socket would not help.
		fprintf(stderr, "stria-listen: no usable runtime directory: %s\n",
		        problem.empty() ? "reason unknown" : problem.c_str());
		return 1;
	}
	if (!options.controlSocket.empty()) {
		BPrivate::set_input_server_control_path(options.controlSocket.c_str());
		socket = options.controlSocket;
	}

	SignalQuitter::Block();
	ListenApplication application(options.format, socket, stdout);
	SignalQuitter quitter{BMessenger(&application)};
	application.Run();
	return application.ExitStatus();
}
