// Fuzzes stria-input-server's command line. The input is split into words
// at NUL and newline bytes. A refused command line must say why; an accepted
// one must hold exactly the values its words give (every --replay and
// --device in order, each single-valued option once, every flag), keep the
// rules between options unless it asks for --help, and writing those
// options back as words must parse to the same options.
#include "ServerOptions.h"

#include "../../CommandLineWords.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::Require;
using fuzz::SplitWords;

bool TakesValue(std::string_view name)
{
	return name == "--add-ons" || name == "--control-socket" || name == "--replay" ||
	       name == "--device" || name == "--uinput-file" || name == "--snapshot";
}

// What the words of an accepted command line ask for, read as option
// names and their values without checking anything.
stria::ServerOptions Expected(const std::vector<std::string>& words)
{
	stria::ServerOptions options;
	for (size_t index = 0; index < words.size(); index++) {
		std::string name = words[index];
		std::string value;
		size_t equals = name.find('=');
		if (name.starts_with("--") && equals != std::string::npos) {
			value = name.substr(equals + 1);
			name.resize(equals);
		} else if (TakesValue(name) && index + 1 < words.size()) {
			value = words[++index];
		}

		if (name == "--add-ons")
			options.addOnFolder = value;
		else if (name == "--control-socket")
			options.controlSocket = value;
		else if (name == "--replay")
			options.replays.push_back(value);
		else if (name == "--device")
			options.devices.push_back(value);
		else if (name == "--uinput-file")
			options.uinputFile = value;
		else if (name == "--snapshot")
			options.snapshot = value;
		else if (name == "--no-grab")
			options.grab = false;
		else if (name == "--list-devices")
			options.listDevices = true;
		else if (name == "--uinput")
			options.uinput = true;
		else if (name == "--fast")
			options.fast = true;
		else if (name == "--print")
			options.print = true;
		else if (name == "--subscribe")
			options.subscribe = true;
		else if (name == "--help" || name == "-h")
			options.help = true;
	}
	return options;
}

bool Same(const stria::ServerOptions& a, const stria::ServerOptions& b)
{
	return a.addOnFolder == b.addOnFolder && a.controlSocket == b.controlSocket &&
	       a.replays == b.replays && a.devices == b.devices && a.grab == b.grab &&
	       a.listDevices == b.listDevices && a.uinput == b.uinput && a.uinputFile == b.uinputFile &&
	       a.fast == b.fast && a.print == b.print && a.subscribe == b.subscribe &&
	       a.snapshot == b.snapshot && a.help == b.help;
}

// The options as words, values joined with '=' or given as the next word.
std::vector<std::string> Words(const stria::ServerOptions& options, bool attached)
{
	std::vector<std::string> words;
	auto value = [&](const char* name, const std::string& text) {
		if (attached) {
			words.push_back(std::string(name) + "=" + text);
		} else {
			words.push_back(name);
			words.push_back(text);
		}
	};
	if (!options.addOnFolder.empty())
		value("--add-ons", options.addOnFolder);
	if (!options.controlSocket.empty())
		value("--control-socket", options.controlSocket);
	for (const std::string& replay : options.replays)
		value("--replay", replay);
	for (const std::string& device : options.devices)
		value("--device", device);
	if (!options.uinputFile.empty())
		value("--uinput-file", options.uinputFile);
	if (!options.snapshot.empty())
		value("--snapshot", options.snapshot);
	if (!options.grab)
		words.push_back("--no-grab");
	if (options.listDevices)
		words.push_back("--list-devices");
	if (options.uinput)
		words.push_back("--uinput");
	if (options.fast)
		words.push_back("--fast");
	if (options.print)
		words.push_back("--print");
	if (options.subscribe)
		words.push_back("--subscribe");
	if (options.help)
		words.push_back("--help");
	return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string_view input(reinterpret_cast<const char*>(data), size);
	const std::vector<std::string> words = SplitWords(input);
	const stria::ParsedServerOptions parsed = stria::ParseServerOptions(words);

	if (parsed.error) {
		Require(!parsed.error->empty());
		return 0;
	}
	const stria::ServerOptions& options = parsed.options;
	Require(Same(options, Expected(words)));

	// Every value is a word, or a word's tail after '=', and never empty.
	int standardInput = 0;
	for (const std::string& replay : options.replays) {
		Require(!replay.empty());
		standardInput += replay == "-";
	}
	Require(standardInput <= 1);
	for (const std::string& device : options.devices)
		Require(!device.empty());
	if (!options.help) {
		Require(!(options.uinput && !options.uinputFile.empty()));
		Require(options.grab || !options.devices.empty());
		Require(!options.fast || !options.replays.empty() || !options.devices.empty());
		Require(!options.listDevices || Words(options, false).size() == 1);
	}

	for (bool attached : {false, true}) {
		const stria::ParsedServerOptions again =
		        stria::ParseServerOptions(Words(options, attached));
		Require(!again.error);
		Require(Same(again.options, options));
	}
	return 0;
}
