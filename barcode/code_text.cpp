// The UPC-E repair and the code label.
#include "code_text.h"
#include "barcodelib.h"
#include "cuecat_constants.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace {

// Characters a code's data part needs for its label layout.
constexpr std::size_t IBN_DIGITS = 13;
constexpr std::size_t IB5_DIGITS = 18;
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
std::string partial_layout(std::string_view held, std::initializer_list<std::size_t> groups)
{
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

std::string bookland_label(std::string_view data, bool addOn)
{
	const std::size_t needed = addOn ? IB5_DIGITS : IBN_DIGITS;
	if (data.size() < needed) {
		return "ISBN: " + partial_layout(data, {1, 6, 6, 5}) + incomplete_note(data.size(), needed);
	}
	char digits[IB5_DIGITS + 1] = {};
	data.copy(digits, needed);
	char text[22];
	if (addOn)
		ib5_format(digits, text);
	else
		ibn_format(digits, text);
	return std::string("ISBN: ") + text;
}

std::string upa_label(std::string_view data)
{
	if (data.size() < UPA_DIGITS) {
		return "UPA: '" + partial_layout(data, {1, 5, 5, 1}) + "'" +
		       incomplete_note(data.size(), UPA_DIGITS);
	}
	char upa[UPA_DIGITS + 1] = {};
	data.copy(upa, UPA_DIGITS);
	char upe[UPE_DIGITS + 1] = {};
	upa2upe(upa, upe);

	char upaText[16];
	upa_format(upa, upaText);
	std::string label = std::string("UPA: '") + upaText + "' [UPE equiv: ";
	if (!has_upce_equivalent(upa, upe))
		return label + "none]";
	char upeText[11];
	upe_format(upe, upeText);
	return label + "'" + upeText + "']";
}

std::string upe_label(std::string_view data)
{
	if (data.size() < UPE_DIGITS) {
		return "UPE: '" + partial_layout(data, {1, 6, 1}) + "'" +
		       incomplete_note(data.size(), UPE_DIGITS);
	}
	char upe[UPE_DIGITS + 1] = {};
	data.copy(upe, UPE_DIGITS);
	char upa[UPA_DIGITS + 1] = {};
	upe2upa(upe, upa);

	char upeText[11];
	upe_format(upe, upeText);
	char upaText[16];
	upa_format(upa, upaText);
	return std::string("UPE: '") + upeText + "' [UPA equiv: '" + upaText + "']";
}

} // namespace

std::string repair_upce(std::string_view code)
{
	const std::string_view text = as_text(code);
	// Only a "UPE" code with exactly number system and six digits lacks
	// its check digit; longer ones keep theirs even when it is wrong, and
	// shorter ones have nothing to compute it from.
	if (text.substr(0, 3) != "UPE" || text.size() >= UPE_LENGTH + 4 ||
	    data_of(text).size() != UPE_LENGTH - 1)
		return std::string(text);

	char work[UPE_LENGTH + 1] = {};
	data_of(text).copy(work, UPE_LENGTH - 1);
	// The first 11 characters of the expansion do not depend on the
	// missing check character.
	char upa[UPA_DIGITS];
	upe2upa(work, upa);
	work[UPE_LENGTH - 1] = static_cast<char>('0' + upc_check_digit(upa));
	return std::string("UPE ") + work;
}

std::string code_label(std::string_view code)
{
	const std::string_view text = as_text(code);
	const std::string_view tag = text.substr(0, 3);
	const std::string_view data = data_of(text);

	if (tag == "IBN")
		return bookland_label(data, false);
	if (tag == "IB5")
		return bookland_label(data, true);
	if (tag == "UPA")
		return upa_label(data);
	if (tag == "UPE")
		return upe_label(data);

	struct Prefix {
		std::string_view tag;
		std::string_view label;
	};
	static constexpr Prefix prefixes[] = {
	        {"CC!", "CueCat: "}, {"128", "CODE128: "}, {"ITF", "ITF: "}, {"C39", "C39: "},
	        {"E13", "E13: "},    {"E08", "E08: "},     {"UP2", "UP2: "}, {"UA2", "UA2: "}};
	for (const Prefix& prefix : prefixes) {
		if (tag == prefix.tag)
			return std::string(prefix.label) + std::string(data);
	}
	return "UNRECOGNIZED TYPE: " + std::string(text);
}
