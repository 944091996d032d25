// How stria-listen prints one scan: the barcode alone, the barcode and its
// label, or a JSON object.
#ifndef STRIA_SCAN_LINE_H
#define STRIA_SCAN_LINE_H

#include <string>
#include <string_view>

enum class ScanFormat { Barcode, Label, Json };

// The line for one scan, without its newline. Bytes outside printable
// ASCII never reach the terminal raw: in the text formats a backslash is
// written as \\ and every byte outside printable ASCII as \xhh
// (printable_code); JSON has its own escapes and \u00hh. A scan whose check
// digit is wrong shows it in its label, and in JSON as "check_failed":true
// (good scans' lines go without it).
std::string scan_line(std::string_view barcode, ScanFormat format, bool checkFailed = false);

// A JSON string literal, quotes included.
std::string json_string(std::string_view text);

#endif // STRIA_SCAN_LINE_H
