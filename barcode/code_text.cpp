// The UPC-E repair and the code label.
#include "code_text.h"
#include "barcodelib.h"
#include "cuecat_constants.h"
#include "symbology.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Characters a code's data part needs for its label layout.
constexpr std::size_t UPA_DIGITS = 12;
constexpr std::size_t UPE_DIGITS = UPE_LENGTH;

// A decoded code is text: anything behind a zero byte is not part of it.
std::string_view as_text(std::string_view code)
{
	return code.substr(0, code.find('\0'));
}

// The data part: everything behind the tag and its space.
std::string_view data_of(std::string_view code)
{
	return code.size() > 4 ? code.substr(4) : std::string_view();
}

// Lays out the characters a short code holds along the dash-separated
// groups of its full layout, stopping where the characters run out.
std::string partial_layout(std::string_view held, std::vector<std::size_t> groups,
                           std::size_t addOn)
{
	if (addOn != 0)
		groups.push_back(addOn);
	std::string text;
	for (const std::size_t group : groups) {
		if (held.empty())
			break;
		if (!text.empty())
			text += '-';
		const std::size_t taken = std::min(group, held.size());
		text += held.substr(0, taken);
		held.remove_prefix(taken);
	}
	return text;
}

std::string incomplete_note(std::size_t held, std::size_t needed)
{
	return " [incomplete: " + std::to_string(held) + " of " + std::to_string(needed) + " digits]";
}

// The add-on behind the code proper, with its dash; nothing without one.
std::string add_on_text(std::string_view data, const Symbology& symbology)
{
	if (symbology.addOn == 0)
		return "";
	return "-" + std::string(data.substr(symbology.digits, symbology.addOn));
}

// A UPC-A code has a UPC-E form only when its number system is 0 or 1 and
// the compressed form expands back to the very same code.
bool has_upce_equivalent(const char* upa, const char* upe)
{
	if (upa[0] != '0' && upa[0] != '1')
		return false;
	char expanded[12];
	upe2upa(upe, expanded);
	return std::memcmp(expanded, upa, sizeof(expanded)) == 0;
}

std::string bookland_label(std::string_view data, const Symbology& symbology)
{
	const std::size_t needed = symbology.digits + symbology.addOn;
	if (data.size() < needed) {
		return "ISBN: " + partial_layout(data, {1, 6, 6}, symbology.addOn) +
		       incomplete_note(data.size(), needed);
	}
	char digits[14] = {};
	data.copy(digits, symbology.digits);
	char text[16];
	ibn_format(digits, text);
	return std::string("ISBN: ") + text + add_on_text(data, symbology);
}

std::string upa_label(std::string_view data, const Symbology& symbology)
{
	const std::size_t needed = UPA_DIGITS + symbology.addOn;
	if (data.size() < needed) {
		return "UPA: '" + partial_layout(data, {1, 5, 5, 1}, symbology.addOn) + "'" +
		       incomplete_note(data.size(), needed);
	}
	char upa[UPA_DIGITS + 1] = {};
	data.copy(upa, UPA_DIGITS);
	char upe[UPE_DIGITS + 1] = {};
	upa2upe(upa, upe);

	// The add-on belongs to the product as much as the code proper does,
	// so the equivalent carries it too.
	const std::string addOn = add_on_text(data, symbology);
	char upaText[16];
	upa_format(upa, upaText);
	std::string label = std::string("UPA: '") + upaText + addOn + "' [UPE equiv: ";
	if (!has_upce_equivalent(upa, upe))
		return label + "none]";
	char upeText[11];
	upe_format(upe, upeText);
	return label + "'" + upeText + addOn + "']";
}

std::string upe_label(std::string_view data, const Symbology& symbology)
{
	const std::size_t needed = UPE_DIGITS + symbology.addOn;
	if (data.size() < needed) {
		return "UPE: '" + partial_layout(data, {1, 6, 1}, symbology.addOn) + "'" +
		       incomplete_note(data.size(), needed);
	}
	char upe[UPE_DIGITS + 1] = {};
	data.copy(upe, UPE_DIGITS);
	char upa[UPA_DIGITS + 1] = {};
	upe2upa(upe, upa);

	const std::string addOn = add_on_text(data, symbology);
	char upeText[11];
	upe_format(upe, upeText);
	char upaText[16];
	upa_format(upa, upaText);
	return std::string("UPE: '") + upeText + addOn + "' [UPA equiv: '" + upaText + addOn + "']";
}

std::string layout_label(std::string_view text)
{
	const Symbology* symbology = find_symbology(text);
	const std::string_view data = data_of(text);
	if (symbology == nullptr)
		return "UNRECOGNIZED TYPE: " + std::string(text);
	switch (symbology->layout) {
	case SymbologyLayout::Bookland:
		return bookland_label(data, *symbology);
	case SymbologyLayout::UpcA:
		return upa_label(data, *symbology);
	case SymbologyLayout::UpcE:
		return upe_label(data, *symbology);
	case SymbologyLayout::Plain:
		break;
	}
	return std::string(symbology->prefix) + std::string(data);
}

} // namespace

std::string repair_upce(std::string_view code)
{
	const std::string_view text = as_text(code);
	const Symbology* symbology = find_symbology(text);
	// Only a UPC-E code with exactly number system and six digits (and its
	// add-on) lacks its check digit; longer ones keep theirs even when it
	// is wrong, and shorter ones have nothing to compute it from.
	if (symbology == nullptr || symbology->layout != SymbologyLayout::UpcE ||
	    data_of(text).size() != UPE_LENGTH - 1 + symbology->addOn)
		return std::string(text);

	char work[UPE_LENGTH + 1] = {};
	data_of(text).copy(work, UPE_LENGTH - 1);
	// The first 11 characters of the expansion do not depend on the
	// missing check character.
	char upa[UPA_DIGITS];
	upe2upa(work, upa);
	work[UPE_LENGTH - 1] = static_cast<char>('0' + upc_check_digit(upa));
	return std::string(symbology->tag) + " " + work +
	       std::string(data_of(text).substr(UPE_LENGTH - 1));
}

std::string code_label(std::string_view code)
{
	const std::string_view text = as_text(code);
	std::string label = layout_label(text);
	// Shown, never hidden: the person sees the scan, and that it is wrong.
	if (has_wrong_check_digit(text))
		label += " [check digit wrong]";
	return label;
}
