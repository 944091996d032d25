// Constants shared by the record decoder, the labels, the command-line
// decoder and the keystroke filter.
#ifndef STRIA_CUECAT_CONSTANTS_H
#define STRIA_CUECAT_CONSTANTS_H

#include <array>
#include <string_view>

// Index of a record's first decoded character: the leading full stop, the
// 24-character scanner identifier and the full stop behind it are skipped.
inline constexpr int UID_SKIP = 26;

// Position of the first ISBN digit inside a decoded Bookland code
// ("IBN 978" followed by the nine ISBN digits).
inline constexpr int ISBN_SKIP = 7;

// Characters of a complete UPC-E code: number system, six digits, check digit.
inline constexpr int UPE_LENGTH = 8;

// The longest record Stria takes. Long Code 128 and Code 39 scans make
// records of hundreds of characters; they are decoded whole, never cut.
inline constexpr int MAX_RECORD = 1023;

// The symbology tags that the labels know (symbology.h says what each
// carries). Other well-formed tags decode too and are labelled as
// unrecognized.
inline constexpr std::array<std::string_view, 16> KNOWN_TAGS = {
        "IBN", "IB2", "IB5", "UPA", "UA2", "UA5", "UPE", "UE2",
        "UE5", "E13", "E08", "ITF", "128", "C39", "CC!", "UP2"};

#endif // STRIA_CUECAT_CONSTANTS_H
