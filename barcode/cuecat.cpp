// Scanner-record decoding and the ISBN-10 of Bookland codes.
#include "cuecat.h"
#include "code_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Characters that end a word, as scanf's "%s" sees them.
bool is_word_space(int c)
{
	return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Bytes a record of `length` characters decodes to at most: one per
// decoded character (index UID_SKIP up to the one before the last).
std::size_t decoded_capacity(std::size_t length)
{
	return length > UID_SKIP + 1 ? length - UID_SKIP - 1 : 0;
}

} // namespace

int decode_char(char c)
{
	// Bytes of 0x80 and above (negative as signed chars) are outside.
	const unsigned value = static_cast<unsigned char>(c);
	if (value >= 'a' && value <= 'z')
		return static_cast<int>(value - 'a');
	if (value >= 'A' && value <= 'Z')
		return static_cast<int>(value - 'A') + 26;
	if (value >= '0' && value <= '9')
		return static_cast<int>(value - '0') + 52;
	if (value == '+')
		return 62;
	if (value == '-')
		return 63;
	if (value == '.')
		return -2;
	return -1;
}

bool is_known_tag(std::string_view tag)
{
	return std::find(KNOWN_TAGS.begin(), KNOWN_TAGS.end(), tag.substr(0, 3)) != KNOWN_TAGS.end();
}

bool is_well_formed_tag(std::string_view tag)
{
	if (tag.size() < 3)
		return false;
	for (const char c : tag.substr(0, 3)) {
		if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '!'))
			return false;
	}
	return true;
}

unsigned char choose_xor_key(std::string_view record)
{
	const std::size_t end = record.empty() ? 0 : record.size() - 1;
	std::uint32_t bits = 0;
	int found = 0;
	for (std::size_t i = UID_SKIP; i < end && found < 4; i++) {
		const int value = decode_char(record[i]);
		if (value >= 0) {
			bits = bits * 64 + static_cast<std::uint32_t>(value);
			found++;
		}
	}
	if (found < 4)
		return XOR_KEY_DEFAULT;

	const auto tag_under = [bits](unsigned char key) {
		return std::string{static_cast<char>(((bits >> 16) & 0xff) ^ key),
		                   static_cast<char>(((bits >> 8) & 0xff) ^ key),
		                   static_cast<char>((bits & 0xff) ^ key)};
	};
	const std::string underDefault = tag_under(XOR_KEY_DEFAULT);
	const std::string underScanner = tag_under(XOR_KEY_SCANNER);
	// No known tag reads as another known one under the other key, so a
	// known tag settles it.
	if (is_known_tag(underDefault))
		return XOR_KEY_DEFAULT;
	if (is_known_tag(underScanner))
		return XOR_KEY_SCANNER;
	if (is_well_formed_tag(underScanner))
		return XOR_KEY_SCANNER;
	return XOR_KEY_DEFAULT;
}

int decode_with_key(std::string_view record, char* code, unsigned char key)
{
	const auto put = [&](int& written, std::uint32_t byte) {
		code[written++] = static_cast<char>((byte & 0xff) ^ key);
	};

	std::uint32_t bits = 0;
	int pending = 0;
	int written = 0;
	// The closing full stop is never decoded.
	const std::size_t end = record.empty() ? 0 : record.size() - 1;
	for (std::size_t i = UID_SKIP; i < end; i++) {
		const int value = decode_char(record[i]);
		if (value < 0) {
			// A separator or stray byte becomes a space at once; a group
			// that straddles it carries on behind the space.
			code[written++] = ' ';
			continue;
		}
		bits = bits * 64 + static_cast<std::uint32_t>(value);
		if (++pending == 4) {
			put(written, bits >> 16);
			put(written, bits >> 8);
			put(written, bits);
			bits = 0;
			pending = 0;
		}
	}

	// A partial group of 2 or 3 characters carries 1 or 2 whole bytes; a
	// single character's 6 bits make no byte.
	if (pending == 2) {
		bits <<= 12;
		put(written, bits >> 16);
	} else if (pending == 3) {
		bits <<= 6;
		put(written, bits >> 16);
		put(written, bits >> 8);
	}
	return written;
}

int decode_code(const char* record, char* code)
{
	const std::string_view text(record);
	return decode_with_key(text, code, choose_xor_key(text));
}

std::string decode_record(std::string_view record)
{
	std::string code(decoded_capacity(record.size()), '\0');
	code.resize(
	        static_cast<std::size_t>(decode_with_key(record, code.data(), choose_xor_key(record))));
	return code;
}

int isbn_code(const char* code, char* isbn)
{
	int sum = 0;
	for (int i = 0; i < 9; i++) {
		const char c = code[ISBN_SKIP + i];
		isbn[i] = c;
		const int value = c >= '0' && c <= '9' ? c - '0' : 0;
		sum += value * (10 - i);
	}
	// The check makes the weighted sum of all ten characters divisible by 11.
	const int check = 11 - sum % 11;
	isbn[9] = check == 10 ? 'x' : check == 11 ? '0' : static_cast<char>('0' + check);
	return 9;
}

std::optional<std::string> isbn10(std::string_view code)
{
	const bool bookland = code.substr(0, 2) == "IB" && code.size() >= 3 &&
	                      (code[2] == 'N' || code[2] == '2' || code[2] == '5');
	if (!bookland || code.size() < ISBN_SKIP + 9 || code.substr(4, 3) != "978")
		return std::nullopt;
	std::string isbn(10, '\0');
	isbn_code(code.data(), isbn.data());
	return isbn;
}

RecordRead read_record(std::FILE* in, std::string& record, std::size_t limit)
{
	record.clear();
	int c;
	do {
		c = std::getc(in);
	} while (c != EOF && is_word_space(c));

	while (c != EOF && !is_word_space(c)) {
		if (record.size() >= limit)
			return RecordRead::TooLong;
		record.push_back(static_cast<char>(c));
		c = std::getc(in);
	}
	if (c == EOF && std::ferror(in))
		return RecordRead::Error;
	return record.empty() ? RecordRead::NoWord : RecordRead::Word;
}

int get_code(char* record, std::size_t size, std::FILE* in)
{
	if (size == 0)
		return GET_CODE_TOO_LONG;
	std::string word;
	const RecordRead result = read_record(in, word, size - 1);
	std::memcpy(record, word.data(), word.size());
	record[word.size()] = '\0';
	switch (result) {
	case RecordRead::Word:
		return 1;
	case RecordRead::TooLong:
		return GET_CODE_TOO_LONG;
	case RecordRead::NoWord:
	case RecordRead::Error:
		break;
	}
	return EOF;
}
