// Fuzzes stria-listen's command line. The input is split into words at NUL
// and newline bytes. A refused command line must say why; an accepted one
// must hold exactly what its words ask for (the last --control-socket, the
// one format chosen, --help), whatever the options held before, and writing
// those options back as words must parse to the same options.
#include "ListenOptions.h"

#include "../CommandLineWords.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

using fuzz::Require;
using fuzz::SplitWords;

// What the words of an accepted command line ask for, read without
// checking anything.
ListenOptions Expected(const std::vector<std::string>& words)
{
	const std::string attachedSocket = "--control-socket=";
	ListenOptions options;
	for (size_t index = 0; index < words.size(); index++) {
		const std::string& word = words[index];
		if (word == "-h" || word == "--help")
			options.help = true;
		else if (word == "--label")
			options.format = ScanFormat::Label;
		else if (word == "--json")
			options.format = ScanFormat::Json;
		else if (word == "--control-socket" && index + 1 < words.size())
			options.controlSocket = words[++index];
		else if (word.starts_with(attachedSocket))
			options.controlSocket = word.substr(attachedSocket.size());
	}
	return options;
}

bool Same(const ListenOptions& a, const ListenOptions& b)
{
	return a.format == b.format && a.controlSocket == b.controlSocket && a.help == b.help;
}

std::vector<std::string> Words(const ListenOptions& options, bool attached)
{
	std::vector<std::string> words;
	if (options.format == ScanFormat::Label)
		words.push_back("--label");
	else if (options.format == ScanFormat::Json)
		words.push_back("--json");
	if (!options.controlSocket.empty()) {
		if (attached) {
			words.push_back("--control-socket=" + options.controlSocket);
		} else {
			words.push_back("--control-socket");
			words.push_back(options.controlSocket);
		}
	}
	if (options.help)
		words.push_back("--help");
	return words;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string_view input(reinterpret_cast<const char*>(data), size);
	const std::vector<std::string> words = SplitWords(input);

	// Left-overs of an earlier parse must not leak into this one.
	ListenOptions options;
	options.format = ScanFormat::Json;
	options.controlSocket = "/left/over";
	options.help = true;
	std::string error;
	if (!parse_listen_options(words, &options, &error)) {
		Require(!error.empty());
		return 0;
	}
	Require(Same(options, Expected(words)));

	for (bool attached : {false, true}) {
		ListenOptions again;
		std::string againError;
		Require(parse_listen_options(Words(options, attached), &again, &againError));
		Require(Same(again, options));
	}
	return 0;
}
