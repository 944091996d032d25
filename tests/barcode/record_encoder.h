// Builds scanner records the way a scanner does: the inverse of the decoder,
// so that tests can make records for any code.
#ifndef STRIA_TESTS_RECORD_ENCODER_H
#define STRIA_TESTS_RECORD_ENCODER_H

#include <cstdint>
#include <string>
#include <string_view>

// The identifier field of a real scanner.
inline constexpr std::string_view SCANNER_ID = "C3nZC3nZC3nYCxP2Dxb1CNnY";

inline char encode_value(unsigned value)
{
	if (value < 26)
		return static_cast<char>('a' + value);
	if (value < 52)
		return static_cast<char>('A' + value - 26);
	if (value < 62)
		return static_cast<char>('0' + value - 52);
	return value == 62 ? '+' : '-';
}

// Scrambles bytes with `key` into record characters: four per three bytes,
// two for one leftover byte, three for two.
inline std::string encode_field(std::string_view bytes, unsigned char key)
{
	std::string chars;
	std::size_t i = 0;
	const auto byte = [&](std::size_t at) {
		return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]) ^ key);
	};
	for (; i + 3 <= bytes.size(); i += 3) {
		const std::uint32_t bits = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
		for (int shift = 18; shift >= 0; shift -= 6)
			chars += encode_value(bits >> shift & 63);
	}
	if (bytes.size() - i == 1) {
		const std::uint32_t bits = byte(i) << 4;
		chars += encode_value(bits >> 6 & 63);
		chars += encode_value(bits & 63);
	} else if (bytes.size() - i == 2) {
		const std::uint32_t bits = (byte(i) << 8 | byte(i + 1)) << 2;
		for (int shift = 12; shift >= 0; shift -= 6)
			chars += encode_value(bits >> shift & 63);
	}
	return chars;
}

// A whole record whose decoded code is `tag`, a space and `data`.
inline std::string make_record(std::string_view tag, std::string_view data,
                               unsigned char key = 0x5A, std::string_view id = SCANNER_ID)
{
	return "." + std::string(id) + "." + encode_field(tag, key) + "." + encode_field(data, key) +
	       ".";
}

#endif // STRIA_TESTS_RECORD_ENCODER_H
