// stria-input-server's command line.
#ifndef STRIA_SERVER_OPTIONS_H
#define STRIA_SERVER_OPTIONS_H

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace stria {

struct ServerOptions {
	std::string addOnFolder;          // empty: next to the program
	std::string controlSocket;        // empty: "input_server" in the runtime directory
	std::vector<std::string> replays; // "-" is standard input
	std::vector<std::string> devices; // evdev nodes, event files, FIFOs
	bool grab = true;                 // --no-grab leaves devices shared
	bool listDevices = false;
	bool uinput = false;
	std::string uinputFile;
	bool fast = false;
	bool print = false;
	bool subscribe = false;
	std::string snapshot; // --snapshot: PNG of the viewer window at the end
	bool help = false;

	bool operator==(const ServerOptions&) const = default;
};

struct ParsedServerOptions {
	ServerOptions options;
	std::optional<std::string> error; // set: a usage error, exit status 2
};

// arguments without the program's name. Options take their value as the
// next word or after '='. Besides each word, the options are checked
// against each other: a valued option given twice, --list-devices with
// anything else, --uinput with --uinput-file, --no-grab without --device
// and --fast without input to play are usage errors.
ParsedServerOptions ParseServerOptions(std::span<const std::string> arguments);

std::string ServerUsage();

} // namespace stria

#endif // STRIA_SERVER_OPTIONS_H
