#include "TypeableCode.h"

#include <algorithm>
#include <array>

namespace {

// UPC-A, UPC-E, EAN-13, EAN-8, Bookland (ISBN) and these with their add-on
// digits.
const std::array<std::string_view, 12> kProductTags = {"UPA", "UPE", "E13", "E08", "IBN", "IB2",
                                                       "IB5", "UA2", "UA5", "UE2", "UE5", "UP2"};

} // namespace

bool IsProductCode(std::string_view code)
{
	const size_t space = code.find(' ');
	if (space == std::string_view::npos)
		return false;
	const std::string_view tag = code.substr(0, space);
	const std::string_view data = code.substr(space + 1);
	return std::find(kProductTags.begin(), kProductTags.end(), tag) != kProductTags.end() &&
	       !data.empty() &&
	       std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::optional<std::string> WhyNotTyped(std::string_view code, bool checkFailed, bool freeText)
{
	if (checkFailed)
		return "its check digit is wrong";
	if (!freeText && !IsProductCode(code))
		return "it is no UPC, EAN or ISBN code, and free-text is no";
	return std::nullopt;
}
