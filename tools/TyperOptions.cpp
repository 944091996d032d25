#include "TyperOptions.h"

#include <TyperSettings.h>

bool parse_typer_options(const std::vector<std::string>& arguments, TyperOptions* options,
                         std::string* error)
{
	*options = TyperOptions();
	auto fail = [error](const std::string& why) {
		*error = why;
		return false;
	};
	bool show = false;
	bool changes = false;
	for (size_t index = 0; index < arguments.size(); index++) {
		const std::string& word = arguments[index];
		if (word == "--help" || word == "-h") {
			options->help = true;
			continue;
		}
		if (word == "--control-socket" || word.starts_with("--control-socket=")) {
			if (!options->controlSocket.empty())
				return fail("--control-socket is given twice");
			std::string path;
			if (word == "--control-socket") {
				if (index + 1 == arguments.size())
					return fail("--control-socket needs a path");
				path = arguments[++index];
			} else {
				path = word.substr(sizeof("--control-socket=") - 1);
			}
			if (path.empty())
				return fail("--control-socket needs a path");
			options->controlSocket = path;
			continue;
		}
		if (word.starts_with("-"))
			return fail("unknown option " + word);
		if (word == "show") {
			show = true;
			continue;
		}
		if (word != "type" && word != "end" && word != "key-delay" && word != "layout" &&
		    word != "variant" && word != "free-text")
			return fail("unknown setting \"" + word +
			            "\" (the settings are type, end, key-delay, layout, variant and "
			            "free-text; show shows them)");
		if (index + 1 == arguments.size())
			return fail(word + " needs a value");
		const std::string& value = arguments[++index];
		TyperSettings check;
		if (!check.Set(word, value, error))
			return false;
		std::optional<std::string>* text = word == "type"     ? &options->type
		                                   : word == "end"    ? &options->end
		                                   : word == "layout" ? &options->layout
		                                   : word == "variant" ? &options->variant
		                                                       : nullptr;
		const bool again = text != nullptr        ? text->has_value()
		                   : word == "key-delay" ? options->keyDelay.has_value()
		                                         : options->freeText.has_value();
		if (again)
			return fail(word + " is given twice");
		if (text != nullptr)
			*text = value;
		else if (word == "key-delay")
			options->keyDelay = check.keyDelay;
		else
			options->freeText = check.freeText;
		changes = true;
	}
	if (options->help)
		return true;
	if (show && changes)
		return fail("show takes no settings; give either show or settings to change");
	if (!show && !changes)
		return fail("nothing to do: give show, or a setting and its value");
	return true;
}

std::string typer_usage_line()
{
	return "usage: stria-typer [--control-socket PATH] show | SETTING VALUE...\n";
}

std::string typer_usage(const std::string& defaultSocket)
{
	return typer_usage_line() + R"(
Changes, while the input server runs, what its typer types for each scan
into the application that has the keyboard, and shows the settings it then
has (in the form of the settings file). The change lasts until the server
stops; the settings file ~/.config/stria/typer.settings (or
$XDG_CONFIG_HOME/stria/typer.settings) gives the settings it starts with.

Settings:
  type off|data|barcode|isbn10|label
                  what is typed: nothing; the code's data (9780306406157);
                  tag and data (IBN 9780306406157); the ISBN-10 of a book's
                  code, else the data (0306406152); the viewer's label
  end enter|tab|none
                  the key typed after the text
  key-delay MICROSECONDS
                  the pause between two keys, 0 to 1000000 (a second)
  layout NAME     the keyboard layout codes are typed for, by its XKB name
                  (fr, de, us, ...); "" for the desktop's own (the default:
                  the X display's layout, else /etc/default/keyboard's).
                  A new layout starts with its basic variant
  variant NAME    the layout's XKB variant (nodeadkeys, ...); "" for its
                  basic one; only with a layout
  free-text no|yes
                  no: only UPC, EAN and ISBN codes are typed; yes: other
                  codes too (Code 128, Code 39, ...), whose printed labels
                  can hold any text, a shell command and its Enter included

Commands:
  show            shows the settings, changing nothing

Options:
  --control-socket PATH  the server's control socket (default: )" +
	       defaultSocket + R"()
  -h, --help             show this text

Examples:
  stria-typer type data
  stria-typer end tab key-delay 300
  stria-typer layout de variant nodeadkeys
  stria-typer free-text yes
  stria-typer type off     (stops a code being typed, too)
  stria-typer show

Exit status: 0 when done, 1 when no server answers or it refuses the
change, 2 for a usage error.
)";
}
