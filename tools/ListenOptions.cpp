#include "ListenOptions.h"

bool parse_listen_options(const std::vector<std::string>& arguments, ListenOptions* options,
                          std::string* error)
{
	*options = ListenOptions();
	bool formatChosen = false;
	auto chooseFormat = [&](ScanFormat format) {
		if (formatChosen && options->format != format) {
			*error = "choose one of --label and --json, not both";
			return false;
		}
		formatChosen = true;
		options->format = format;
		return true;
	};

	for (size_t i = 0; i < arguments.size(); i++) {
		const std::string& argument = arguments[i];
		if (argument == "-h" || argument == "--help") {
			options->help = true;
		} else if (argument == "--label") {
			if (!chooseFormat(ScanFormat::Label))
				return false;
		} else if (argument == "--json") {
			if (!chooseFormat(ScanFormat::Json))
				return false;
		} else if (argument == "--control-socket" || argument.starts_with("--control-socket=")) {
			std::string path;
			if (argument == "--control-socket") {
				if (i + 1 >= arguments.size()) {
					*error = "--control-socket needs a path";
					return false;
				}
				path = arguments[++i];
			} else
				path = argument.substr(sizeof("--control-socket=") - 1);
			if (path.empty()) {
				*error = "--control-socket needs a path";
				return false;
			}
			options->controlSocket = path;
		} else {
			*error = argument.starts_with("-") ? "unknown option " + argument
			                                   : "unexpected argument " + argument;
			return false;
		}
	}
	return true;
}

namespace {

const char kUsageLine[] = "usage: stria-listen [--label | --json] [--control-socket PATH]\n";

} // namespace

std::string listen_usage_line()
{
	return std::string(kUsageLine) + "(stria-listen --help tells more)\n";
}

std::string listen_usage(const std::string& defaultSocket)
{
	return std::string(kUsageLine) +
	       "\n"
	       "Subscribes to the Stria input server and prints every scan it delivers, one\n"
	       "line each, as it arrives, until the server shuts down.\n"
	       "\n"
	       "  (no option)            the decoded code, e.g. IBN 9780201889543\n"
	       "  --label                the code, a tab, and its label\n"
	       "  --json                 one JSON object per line with the keys barcode, tag\n"
	       "                         (first three characters), data (from the fifth on)\n"
	       "                         and label\n"
	       "  --control-socket PATH  the server's control socket\n"
	       "                         (default: " +
	       defaultSocket +
	       ")\n"
	       "  -h, --help             this text\n"
	       "\n"
	       "A backslash is written as \\\\ and a byte outside printable ASCII as \\xhh\n"
	       "(JSON has its own escapes, and \\u00hh).\n"
	       "Exit status: 0 when the server shuts down, 1 when no server answers (the\n"
	       "message says why), it goes away or standard output cannot be written, 2 for\n"
	       "a bad command line or a socket path too long for a socket.\n";
}
