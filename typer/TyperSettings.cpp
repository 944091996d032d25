#include "TyperSettings.h"

#include <charconv>

namespace {

std::string_view Trim(std::string_view text)
{
	const char* blanks = " \t\r\f\v";
	size_t first = text.find_first_not_of(blanks);
	if (first == std::string_view::npos)
		return {};
	size_t last = text.find_last_not_of(blanks);
	return text.substr(first, last - first + 1);
}

// What XKB names layouts and variants with: letters, digits, '_' and '-'
// (dvorak-alt-intl); empty for none.
bool IsXkbName(std::string_view name)
{
	if (name.size() > 64)
		return false;
	for (char character : name) {
		const bool letter = (character >= 'a' && character <= 'z') ||
		                    (character >= 'A' && character <= 'Z');
		const bool digit = character >= '0' && character <= '9';
		if (!letter && !digit && character != '_' && character != '-')
			return false;
	}
	return true;
}

} // namespace

const char* TyperSettings::Name(TypedKind type)
{
	switch (type) {
	case TypedKind::Off:
		return "off";
	case TypedKind::Data:
		return "data";
	case TypedKind::Barcode:
		return "barcode";
	case TypedKind::Isbn10:
		return "isbn10";
	case TypedKind::Label:
		return "label";
	}
	return "off";
}

const char* TyperSettings::Name(EndKey end)
{
	switch (end) {
	case EndKey::Enter:
		return "enter";
	case EndKey::Tab:
		return "tab";
	case EndKey::None:
		return "none";
	}
	return "enter";
}

const char* TyperSettings::Name(bool yes)
{
	return yes ? "yes" : "no";
}

std::optional<TypedKind> TyperSettings::TypeNamed(std::string_view name)
{
	for (TypedKind type : {TypedKind::Off, TypedKind::Data, TypedKind::Barcode, TypedKind::Isbn10,
	                       TypedKind::Label}) {
		if (name == Name(type))
			return type;
	}
	return std::nullopt;
}

std::optional<EndKey> TyperSettings::EndNamed(std::string_view name)
{
	for (EndKey end : {EndKey::Enter, EndKey::Tab, EndKey::None}) {
		if (name == Name(end))
			return end;
	}
	return std::nullopt;
}

bool TyperSettings::Set(std::string_view name, std::string_view value, std::string* error)
{
	auto fail = [error](std::string why) {
		if (error != nullptr)
			*error = std::move(why);
		return false;
	};
	const std::string quoted = "\"" + std::string(value) + "\"";
	if (name == "type") {
		std::optional<TypedKind> type = TypeNamed(value);
		if (!type)
			return fail("type takes off, data, barcode, isbn10 or label, not " + quoted);
		this->type = *type;
		return true;
	}
	if (name == "end") {
		std::optional<EndKey> end = EndNamed(value);
		if (!end)
			return fail("end takes enter, tab or none, not " + quoted);
		this->end = *end;
		return true;
	}
	if (name == "key-delay") {
		bigtime_t delay = 0;
		auto [rest, status] = std::from_chars(value.data(), value.data() + value.size(), delay);
		if (value.empty() || status != std::errc() || rest != value.data() + value.size() ||
		    delay < 0 || delay > MAX_KEY_DELAY) {
			return fail("key-delay takes microseconds from 0 to " +
			            std::to_string(MAX_KEY_DELAY) + ", not " + quoted);
		}
		keyDelay = delay;
		return true;
	}
	if (name == "free-text") {
		if (value != "yes" && value != "no")
			return fail("free-text takes yes or no, not " + quoted);
		freeText = value == "yes";
		return true;
	}
	if (name == "layout" || name == "variant") {
		if (!IsXkbName(value)) {
			return fail(name == "layout" ? "layout takes an XKB layout name such as fr or de, "
			                               "or nothing for the desktop's own, not " + quoted
			                             : "variant takes an XKB variant name such as "
			                               "nodeadkeys, or nothing for the layout's basic one, "
			                               "not " + quoted);
		}
		(name == "layout" ? layout : variant) = std::string(value);
		return true;
	}
	return fail("there is no setting \"" + std::string(name) +
	            "\" (the settings are type, end, key-delay, layout, variant and free-text)");
}

std::string TyperSettings::Describe() const
{
	std::string text = std::string("type = ") + Name(type) + ", end = " + Name(end) +
	                   ", key-delay = " + std::to_string(keyDelay);
	if (!layout.empty())
		text += ", layout = " + layout;
	if (!variant.empty())
		text += ", variant = " + variant;
	return text + ", free-text = " + Name(freeText);
}

TyperSettingsText ParseTyperSettings(std::string_view text)
{
	TyperSettingsText result;
	int number = 0;
	while (!text.empty()) {
		size_t newline = text.find('\n');
		std::string_view line = text.substr(0, newline);
		text = newline == std::string_view::npos ? std::string_view() : text.substr(newline + 1);
		number++;

		line = Trim(line.substr(0, line.find('#')));
		if (line.empty())
			continue;
		const std::string where = "line " + std::to_string(number) + ": ";
		size_t equals = line.find('=');
		if (equals == std::string_view::npos) {
			result.errors.push_back(where + "\"" + std::string(line) +
			                        "\" is not \"name = value\"");
			continue;
		}
		std::string error;
		if (!result.settings.Set(Trim(line.substr(0, equals)), Trim(line.substr(equals + 1)),
		                         &error))
			result.errors.push_back(where + error);
	}
	return result;
}
