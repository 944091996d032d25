// Decoded codes as text for a terminal or a log.
#ifndef STRIA_PRINTABLE_CODE_H
#define STRIA_PRINTABLE_CODE_H

#include <string>
#include <string_view>

// A code carries bytes, and a Code 128 label can carry any of them, escape
// sequences included. Printable ASCII (0x20 to 0x7e) is written as it is,
// except the backslash, which becomes "\\"; every other byte becomes "\xhh"
// (two lowercase hex digits). The text therefore reads back without doubt:
// a literal "\x41" in a code shows as "\\x41".
std::string printable_code(std::string_view code);

#endif // STRIA_PRINTABLE_CODE_H
