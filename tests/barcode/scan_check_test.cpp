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

TEST(Symbology, EveryKnownTagIsLabelledAsItsBaseSymbology)
{
	struct Case {
		std::string code;
		std::string label;
	} cases[] = {
	        {"IB2 978030640615712", "ISBN: 9-780306-406157-12"},
	        {"IB5 978030640615751995", "ISBN: 9-780306-406157-51995"},
	        {"UA2 01200000345512", "UPA: '0-12000-00345-5-12' [UPE equiv: '0-123450-5-12']"},
	        {"UA5 01234567890551995", "UPA: '0-12345-67890-5-51995' [UPE equiv: none]"},
	        {"UE2 0123450512", "UPE: '0-123450-5-12' [UPA equiv: '0-12000-00345-5-12']"},
	        {"UE5 0425261451995", "UPE: '0-425261-4-51995' [UPA equiv: '0-42100-00526-4-51995']"},
	        {"UA5 0120000", "UPA: '0-12000-0' [incomplete: 7 of 17 digits]"},
	        {"UE2 012345051", "UPE: '0-123450-5-1' [incomplete: 9 of 10 digits]"},
	        {"IB2 97803064061", "ISBN: 9-780306-4061 [incomplete: 11 of 15 digits]"},
	        // Well-formed tags of no known symbology.
	        {"Q7! 42", "UNRECOGNIZED TYPE: Q7! 42"},
	        {"E12 123456789012", "UNRECOGNIZED TYPE: E12 123456789012"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_label(c.code), c.label) << c.code;

	for (const std::string_view tag : KNOWN_TAGS) {
		const Symbology* symbology = find_symbology(tag);
		ASSERT_NE(symbology, nullptr) << tag;
		EXPECT_EQ(symbology->tag, tag);
		EXPECT_TRUE(is_well_formed_tag(tag)) << tag;
		EXPECT_NE(code_label(std::string(tag) + " 1").rfind("UNRECOGNIZED", 0), 0u) << tag;
	}
	EXPECT_EQ(find_symbology("XYZ"), nullptr);
}

TEST(Symbology, WellFormedTags)
{
	struct Case {
		std::string tag;
		bool wellFormed;
	} cases[] = {
	        {"UPA", true},      {"CC!", true},  {"128", true},      {"!!!", true},
	        {"UA5 0123", true}, {"upa", false}, {"UP", false},      {"", false},
	        {"U A", false},     {"UP?", false}, {"UP\x00"s, false}, {"\xc1PA", false},
	        {"[PA", false},     {"@PA", false},
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
	        {"UPA 059280201638", false},
	        {"UA2 01234567890512", false},
	        {"UA5 01234567890451995", true},
	        {"UPE 01234505", false},
	        {"UPE 04252614", false},
	        {"UPE 04252615", true},
	        {"UE2 0123450512", false},
	        {"UE5 0123450451995", true},
	        {"IBN 9780306406157", false},
	        {"IBN 9780201889543", false},
	        {"IBN 9780306406158", true},
	        {"IB2 978030640615712", false},
	        {"IB5 978030640615851995", true},
	        {"E13 4006381333931", false},
	        {"E13 4006381333937", true},
	        {"E08 96385074", false},
	        {"E08 96385075", true},
	        // Nothing to judge: no check digit, wrong length, non-digits,
	        // unknown tags.
	        {"ITF 1234567899", false},
	        {"128 012345678904", false},
	        {"UPA 01234567890", false},
	        {"UPA 0123456789049", false},
	        {"UPA 01234567890X", false},
	        {"XYZ 012345678904", false},
	        {"", false},
	};
	for (const Case& c : cases)
		EXPECT_EQ(has_wrong_check_digit(c.code), c.wrong) << c.code;

	struct Digits {
		const char* digits;
		int check;
	} digits[] = {
	        {"01234567890", 5}, {"978030640615", 7}, {"9638507", 4}, {"0", 0}, {"1", 7}, {"", 0}};
	for (const Digits& d : digits)
		EXPECT_EQ(modulo10_check_digit(d.digits), d.check) << d.digits;
}

TEST(CheckDigit, WrongOnesAreMarkedInTheLabel)
{
	struct Case {
		std::string code;
		std::string label;
	} cases[] = {
	        {"UPA 012345678904", "UPA: '0-12345-67890-4' [UPE equiv: none] [check digit wrong]"},
	        {"UPE 04252615",
	         "UPE: '0-425261-5' [UPA equiv: '0-42100-00526-5'] [check digit wrong]"},
	        {"IBN 9780306406158", "ISBN: 9-780306-406158 [check digit wrong]"},
	        {"E08 96385075", "E08: 96385075 [check digit wrong]"},
	        {"E13 4006381333931", "E13: 4006381333931"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_label(c.code), c.label) << c.code;
}

TEST(CodeFault, RefusesWhatTheSymbologyCannotCarry)
{
	struct Case {
		std::string code;
		std::optional<std::string> fault;
	} cases[] = {
	        {"UPA 012345678905", std::nullopt},
	        {"UPA 012345678904", std::nullopt},
	        {"UA5 01234567890551995", std::nullopt},
	        {"UPE 01234505", std::nullopt},
	        {"IBN 9780306406157", std::nullopt},
	        {"E08 96385074", std::nullopt},
	        {"ITF 0123", std::nullopt},
	        {"128 ab\x1b"
	         "c",
	         std::nullopt},
	        {"C39 A B", std::nullopt},
	        {"Q7! anything", std::nullopt},
	        {"128 ls\0\nrm -rf x"s, "the code holds a zero byte: 128 ls\\x00\\x0arm -rf x"},
	        {"UPA 01234567890\0"s, "the code holds a zero byte: UPA 01234567890\\x00"},
	        {"Q7! \0"s, "the code holds a zero byte: Q7! \\x00"},
	        {"128 ", "the code holds no data: 128 "},
	        {"UPA", "the code holds no data: UPA"},
	        {"UPA 01234567890", "UPC-A codes have 12 digits, this one 11: UPA 01234567890"},
	        {"UPA 0123456789050", "UPC-A codes have 12 digits, this one 13: UPA 0123456789050"},
	        {"UPA 01234567890A", "UPC-A codes hold only digits: UPA 01234567890A"},
	        {"UPA 01234 678905", "UPC-A codes hold only digits: UPA 01234 678905"},
	        {"UA5 012345678905", "UPC-A codes with a 5-digit add-on have 17 digits, this one 12: "
	                             "UA5 012345678905"},
	        {"UPE 0425261", "UPC-E codes have 8 digits, this one 7: UPE 0425261"},
	        {"UE2 01234505", "UPC-E codes with a 2-digit add-on have 10 digits, this one 8: "
	                         "UE2 01234505"},
	        {"IBN 978030640615", "ISBN codes have 13 digits, this one 12: IBN 978030640615"},
	        {"IB5 9780306406157", "ISBN codes with a 5-digit add-on have 18 digits, this one 13: "
	                              "IB5 9780306406157"},
	        {"E13 400638133393x", "EAN-13 codes hold only digits: E13 400638133393x"},
	        {"E08 9638507", "EAN-8 codes have 8 digits, this one 7: E08 9638507"},
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
	struct Case {
		std::string what;
		std::string record;
		std::optional<std::string> fault;
	} cases[] = {
	        {"real record", ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.", std::nullopt},
	        {"two data characters", after_id(upa + ".ab."), std::nullopt},
	        {"three data characters", after_id(upa + ".abc."), std::nullopt},
	        {"five data characters", after_id(upa + ".abcde."),
	         "its data field has 5 characters, and the last makes no byte"},
	        {"one data character", after_id(upa + ".a."),
	         "its data field has 1 character, and the last makes no byte"},
	        {"empty data field", after_id(upa + ".."), "its data field is empty"},
	        {"a word", ".hello.",
	         "it has 1 field between full stops, not 3: scanner identifier, "
	         "symbology, data"},
	        {"no data field", after_id(upa + "."),
	         "it has 2 fields between full stops, not 3: scanner identifier, symbology, data"},
	        {"a fourth field", after_id(upa + ".abcd.abcd."),
	         "it has 4 fields between full stops, not 3: scanner identifier, symbology, data"},
	        {"short identifier", ".C3nZC3nZC3nYCxP2Dxb1CNn." + upa + ".abcd.",
	         "its scanner identifier has 23 characters, not 24"},
	        {"long symbology field", after_id(upa + "a.abcd."),
	         "its symbology field has 5 characters, not 4"},
	        {"short symbology field", after_id(upa.substr(0, 3) + ".abcd."),
	         "its symbology field has 3 characters, not 4"},
	        {"no closing full stop", after_id(upa + ".abcd"), "it does not end with a full stop"},
	        {"no opening full stop", std::string(SCANNER_ID) + "." + upa + ".abcd.",
	         "it does not start with a full stop"},
	        {"empty", "", "it does not start with a full stop"},
	        {"a lone full stop", ".", "it does not end with a full stop"},
	        {"stray byte", after_id(upa + ".ab*d."),
	         "the byte 0x2a at character 34 is no record character"},
	        {"byte above ASCII",
	         after_id(upa + ".ab\xe9"
	                        "d."),
	         "the byte 0xe9 at character 34 is no record character"},
	        {"zero byte", ".\0"s, "the byte 0x00 at character 2 is no record character"},
	        {"lowercase tag", make_record("upa", "012345678905", XOR_KEY_SCANNER),
	         "its symbology field decodes to no tag of A-Z, 0-9 and ! under either key"},
	        {"four values of 63", after_id("----.abcd."),
	         "its symbology field decodes to no tag of A-Z, 0-9 and ! under either key"},
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
	        {"real Code 128 record", ".C3nZC3nZC3nYCxP2Dxb1CNnY.CNf7.ebCrcGjUCxnXDq.",
	         ScanCode{"128 STRIA-2026"}},
	        {"add-on tag under the scanners' key",
	         make_record("UA5", "01234567890551995", XOR_KEY_SCANNER),
	         ScanCode{"UA5 01234567890551995"}},
	        {"UPC-E with add-on is repaired", make_record("UE2", "012345012", XOR_KEY_SCANNER),
	         ScanCode{"UE2 0123450512"}},
	        {"unknown well-formed tag", make_record("Q7!", "hello", XOR_KEY_SCANNER),
	         ScanCode{"Q7! hello"}},
	        {"wrong check digit is delivered, marked",
	         make_record("UPA", "012345678904", XOR_KEY_SCANNER),
	         ScanCode{"UPA 012345678904", true}},
	        {"wrong ISBN check digit", make_record("IBN", "9780306406158"),
	         ScanCode{"IBN 9780306406158", true}},
	        {"control bytes in Code 128",
	         make_record("128", "ab\x1b"
	                            "c"),
	         ScanCode{"128 ab\x1b"
	                  "c"}},
	        {"not a record", ".hello.",
	         ScanRefusal{"not a scanner record (it has 1 field between full stops, not 3: scanner "
	                     "identifier, symbology, data): .hello."}},
	        {"zero byte in Code 128", make_record("128", "ls\0\nrm -rf x"s, XOR_KEY_SCANNER),
	         ScanRefusal{"the code holds a zero byte: 128 ls\\x00\\x0arm -rf x"}},
	        {"zero byte behind a UPC-E code", make_record("UPE", "0425261\0"s, XOR_KEY_SCANNER),
	         ScanRefusal{"the code holds a zero byte: UPE 0425261\\x00"}},
	        {"letter in a UPC-A code", make_record("UPA", "0123456789O5"),
	         ScanRefusal{"UPC-A codes hold only digits: UPA 0123456789O5"}},
	        {"short EAN-13 code", make_record("E13", "400638133393", XOR_KEY_SCANNER),
	         ScanRefusal{"EAN-13 codes have 13 digits, this one 12: E13 400638133393"}},
	        {"UPC-E too short to repair", make_record("UPE", "042526"),
	         ScanRefusal{"UPC-E codes have 8 digits, this one 6: UPE 042526"}},
	};
	for (const Case& c : cases)
		EXPECT_EQ(check_scan(c.record), c.outcome) << c.what;
}

} // namespace
