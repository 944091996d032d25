// The known symbologies, what their codes may hold and their check digits.
#include "symbology.h"

#include "barcodelib.h"
#include "cuecat_constants.h"
#include "printable_code.h"

#include <algorithm>
#include <array>

namespace {

using L = SymbologyLayout;
using C = CheckDigit;

constexpr std::array<Symbology, KNOWN_TAGS.size()> kSymbologies = {{
        {"IBN", "ISBN codes", L::Bookland, "", true, 13, 0, C::Modulo10},
        {"IB2", "ISBN codes with a 2-digit add-on", L::Bookland, "", true, 13, 2, C::Modulo10},
        {"IB5", "ISBN codes with a 5-digit add-on", L::Bookland, "", true, 13, 5, C::Modulo10},
        {"UPA", "UPC-A codes", L::UpcA, "", true, 12, 0, C::Modulo10},
        {"UA2", "UPC-A codes with a 2-digit add-on", L::UpcA, "", true, 12, 2, C::Modulo10},
        {"UA5", "UPC-A codes with a 5-digit add-on", L::UpcA, "", true, 12, 5, C::Modulo10},
        {"UPE", "UPC-E codes", L::UpcE, "", true, 8, 0, C::UpcE},
        {"UE2", "UPC-E codes with a 2-digit add-on", L::UpcE, "", true, 8, 2, C::UpcE},
        {"UE5", "UPC-E codes with a 5-digit add-on", L::UpcE, "", true, 8, 5, C::UpcE},
        {"E13", "EAN-13 codes", L::Plain, "E13: ", true, 13, 0, C::Modulo10},
        {"E08", "EAN-8 codes", L::Plain, "E08: ", true, 8, 0, C::Modulo10},
        // Interleaved 2 of 5 encodes digits in pairs, of any count.
        {"ITF", "Interleaved 2 of 5 codes", L::Plain, "ITF: ", true, 0, 0, C::None},
        {"128", "Code 128 codes", L::Plain, "CODE128: ", false, 0, 0, C::None},
        {"C39", "Code 39 codes", L::Plain, "C39: ", false, 0, 0, C::None},
        {"CC!", "CueCat codes", L::Plain, "CueCat: ", false, 0, 0, C::None},
        {"UP2", "UP2 codes", L::Plain, "UP2: ", false, 0, 0, C::None},
}};

std::string_view data_of(std::string_view code)
{
	return code.size() > 4 ? code.substr(4) : std::string_view();
}

bool all_digits(std::string_view text)
{
	return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

const Symbology* find_symbology(std::string_view tag)
{
	tag = tag.substr(0, 3);
	for (const Symbology& symbology : kSymbologies) {
		if (symbology.tag == tag)
			return &symbology;
	}
	return nullptr;
}

int modulo10_check_digit(std::string_view digits)
{
	int sum = 0;
	int weight = 3;
	for (auto c = digits.rbegin(); c != digits.rend(); ++c) {
		sum += weight * (*c - '0');
		weight = 4 - weight;
	}
	return (10 - sum % 10) % 10;
}

std::optional<std::string> code_fault(std::string_view code)
{
	if (code.find('\0') != std::string_view::npos)
		return "the code holds a zero byte: " + printable_code(code);
	const std::string_view data = data_of(code);
	if (data.empty())
		return "the code holds no data: " + printable_code(code);
	const Symbology* symbology = find_symbology(code);
	if (symbology == nullptr || !symbology->numeric)
		return std::nullopt;
	if (!all_digits(data))
		return std::string(symbology->name) + " hold only digits: " + printable_code(code);
	const std::size_t needed = symbology->digits + symbology->addOn;
	if (needed != 0 && data.size() != needed) {
		return std::string(symbology->name) + " have " + std::to_string(needed) +
		       " digits, this one " + std::to_string(data.size()) + ": " + printable_code(code);
	}
	return std::nullopt;
}

bool has_wrong_check_digit(std::string_view code)
{
	const Symbology* symbology = find_symbology(code);
	const std::string_view data = data_of(code);
	if (symbology == nullptr || symbology->check == CheckDigit::None ||
	    data.size() != symbology->digits + symbology->addOn || !all_digits(data))
		return false;

	const std::string_view proper = data.substr(0, symbology->digits);
	const int given = proper.back() - '0';
	if (symbology->check == CheckDigit::UpcE) {
		char upa[12];
		upe2upa(proper.data(), upa);
		return upc_check_digit(upa) != given;
	}
	return modulo10_check_digit(proper.substr(0, proper.size() - 1)) != given;
}
