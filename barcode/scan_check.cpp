// The check of a captured record, from its characters to its check digit.
#include "scan_check.h"

#include "code_text.h"
#include "cuecat.h"
#include "cuecat_constants.h"
#include "printable_code.h"
#include "symbology.h"

#include <cstdio>
#include <vector>

namespace {

constexpr std::size_t kIdentifierLength = UID_SKIP - 2;
constexpr std::size_t kSymbologyLength = 4;

std::string byte_text(unsigned char byte)
{
	char text[8];
	std::snprintf(text, sizeof(text), "0x%02x", byte);
	return text;
}

std::vector<std::string_view> fields_of(std::string_view inner)
{
	std::vector<std::string_view> fields;
	for (std::size_t stop; (stop = inner.find('.')) != std::string_view::npos;) {
		fields.push_back(inner.substr(0, stop));
		inner.remove_prefix(stop + 1);
	}
	fields.push_back(inner);
	return fields;
}

std::string count_text(std::size_t count, const char* what)
{
	return std::to_string(count) + " " + what + (count == 1 ? "" : "s");
}

} // namespace

std::optional<std::string> record_fault(std::string_view record)
{
	if (record.empty() || record.front() != '.')
		return "it does not start with a full stop";
	for (std::size_t i = 0; i < record.size(); i++) {
		if (decode_char(record[i]) == -1) {
			return "the byte " + byte_text(static_cast<unsigned char>(record[i])) +
			       " at character " + std::to_string(i + 1) + " is no record character";
		}
	}
	if (record.size() < 2 || record.back() != '.')
		return "it does not end with a full stop";

	const std::vector<std::string_view> fields = fields_of(record.substr(1, record.size() - 2));
	if (fields.size() != 3) {
		return "it has " + count_text(fields.size(), "field") +
		       " between full stops, not 3: scanner identifier, symbology, data";
	}
	if (fields[0].size() != kIdentifierLength) {
		return "its scanner identifier has " + count_text(fields[0].size(), "character") +
		       ", not " + std::to_string(kIdentifierLength);
	}
	if (fields[1].size() != kSymbologyLength) {
		return "its symbology field has " + count_text(fields[1].size(), "character") + ", not " +
		       std::to_string(kSymbologyLength);
	}
	if (fields[2].empty())
		return "its data field is empty";
	// Four characters make three bytes, two or three one or two; a single
	// character's six bits make none.
	if (fields[2].size() % 4 == 1) {
		return "its data field has " + count_text(fields[2].size(), "character") +
		       ", and the last makes no byte";
	}

	// The field being whole, the tag is the first three decoded bytes.
	const std::string tag = decode_record(record).substr(0, 3);
	if (!is_well_formed_tag(tag))
		return "its symbology field decodes to no tag of A-Z, 0-9 and ! under either key";
	return std::nullopt;
}

std::variant<ScanCode, ScanRefusal> check_scan(std::string_view record)
{
	if (const std::optional<std::string> fault = record_fault(record))
		return ScanRefusal{"not a scanner record (" + *fault + "): " + printable_code(record)};

	const std::string decoded = decode_record(record);
	// The zero byte first: the repair takes codes as text and would cut it.
	if (decoded.find('\0') != std::string::npos)
		return ScanRefusal{code_fault(decoded).value_or("")};
	ScanCode scan{repair_upce(decoded)};
	if (const std::optional<std::string> fault = code_fault(scan.code))
		return ScanRefusal{*fault};
	scan.checkFailed = has_wrong_check_digit(scan.code);
	return scan;
}
