// stria-typer: changes and shows the settings of the input server's typer.
#include "TyperOptions.h"
#include "TyperRequest.h"

#include <ExitStatus.h>
#include <private/InputServerHost.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

using stria::ExitStatus;

namespace {

// Writes text to standard output; B_IO_ERROR (with a line on standard
// error) when it fails.
status_t WriteOut(const std::string& text)
{
	errno = 0;
	if (fwrite(text.data(), 1, text.size(), stdout) != text.size() || fflush(stdout) != 0) {
		fprintf(stderr, "stria-typer: cannot write standard output: %s\n",
		        strerror(errno ? errno : EIO));
		return B_IO_ERROR;
	}
	return B_OK;
}

} // namespace

int main(int argc, char** argv)
{
	std::vector<std::string> arguments(argv + 1, argv + argc);
	char defaultSocket[PATH_MAX] = "";
	BPrivate::get_input_server_control_path(defaultSocket, sizeof(defaultSocket));

	TyperOptions options;
	std::string error;
	if (!parse_typer_options(arguments, &options, &error)) {
		fprintf(stderr, "stria-typer: %s\n%s", error.c_str(), typer_usage_line().c_str());
		return ExitStatus(B_BAD_VALUE);
	}
	if (options.help)
		return ExitStatus(WriteOut(typer_usage(defaultSocket)));

	std::string socket = defaultSocket;
	if (!options.controlSocket.empty()) {
		BPrivate::set_input_server_control_path(options.controlSocket.c_str());
		socket = options.controlSocket;
	}
	TyperAnswer answer = send_typer_request(options, socket);
	if (answer.status != B_OK) {
		fprintf(stderr, "stria-typer: %s\n", answer.error.c_str());
		return ExitStatus(answer.status);
	}
	return ExitStatus(WriteOut(answer.settings));
}
