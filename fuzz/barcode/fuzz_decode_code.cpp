// Any byte string as a scanner record: decode_code on its text up to the
// first NUL, decode_record and the whole check of a scan on all of it.
#include "code_text.h"
#include "cuecat.h"
#include "scan_check.h"
#include "symbology.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::string bytes(reinterpret_cast<const char*>(data), size);
	const std::size_t length = std::strlen(bytes.c_str());

	// Sized exactly to what the record may yield, so an overrun is caught.
	std::vector<char> code(length > 27 ? length - 27 : 0);
	const int count = decode_code(bytes.c_str(), code.data());
	if (count < 0 || static_cast<std::size_t>(count) > code.size())
		std::abort();

	const std::string decoded = decode_record(bytes);
	if (decoded.size() > (size > 27 ? size - 27 : 0))
		std::abort();

	// A delivered code is one its symbology carries, flagged exactly when
	// its check digit is wrong; a refusal always says why.
	const auto checked = check_scan(bytes);
	if (const ScanCode* scan = std::get_if<ScanCode>(&checked)) {
		if (code_fault(scan->code) || scan->checkFailed != has_wrong_check_digit(scan->code) ||
		    !is_well_formed_tag(scan->code))
			std::abort();
	} else if (std::get<ScanRefusal>(checked).reason.empty()) {
		std::abort();
	}

	// Both keys give codes of the same length; the chosen one is one of them.
	const unsigned char key = choose_xor_key(bytes);
	if (key != XOR_KEY_DEFAULT && key != XOR_KEY_SCANNER)
		std::abort();
	std::vector<char> other(code.size());
	const unsigned char otherKey = key == XOR_KEY_DEFAULT ? XOR_KEY_SCANNER : XOR_KEY_DEFAULT;
	if (decode_with_key(bytes.substr(0, length), other.data(), otherKey) != count)
		std::abort();
	return 0;
}
