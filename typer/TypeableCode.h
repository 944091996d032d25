// Which scans the typer may type at all, whatever text its settings choose.
#ifndef STRIA_TYPEABLE_CODE_H
#define STRIA_TYPEABLE_CODE_H

#include <optional>
#include <string>
#include <string_view>

// A product code ("UPA 012000003455"): a UPC, EAN or ISBN tag and digits
// alone. Such a code never holds a word, a space or a key that acts.
bool IsProductCode(std::string_view code);

// Why a decoded code is not typed, or nothing when it may be: a code whose
// check digit is wrong never is; any code but a product code only with
// freeText, since a printed label (Code 128, Code 39, ...) can hold a shell
// command and the typer would type it where the person is typing.
std::optional<std::string> WhyNotTyped(std::string_view code, bool checkFailed, bool freeText);

#endif // STRIA_TYPEABLE_CODE_H
