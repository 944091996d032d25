#include "KeyboardDefaults.h"

namespace {

std::string_view TrimLeft(std::string_view text)
{
	size_t first = text.find_first_not_of(" \t");
	return first == std::string_view::npos ? std::string_view() : text.substr(first);
}

// A shell word: 'single' and "double" quoted parts and bare characters up
// to a blank or a comment.
std::string Word(std::string_view text)
{
	std::string word;
	for (size_t at = 0; at < text.size(); at++) {
		const char character = text[at];
		if (character == '\'' || character == '"') {
			size_t close = text.find(character, at + 1);
			if (close == std::string_view::npos)
				close = text.size();
			for (size_t inside = at + 1; inside < close; inside++) {
				// In double quotes a backslash takes the next character.
				if (character == '"' && text[inside] == '\\' && inside + 1 < close)
					inside++;
				word += text[inside];
			}
			at = close;
		} else if (character == ' ' || character == '\t' || character == '#' ||
		           character == ';' || character == '\r') {
			break;
		} else if (character == '\\' && at + 1 < text.size()) {
			word += text[++at];
		} else {
			word += character;
		}
	}
	return word;
}

} // namespace

LayoutNames ParseKeyboardDefaults(std::string_view text)
{
	LayoutNames names;
	while (!text.empty()) {
		const size_t newline = text.find('\n');
		std::string_view line = TrimLeft(text.substr(0, newline));
		text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
		if (line.starts_with("export ") || line.starts_with("export\t"))
			line = TrimLeft(line.substr(6));
		const size_t equals = line.find('=');
		if (equals == std::string_view::npos)
			continue;
		const std::string_view name = line.substr(0, equals);
		const std::string value = Word(line.substr(equals + 1));
		if (name == "XKBMODEL")
			names.model = value;
		else if (name == "XKBLAYOUT")
			names.layout = value;
		else if (name == "XKBVARIANT")
			names.variant = value;
		else if (name == "XKBOPTIONS")
			names.options = value;
	}
	return names;
}
