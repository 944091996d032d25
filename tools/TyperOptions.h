// stria-typer's command line: the settings to change, or a look at them.
#ifndef STRIA_TYPER_OPTIONS_H
#define STRIA_TYPER_OPTIONS_H

#include <SupportDefs.h>

#include <optional>
#include <string>
#include <vector>

struct TyperOptions {
	// Each empty when the command leaves it as it is ("show" changes none).
	std::optional<std::string> type;
	std::optional<std::string> end;
	std::optional<int64> keyDelay;
	std::optional<std::string> layout;
	std::optional<std::string> variant;
	std::optional<bool> freeText;
	// Empty: the server's default socket.
	std::string controlSocket;
	bool help = false;
};

// Reads the arguments after the program name: "show", or one or more
// "SETTING VALUE" pairs, and --control-socket PATH. Every value is checked
// here, so that a wrong word never reaches the server. On a bad command line
// returns false with *error saying what is wrong.
bool parse_typer_options(const std::vector<std::string>& arguments, TyperOptions* options,
                         std::string* error);

std::string typer_usage_line();
// The --help text; defaultSocket is shown as the default.
std::string typer_usage(const std::string& defaultSocket);

#endif // STRIA_TYPER_OPTIONS_H
