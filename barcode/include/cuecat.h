// Scanner-record decoding and the ISBN-10 of Bookland codes.
//
// A record is ".", a 24-character scanner identifier, ".", four characters
// that decode to the three-letter symbology tag, ".", the encoded data and a
// closing ".". Every alphabet character carries 6 bits; groups of four make
// three bytes, each XORed with a scrambling key.
#ifndef STRIA_CUECAT_H
#define STRIA_CUECAT_H

#include "cuecat_constants.h"

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// The key of the documented record format.
inline constexpr unsigned char XOR_KEY_DEFAULT = 0x5A;
// The key real scanners scramble with (the letter "C").
inline constexpr unsigned char XOR_KEY_SCANNER = 0x43;

// The 6-bit value of a record character (0 to 63), -2 for a full stop and
// -1 for any byte outside the alphabet.
int decode_char(char c);

// Whether the first three bytes of `tag` are one of KNOWN_TAGS.
bool is_known_tag(std::string_view tag);

// Whether `tag` has at least three bytes and the first three are each one
// of A-Z, 0-9 and "!": what every symbology tag is made of.
bool is_well_formed_tag(std::string_view tag);

// The key a record was scrambled with. The symbology field (the first four
// alphabet characters from UID_SKIP on, among those that are decoded) is
// decoded with both keys. A key that gives a known tag wins; else a key that
// gives a well-formed tag, the scanners' own key when both do (some tags
// read as another well-formed tag under the other key: "UPA" as "LIX").
// Records where neither key gives a well-formed tag, or with fewer than four
// symbology characters, get XOR_KEY_DEFAULT.
unsigned char choose_xor_key(std::string_view record);

// Decodes `record` with `key` into `code` and returns the count of bytes
// written; writes no terminator. Characters from UID_SKIP to the one before
// the last are decoded; a full stop or a byte outside the alphabet writes a
// space without disturbing the pending group. `code` must hold
// record.size() - 27 bytes (nothing for records of 27 characters or fewer).
int decode_with_key(std::string_view record, char* code, unsigned char key);

// Decodes the NUL-terminated `record` into `code` with the key that
// choose_xor_key picks; returns the count of bytes, writes no terminator.
// `code` must hold strlen(record) - 27 bytes.
int decode_code(const char* record, char* code);

// Writes the ISBN-10 of the decoded Bookland code `code` into `isbn`: the
// nine characters at ISBN_SKIP and the check character ("x" for ten); no
// terminator. Non-digits are copied and weigh nothing. `code` must hold
// ISBN_SKIP + 9 characters. Returns 9, the position of the check character.
int isbn_code(const char* code, char* isbn);

// The ISBN-10 of a decoded code, when it has one: an "IBN", "IB2" or "IB5" code
// whose EAN digits start with 978 and that holds all nine ISBN digits.
// Other Bookland prefixes (979) name no ISBN-10.
std::optional<std::string> isbn10(std::string_view code);

// Outcome of reading the record word from a stream.
enum class RecordRead {
	Word,    // a word was read
	NoWord,  // the stream held only white space
	TooLong, // the word is longer than the limit; the record holds its start
	Error    // the stream failed; errno tells why
};

// Reads the first white-space-delimited word of `in` into `record`, storing
// at most `limit` characters. The white space behind the word is consumed.
RecordRead read_record(std::FILE* in, std::string& record, std::size_t limit = MAX_RECORD);

// Reads the first word of `in` into the `size`-byte buffer `record`,
// NUL-terminated. Returns 1 when a word was read, EOF when there was none
// (or the stream failed), GET_CODE_TOO_LONG when the word does not fit; the
// buffer then holds its first size - 1 characters.
inline constexpr int GET_CODE_TOO_LONG = -2;
int get_code(char* record, std::size_t size, std::FILE* in = stdin);

#endif // STRIA_CUECAT_H
