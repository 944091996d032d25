// stria-typer's request: the settings to change go to the input server's
// "Stria Typer" device through the control socket, with the messenger of a
// looper of this process, to which the device answers with the settings it
// then has.
#ifndef STRIA_TYPER_REQUEST_H
#define STRIA_TYPER_REQUEST_H

#include "TyperOptions.h"

#include <SupportDefs.h>

#include <string>

struct TyperAnswer {
	// B_OK: settings holds the server's settings; otherwise why in error
	// (B_BAD_VALUE for a socket path that can never work).
	status_t status = B_OK;
	std::string settings; // "type = data\nend = enter\nkey-delay = 0\nlayout = fr\nvariant =\n"
	std::string error;
};

// controlSocket: the path find_input_device uses, for messages.
TyperAnswer send_typer_request(const TyperOptions& options, const std::string& controlSocket);

#endif // STRIA_TYPER_REQUEST_H
