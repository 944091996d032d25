// Record decoding: character values, the decoding loop's edge cases, the
// choice of scrambling key, and round trips through an encoder.
#include "code_text.h"
#include "cuecat.h"
#include "record_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <vector>

namespace {

std::string decode_bytes(const std::string& record)
{
	std::vector<char> code(record.size() + 1);
	const int count = decode_code(record.c_str(), code.data());
	EXPECT_GE(count, 0);
	return std::string(code.data(), static_cast<std::size_t>(count));
}

// What a tag scrambled with one key reads as under the other.
std::string shadow_of(std::string_view tag)
{
	std::string shadow(tag);
	for (char& c : shadow)
		c = static_cast<char>(c ^ (XOR_KEY_DEFAULT ^ XOR_KEY_SCANNER));
	return shadow;
}

// ".", identifier, "." and the given characters from UID_SKIP on.
std::string after_id(std::string_view rest)
{
	return "." + std::string(SCANNER_ID) + "." + std::string(rest);
}

TEST(DecodeChar, GivesEachAlphabetValueToExactlyOneByte)
{
	struct Case {
		char c;
		int value;
	} cases[] = {{'a', 0},     {'z', 25},    {'A', 26},   {'Z', 51}, {'0', 52},  {'9', 61},
	             {'+', 62},    {'-', 63},    {'.', -2},   {' ', -1}, {'\0', -1}, {'/', -1},
	             {',', -1},    {'@', -1},    {'[', -1},   {'`', -1}, {'{', -1},  {'\x7f', -1},
	             {'\x80', -1}, {'\xe1', -1}, {'\xff', -1}};
	for (const Case& c : cases)
		EXPECT_EQ(decode_char(c.c), c.value) << "byte " << int(static_cast<unsigned char>(c.c));

	std::multiset<int> values;
	for (int b = 0; b < 256; b++) {
		const int value = decode_char(static_cast<char>(b));
		if (value >= 0)
			values.insert(value);
	}
	ASSERT_EQ(values.size(), 64u);
	for (int v = 0; v < 64; v++)
		EXPECT_EQ(values.count(v), 1u) << v;
}

TEST(DecodeCode, EdgeCases)
{
	const std::string upa = encode_field("UPA", 0x5A);
	const std::string digits = encode_field("012345678905", 0x5A);
	struct Case {
		const char* what;
		std::string record;
		std::string code;
	} cases[] = {
	        {"48-character UPC-A record", make_record("UPA", "012345678905"), "UPA 012345678905"},
	        // "ZZZ" and "CCC" are both well-formed: the scanners' key wins.
	        {"four zero values", after_id("aaaa."), "\x43\x43\x43"},
	        {"four values of 63", after_id("----."), "\xa5\xa5\xa5"},
	        {"5 data characters add 3 bytes", after_id(upa + ".aaaaa."), "UPA \x5a\x5a\x5a"},
	        {"6 data characters add 4 bytes", after_id(upa + ".aaaaaa."), "UPA \x5a\x5a\x5a\x5a"},
	        {"7 data characters add 5 bytes", after_id(upa + ".aaaaaaa."),
	         "UPA \x5a\x5a\x5a\x5a\x5a"},
	        {"full stop inside the symbology field",
	         after_id(upa.substr(0, 2) + "." + upa.substr(2) + "." + digits + "."),
	         " UPA 012345678905"},
	        {"stray byte inside a group keeps the group",
	         after_id(upa.substr(0, 1) + "#" + upa.substr(1) + "." + digits + "."),
	         " UPA 012345678905"},
	        {"no closing full stop drops the last character", after_id(upa + "." + digits),
	         "UPA 01234567890"},
	        {"empty record", "", ""},
	        {"27 characters", after_id("."), ""},
	        {"28 characters, alphabet at 26", after_id("a."), ""},
	        {"28 characters, full stop at 26", after_id(".."), " "},
	        {"28 characters, stray byte at 26", after_id("*."), " "},
	        {"only the closing character is left", after_id("aaaa"), "\x5a\x5a"},
	};
	for (const Case& c : cases) {
		const std::string decoded = decode_bytes(c.record);
		EXPECT_EQ(decoded, c.code) << c.what;
		EXPECT_LE(decoded.size(), c.record.size() < 27 ? 0 : c.record.size() - 27) << c.what;
	}
}

TEST(DecodeCode, RealScannerRecords)
{
	struct Case {
		const char* record;
		const char* code;
	} cases[] = {
	        {".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.", "IBN 9780201889543"},
	        {".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.", "UPA 059280201638"},
	        {".C3nZC3nZC3nYCxP2Dxb1CNnY.fHmg.C3DXDNf1CG.", "UPE 0425261"},
	        {".C3nZC3nZC3nYCxP2Dxb1CNnY.CNf7.ebCrcGjUCxnXDq.", "128 STRIA-2026"},
	};
	for (const Case& c : cases) {
		EXPECT_EQ(decode_bytes(c.record), c.code);
		EXPECT_EQ(decode_record(c.record), c.code);
	}
}

TEST(ChooseXorKey, PrefersTheDocumentedKeyThenTheScannerKey)
{
	struct Case {
		const char* what;
		std::string record;
		unsigned char key;
	} cases[] = {
	        {"known tag under 0x5A", make_record("IBN", "9780306406157", 0x5A), 0x5A},
	        {"known tag under 0x43", make_record("IBN", "9780201889543", 0x43), 0x43},
	        {"shadow tag under 0x5A reads as its known tag", make_record("LIX", "1", 0x5A), 0x43},
	        {"unknown tag", make_record("XYZ", "42", 0x5A), 0x5A},
	        {"unknown tag under 0x43", make_record("XYZ", "42", 0x43), 0x43},
	        {"add-on tag under 0x43", make_record("UA5", "1", 0x43), 0x43},
	        {"add-on tag under 0x5A", make_record("UE2", "1", 0x5A), 0x5A},
	        {"unknown tag with a bang under 0x43", make_record("Q7!", "1", 0x43), 0x43},
	        // "ZZ8" is "CC!" under the other key, and known tags win.
	        {"known shadow of a well-formed tag", make_record("ZZ8", "1", 0x43), 0x5A},
	        // "QIX" reads as "HPA" under the other key: both are well-formed
	        // and unknown, and the scanners' key wins.
	        {"two well-formed unknown tags, 0x43", make_record("HPA", "1", 0x43), 0x43},
	        {"two well-formed unknown tags, 0x5A", make_record("QIX", "1", 0x5A), 0x43},
	        {"no well-formed tag under either key", make_record("upa", "1", 0x43), 0x5A},
	        {"three symbology characters", after_id(encode_field("UPA", 0x43).substr(0, 3) + "."),
	         0x5A},
	        // "abI" would read as "CC!" under 0x43 if three characters counted.
	        {"three characters that are not a whole tag", after_id("abI."), 0x5A},
	        {"fourth character is the undecoded last one", after_id(encode_field("UPA", 0x43)),
	         0x5A},
	        {"field split by a full stop",
	         after_id(encode_field("C39", 0x43).insert(1, ".") + ".abcd."), 0x43},
	        {"field behind stray bytes", after_id("..#" + encode_field("E13", 0x43) + "."), 0x43},
	        {"empty record", "", 0x5A},
	};
	for (const Case& c : cases)
		EXPECT_EQ(choose_xor_key(c.record), c.key) << c.what;

	// The choice is unambiguous only while no known tag is another one
	// under the other key.
	for (const std::string_view tag : KNOWN_TAGS) {
		EXPECT_FALSE(is_known_tag(shadow_of(tag))) << tag;
	}
}

std::string random_bytes(std::mt19937& random, std::size_t size)
{
	std::uniform_int_distribution<int> byte(0, 255);
	std::string bytes(size, '\0');
	for (char& b : bytes)
		b = static_cast<char>(byte(random));
	return bytes;
}

// A scanner identifier of 24 random alphabet characters.
std::string random_id(std::mt19937& random)
{
	std::uniform_int_distribution<unsigned> value(0, 63);
	std::string id(SCANNER_ID.size(), ' ');
	for (char& c : id)
		c = encode_value(value(random));
	return id;
}

TEST(DecodeCode, RoundTripsEncodedRecords)
{
	std::mt19937 random(20260);
	// Sizes cover every partial group and records longer than 64 bytes.
	std::uniform_int_distribution<std::size_t> size(0, 120);
	for (int round = 0; round < 40; round++) {
		for (const std::string_view tag : KNOWN_TAGS) {
			for (const unsigned char key : {XOR_KEY_DEFAULT, XOR_KEY_SCANNER}) {
				const std::string data = random_bytes(random, size(random));
				const std::string record = make_record(tag, data, key, random_id(random));
				ASSERT_EQ(decode_bytes(record), std::string(tag) + " " + data)
				        << "tag " << tag << " key " << int(key) << " record " << record;
			}
		}
	}
	// Other tags whose key is not in doubt: no other tag is known, or
	// well-formed, under the other key.
	int others = 0;
	while (others < 2000) {
		const std::string tag = random_bytes(random, 3);
		if (is_known_tag(tag) || is_known_tag(shadow_of(tag)) || is_well_formed_tag(shadow_of(tag)))
			continue;
		others++;
		const std::string data = random_bytes(random, size(random));
		ASSERT_EQ(decode_bytes(make_record(tag, data, XOR_KEY_DEFAULT, random_id(random))),
		          tag + " " + data);
	}
}

TEST(DecodeRecord, DecodesTheLongestRecordWhole)
{
	// 991 data characters make a record of exactly MAX_RECORD characters.
	const std::string data(743, '7');
	const std::string record = make_record("C39", data, XOR_KEY_SCANNER);
	ASSERT_EQ(record.size(), std::size_t(MAX_RECORD));
	EXPECT_EQ(decode_record(record), "C39 " + data);
}

TEST(DecodeRecord, KeepsEveryByteBehindADecodedZeroByte)
{
	const std::string withZero("12\0"
	                           "34",
	                           5);
	EXPECT_EQ(decode_record(make_record("CC!", withZero)), "CC! " + withZero);
	EXPECT_EQ(decode_record(make_record("CC!", withZero, XOR_KEY_SCANNER)), "CC! " + withZero);
}

} // namespace
