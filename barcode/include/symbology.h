// What each known symbology tag carries: how its label is laid out, which
// bytes and how many its data may have, and how its check digit is found.
// Add-on variants (UA5, UE2, IB5, ...) are their base symbology followed by
// a 2- or 5-digit add-on, which has no check digit of its own.
#ifndef STRIA_SYMBOLOGY_H
#define STRIA_SYMBOLOGY_H

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

enum class SymbologyLayout {
	Bookland, // "ISBN: 9-780306-406157"
	UpcA,     // "UPA: '0-12000-00345-5' [UPE equiv: ...]"
	UpcE,     // "UPE: '0-123450-5' [UPA equiv: ...]"
	Plain     // prefix and data: "CODE128: STRIA-2026"
};

enum class CheckDigit {
	None,
	// GS1 modulo 10 over the digits before it (EAN-13, EAN-8, UPC-A).
	Modulo10,
	// Modulo 10 of the UPC-A code the UPC-E code expands to.
	UpcE
};

struct Symbology {
	std::string_view tag;
	// What log lines call its codes: "UPC-A codes with a 5-digit add-on".
	std::string_view name;
	SymbologyLayout layout;
	// The label's prefix of a plain layout.
	std::string_view prefix;
	// Whether its data is digits only.
	bool numeric;
	// Digits of the code proper, check digit included; 0: any length.
	std::size_t digits;
	// Digits of the add-on behind the code proper; 0: none.
	std::size_t addOn;
	CheckDigit check;
};

// The symbology of the first three bytes of code or tag; nullptr for a tag
// that is not one of KNOWN_TAGS.
const Symbology* find_symbology(std::string_view tag);

// The GS1 modulo-10 check digit (0 to 9) of `digits`, the digits before the
// check digit: weights 3 and 1 alternate from the rightmost digit on.
// `digits` must hold digits only.
int modulo10_check_digit(std::string_view digits);

// Why `code` (tag, space, data; repaired) is not a code its symbology can
// carry: a zero byte in any code; a non-digit, or the wrong count of digits,
// in a numeric one. Nothing when it can be one.
std::optional<std::string> code_fault(std::string_view code);

// Whether `code` is a numeric code of its full length whose check digit is
// not the one its other digits give. Codes that cannot be judged (unknown
// tags, no check digit, wrong length, non-digits) are not wrong.
bool has_wrong_check_digit(std::string_view code);

#endif // STRIA_SYMBOLOGY_H
