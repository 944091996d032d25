// Fuzzes the typer's settings file. Whatever the bytes, the settings that
// come out are ones the typer can use, every left-out line is named by a
// number the text has, and the settings written back as a file read back
// the same without a complaint.
#include "TyperSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Require(bool condition)
{
	if (!condition)
		abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string_view text(reinterpret_cast<const char*>(data), size);
	const TyperSettingsText read = ParseTyperSettings(text);
	const TyperSettings& settings = read.settings;
	Require(settings.keyDelay >= 0 && settings.keyDelay <= TyperSettings::MAX_KEY_DELAY);
	Require(TyperSettings::TypeNamed(TyperSettings::Name(settings.type)) == settings.type);
	Require(TyperSettings::EndNamed(TyperSettings::Name(settings.end)) == settings.end);

	size_t lines = 0;
	for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
		lines++;
		if (text.find('\n', at) == std::string_view::npos)
			break;
	}
	Require(read.errors.size() <= lines);
	for (const std::string& error : read.errors) {
		Require(error.starts_with("line "));
		const size_t number = std::strtoul(error.c_str() + 5, nullptr, 10);
		Require(number >= 1 && number <= lines);
	}

	const std::string written = std::string("type = ") + TyperSettings::Name(settings.type) +
	                            "\nend = " + TyperSettings::Name(settings.end) +
	                            "\nkey-delay = " + std::to_string(settings.keyDelay) +
	                            "\nlayout = " + settings.layout + "\nvariant = " + settings.variant +
	                            "\nfree-text = " + TyperSettings::Name(settings.freeText) + "\n";
	const TyperSettingsText again = ParseTyperSettings(written);
	Require(again.errors.empty());
	Require(again.settings == settings);
	return 0;
}
