#include "TypedText.h"

#include <code_text.h>
#include <cuecat.h>

namespace {

// A decoded code is its tag, a space and its data.
std::string_view DataOf(std::string_view code)
{
	size_t space = code.find(' ');
	return space == std::string_view::npos ? std::string_view() : code.substr(space + 1);
}

} // namespace

std::string TypedText(std::string_view code, TypedKind type)
{
	switch (type) {
	case TypedKind::Off:
		return {};
	case TypedKind::Data:
		return std::string(DataOf(code));
	case TypedKind::Barcode:
		return std::string(code);
	case TypedKind::Isbn10:
		if (std::optional<std::string> isbn = isbn10(code))
			return *isbn;
		return std::string(DataOf(code));
	case TypedKind::Label:
		return code_label(code);
	}
	return {};
}
