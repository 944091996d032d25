// TyperSettings: what the typer types for a scan, the key it ends with,
// the pause between keys, the keyboard layout it types for and whether
// codes other than product codes are typed; read from the settings file and
// changed at run time through the typer's device.
#ifndef STRIA_TYPER_SETTINGS_H
#define STRIA_TYPER_SETTINGS_H

#include <SupportDefs.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class TypedKind { Off, Data, Barcode, Isbn10, Label };
enum class EndKey { Enter, Tab, None };

struct TyperSettings {
	// Longest pause between two keys: a second. A longer one would leave a
	// code half typed for minutes.
	static const bigtime_t MAX_KEY_DELAY = 1000000;

	TypedKind type = TypedKind::Off;
	EndKey end = EndKey::Enter;
	bigtime_t keyDelay = 0;
	// The XKB keyboard layout codes are typed for, and its variant ("de",
	// "nodeadkeys"); an empty layout: the desktop's own (the variant then
	// counts for nothing).
	std::string layout = {};
	std::string variant = {};
	// Codes other than UPC, EAN and ISBN (Code 128, Code 39, ...) are
	// typed too: a printed label can hold any text, a command included.
	bool freeText = false;

	// One setting by its name ("type", "end", "key-delay", "layout",
	// "variant", "free-text") and value, as
	// the file and the control command give them. False, with the reason
	// in *error, for an unknown name or a value the setting does not take;
	// nothing changes then.
	bool Set(std::string_view name, std::string_view value, std::string* error);

	// "type = data, end = enter, key-delay = 0, free-text = no", with
	// ", layout = de" and ", variant = nodeadkeys" when they are set.
	std::string Describe() const;

	bool operator==(const TyperSettings&) const = default;

	static const char* Name(TypedKind type);
	static const char* Name(EndKey end);
	// "yes" or "no", as the free-text setting is written.
	static const char* Name(bool yes);
	static std::optional<TypedKind> TypeNamed(std::string_view name);
	static std::optional<EndKey> EndNamed(std::string_view name);
};

struct TyperSettingsText {
	TyperSettings settings;
	// One line each for the lines that were left out, with their number.
	std::vector<std::string> errors;
};

// The text of a settings file: one "name = value" a line; blank lines and
// everything from a '#' on are skipped. A line that is not a setting is
// named in errors and the others still apply; a later line wins.
TyperSettingsText ParseTyperSettings(std::string_view text);

#endif // STRIA_TYPER_SETTINGS_H
