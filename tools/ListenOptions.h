// stria-listen's command line.
#ifndef STRIA_LISTEN_OPTIONS_H
#define STRIA_LISTEN_OPTIONS_H

#include "ScanLine.h"

#include <string>
#include <vector>

struct ListenOptions {
	ScanFormat format = ScanFormat::Barcode;
	// Empty: the server's default socket.
	std::string controlSocket;
	bool help = false;
};

// Reads the arguments after the program name. On a bad argument returns
// false with *error saying what is wrong.
bool parse_listen_options(const std::vector<std::string>& arguments, ListenOptions* options,
                          std::string* error);

// The one-line reminder shown after a bad command line.
std::string listen_usage_line();

// The --help text; defaultSocket is shown as the default.
std::string listen_usage(const std::string& defaultSocket);

#endif // STRIA_LISTEN_OPTIONS_H
