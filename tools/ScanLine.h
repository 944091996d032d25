// How stria-listen prints one scan: the barcode alone, the barcode and its
// label, or a JSON object.
#ifndef STRIA_SCAN_LINE_H
#define STRIA_SCAN_LINE_H

#include <string>
#include <string_view>

enum class ScanFormat { Barcode, Label, Json };

// The line for one scan, without its newline. Bytes outside printable
// ASCII never reach the terminal raw: \xhh in the text formats, \u00hh in
// JSON (with JSON's own escapes for quotes, backslashes and control bytes).
std::string scan_line(std::string_view barcode, ScanFormat format);

// Text with every byte outside 0x20..0x7e written as \xhh.
std::string printable_text(std::string_view text);

// A JSON string literal, quotes included.
std::string json_string(std::string_view text);

#endif // STRIA_SCAN_LINE_H
