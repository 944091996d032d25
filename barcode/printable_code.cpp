#include "printable_code.h"

std::string printable_code(std::string_view code)
{
	static const char kHex[] = "0123456789abcdef";
	std::string printed;
	printed.reserve(code.size());
	for (char c : code) {
		const unsigned char byte = static_cast<unsigned char>(c);
		if (c == '\\') {
			printed += "\\\\";
		} else if (byte >= 0x20 && byte <= 0x7e) {
			printed += c;
		} else {
			printed += "\\x";
			printed += kHex[byte >> 4];
			printed += kHex[byte & 0xf];
		}
	}
	return printed;
}
