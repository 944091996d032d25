// Whether a captured record is a whole, right scan: only those are sent,
// shown and typed. A record that is not a scanner record, or whose code its
// symbology cannot carry, is refused with the reason; a code whose check
// digit is wrong is taken, and marked, so that a person sees it.
#ifndef STRIA_SCAN_CHECK_H
#define STRIA_SCAN_CHECK_H

#include <optional>
#include <string>
#include <string_view>
#include <variant>

// A scan to deliver: the decoded code, its UPC-E check digit repaired.
struct ScanCode {
	std::string code;
	bool checkFailed = false;

	bool operator==(const ScanCode&) const = default;
};

// Why a scan is refused, in words for a log line; it ends with the record
// or the code, bytes outside printable ASCII escaped.
struct ScanRefusal {
	std::string reason;

	bool operator==(const ScanRefusal&) const = default;
};

// Why `record` is not a scanner record, or nothing when it is one: "."
// scanner identifier (24 characters) "." symbology (4) "." data (not empty,
// and never one character past a group of four, as one character makes no
// byte) ".", every character of the record alphabet, and a symbology field
// that decodes to a well-formed tag under one of the keys.
std::optional<std::string> record_fault(std::string_view record);

// The whole check of a captured record: its form, then its decoded code
// (repaired) against what its symbology can carry (code_fault), then the
// check digit (has_wrong_check_digit).
std::variant<ScanCode, ScanRefusal> check_scan(std::string_view record);

#endif // STRIA_SCAN_CHECK_H
