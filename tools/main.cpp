// stria-listen: prints the scans the Stria input server delivers.
#include "ListenApplication.h"
#include "ListenOptions.h"

#include <Message.h>
#include <private/InputServerHost.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <thread>

namespace {

// Turns SIGINT and SIGTERM into a quit request, so that the application
// ends the normal way (and its message port is taken down).
class SignalQuitter {
public:
	SignalQuitter()
	{
		sigemptyset(&fSignals);
		sigaddset(&fSignals, SIGINT);
		sigaddset(&fSignals, SIGTERM);
		sigaddset(&fSignals, SIGUSR1);
		// Every thread started from here on inherits the mask.
		pthread_sigmask(SIG_BLOCK, &fSignals, NULL);
		fThread = std::thread([this] {
			int signal = 0;
			sigwait(&fSignals, &signal);
			if (signal != SIGUSR1 && be_app != NULL)
				be_app->PostMessage(B_QUIT_REQUESTED);
		});
	}

	~SignalQuitter()
	{
		pthread_kill(fThread.native_handle(), SIGUSR1);
		fThread.join();
	}

private:
	sigset_t fSignals;
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
		fputs(listen_usage(defaultSocket).c_str(), stdout);
		return 0;
	}

	std::string socket = defaultSocket;
	if (!options.controlSocket.empty()) {
		BPrivate::set_input_server_control_path(options.controlSocket.c_str());
		socket = options.controlSocket;
	}

	SignalQuitter quitter;
	ListenApplication application(options.format, socket, stdout);
	application.Run();
	return application.ExitStatus();
}
