// Any byte string as a scanner record: decode_code on its text up to the
// first NUL, decode_record on all of it.
#include "code_text.h"
#include "cuecat.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
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
	if (decoded.find('\0') != std::string::npos || decoded.size() > (size > 27 ? size - 27 : 0))
		std::abort();

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
