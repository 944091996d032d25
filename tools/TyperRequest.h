// stria-typer's request: the settings to change go to the input server's
// "Stria Typer" device through the control socket, with the messenger of a
// looper of this process, to which the device answers with the settings it
// then has.
#ifndef STRIA_TYPER_REQUEST_H
#define STRIA_TYPER_REQUEST_H

#include "TyperOptions.h"

#include <string>

struct TyperAnswer {
	// 0: settings holds the server's settings; otherwise the exit status
	// and why in error.
	int exitStatus = 0;
	std::string settings; // "type = data\nend = enter\nkey-delay = 0\n"
	std::string error;
};

// controlSocket: the path find_input_device uses, for messages.
TyperAnswer send_typer_request(const TyperOptions& options, const std::string& controlSocket);

#endif // STRIA_TYPER_REQUEST_H
