// What each symbology carries, its check digit, the labels of add-on
// variants, and the check that decides whether a captured record is
// delivered.
#include "code_text.h"
#include "cuecat.h"
#include "record_encoder.h"
#include "scan_check.h"
#include "symbology.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <variant>

namespace {

using namespace std::string_literals;

TEST(Symbology, TagsAreLabelledAsTheirBaseSymbologyAndWrongCheckDigitsMarked)
{
	struct Case {
		std::string code;
		std::string label;
	} cases[] = {
	        {"IB2 978030640615712", "ISBN: 9-780306-406157-12"},
	        {"UA5 01234567890551995", "UPA: '0-12345-67890-5-51995' [UPE equiv: none]"},
	        {"UE2 0123450512", "UPE: '0-123450-5-12' [UPA equiv: '0-12000-00345-5-12']"},
	        {"UE5 0425261451995", "UPE: '0-425261-4-51995' [UPA equiv: '0-42100-00526-4-51995']"},
	        {"UA5 0120000", "UPA: '0-12000-0' [incomplete: 7 of 17 digits]"},
	        {"UE2 012345051", "UPE: '0-123450-5-1' [incomplete: 9 of 10 digits]"},
	        {"Q7! 42", "UNRECOGNIZED TYPE: Q7! 42"},
	        {"UPA 012345678904", "UPA: '0-12345-67890-4' [UPE equiv: none] [check digit wrong]"},
	        {"UPE 04252615",
	         "UPE: '0-425261-5' [UPA equiv: '0-42100-00526-5'] [check digit wrong]"},
	        {"IBN 9780306406158", "ISBN: 9-780306-406158 [check digit wrong]"},
	        {"E08 96385075", "E08: 96385075 [check digit wrong]"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_label(c.code), c.label) << c.code;

	for (const std::string_view tag : KNOWN_TAGS) {
		ASSERT_NE(find_symbology(tag), nullptr) << tag;
		EXPECT_EQ(find_symbology(tag)->tag, tag);
		EXPECT_TRUE(is_well_formed_tag(tag)) << tag;
		EXPECT_NE(code_label(std::string(tag) + " 1").rfind("UNRECOGNIZED", 0), 0u) << tag;
	}
}

TEST(Symbology, WellFormedTags)
{
	struct Case {
		std::string tag;
		bool wellFormed;
	} cases[] = {
	        {"UPA", true},  {"CC!", true},  {"UA5 0123", true}, {"upa", false},    {"UP", false},
	        {"UP?", false}, {"[PA", false}, {"@PA", false},     {"\xc1PA", false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(is_well_formed_tag(c.tag), c.wellFormed) << c.tag;
}

TEST(CheckDigit, IsJudgedOnlyOnWholeNumericCodes)
{
	struct Case {
		std::string code;
		bool wrong;
	} cases[] = {
	        {"UPA 012345678905", false},
	        {"UPA 012345678904", true},
	        {"UPE 04252614", false},
	        {"UPE 04252615", true},
	        {"UE5 0123450451995", true},
	        {"IBN 9780306406157", false},
	        {"IB5 978030640615851995", true},
	        {"E13 4006381333937", true},
	        {"E08 96385074", false},
	        {"E08 96385075", true},
	        // Nothing to judge: no check digit, wrong length, non-digits,
	        // unknown tags.
	        {"128 012345678904", false},
	        {"UPA 01234567890", false},
	        {"UPA 01234567890X", false},
	        {"XYZ 012345678904", false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(has_wrong_check_digit(c.code), c.wrong) << c.code;

	EXPECT_EQ(modulo10_check_digit("01234567890"), 5);
	EXPECT_EQ(modulo10_check_digit("978030640615"), 7);
	EXPECT_EQ(modulo10_check_digit("9638507"), 4);
}

TEST(CodeFault, RefusesWhatTheSymbologyCannotCarry)
{
	struct Case {
		std::string code;
		std::optional<std::string> fault;
	} cases[] = {
	        {"UPA 012345678904", std::nullopt},
	        {"UA5 01234567890551995", std::nullopt},
	        {"ITF 0123", std::nullopt},
	        {"128 ab\x1b"
	         "c",
	         std::nullopt},
	        {"Q7! anything", std::nullopt},
	        {"128 ls\0\nrm -rf x"s, "the code holds a zero byte: 128 ls\\x00\\x0arm -rf x"},
	        {"128 ", "the code holds no data: 128 "},
	        {"UPA 01234567890", "UPC-A codes have 12 digits, this one 11: UPA 01234567890"},
	        {"UPA 01234 678905", "UPC-A codes hold only digits: UPA 01234 678905"},
	        {"UA5 012345678905", "UPC-A codes with a 5-digit add-on have 17 digits, this one 12: "
	                             "UA5 012345678905"},
	        {"UPE 0425261", "UPC-E codes have 8 digits, this one 7: UPE 0425261"},
	        {"IB5 9780306406157", "ISBN codes with a 5-digit add-on have 18 digits, this one 13: "
	                              "IB5 9780306406157"},
	        {"E13 400638133393x", "EAN-13 codes hold only digits: E13 400638133393x"},
	        {"ITF 12\xb3"
	         "4",
	         "Interleaved 2 of 5 codes hold only digits: ITF 12\\xb34"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_fault(c.code), c.fault) << c.code;
}

// ".", identifier, "." and what follows.
std::string after_id(std::string_view rest)
{
	return "." + std::string(SCANNER_ID) + "." + std::string(rest);
}

TEST(RecordFault, ChecksFieldsAlphabetAndLengths)
{
	const std::string upa = encode_field("UPA", XOR_KEY_SCANNER);
	const std::string fields = " between full stops, not 3: scanner identifier, symbology, data";
	const std::string noTag =
	        "its symbology field decodes to no tag of A-Z, 0-9 and ! under either key";
	struct Case {
		std::string what;
		std::string record;
		std::optional<std::string> fault;
	} cases[] = {
	        {"real record", ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.", std::nullopt},
	        {"two data characters", after_id(upa + ".ab."), std::nullopt},
	        {"five data characters", after_id(upa + ".abcde."),
	         "its data field has 5 characters, and the last makes no byte"},
	        {"empty data field", after_id(upa + ".."), "its data field is empty"},
	        {"a word", ".hello.", "it has 1 field" + fields},
	        {"a fourth field", after_id(upa + ".abcd.abcd."), "it has 4 fields" + fields},
	        {"short identifier", ".C3nZC3nZC3nYCxP2Dxb1CNn." + upa + ".abcd.",
	         "its scanner identifier has 23 characters, not 24"},
	        {"long symbology field", after_id(upa + "a.abcd."),
	         "its symbology field has 5 characters, not 4"},
	        {"no closing full stop", after_id(upa + ".abcd"), "it does not end with a full stop"},
	        {"no opening full stop", std::string(SCANNER_ID) + "." + upa + ".abcd.",
	         "it does not start with a full stop"},
	        {"stray byte", after_id(upa + ".ab*d."),
	         "the byte 0x2a at character 34 is no record character"},
	        {"byte above ASCII",
	         after_id(upa + ".ab\xe9"
	                        "d."),
	         "the byte 0xe9 at character 34 is no record character"},
	        {"lowercase tag", make_record("upa", "012345678905", XOR_KEY_SCANNER), noTag},
	        {"four values of 63", after_id("----.abcd."), noTag},
	};
	for (const Case& c : cases)
		EXPECT_EQ(record_fault(c.record), c.fault) << c.what;
}

TEST(CheckScan, DeliversOnlyWholeRightScans)
{
	using Outcome = std::variant<ScanCode, ScanRefusal>;
	struct Case {
		std::string what;
		std::string record;
		Outcome outcome;
	} cases[] = {
	        {"real Bookland record", ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.",
	         ScanCode{"IBN 9780201889543"}},
	        {"real UPC-E record is repaired", ".C3nZC3nZC3nYCxP2Dxb1CNnY.fHmg.C3DXDNf1CG.",
	         ScanCode{"UPE 04252614"}},
	        {"add-on tag under the scanners' key",
	         make_record("UA5", "01234567890551995", XOR_KEY_SCANNER),
	         ScanCode{"UA5 01234567890551995"}},
	        {"UPC-E with add-on is repaired", make_record("UE2", "012345012", XOR_KEY_SCANNER),
	         ScanCode{"UE2 0123450512"}},
	        {"wrong check digit is delivered, flagged",
	         make_record("UPA", "012345678904", XOR_KEY_SCANNER),
	         ScanCode{"UPA 012345678904", true}},
	        {"not a record", ".hello.",
	         ScanRefusal{"not a scanner record (it has 1 field between full stops, not 3: scanner "
	                     "identifier, symbology, data): .hello."}},
	        {"zero byte in Code 128", make_record("128", "ls\0\nrm -rf x"s, XOR_KEY_SCANNER),
	         ScanRefusal{"the code holds a zero byte: 128 ls\\x00\\x0arm -rf x"}},
	        // The repair would have completed the code in front of the zero.
	        {"zero byte behind a UPC-E code", make_record("UPE", "0425261\0"s, XOR_KEY_SCANNER),
	         ScanRefusal{"the code holds a zero byte: UPE 0425261\\x00"}},
	        {"UPC-E too short to repair", make_record("UPE", "042526"),
	         ScanRefusal{"UPC-E codes have 8 digits, this one 6: UPE 042526"}},
	};
	for (const Case& c : cases)
		EXPECT_EQ(check_scan(c.record), c.outcome) << c.what;
}

} // namespace
