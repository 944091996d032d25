// Layouts, UPC conversion, check digits, the UPC-E repair and code labels.
#include "barcodelib.h"
#include "code_text.h"
#include "cuecat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

// UPC-E codes and their UPC-A expansions; each pair converts both ways.
struct UpcPair {
	const char* upe;
	const char* upa;
} const upcPairs[] = {
        {"01234565", "012345000065"}, {"00123457", "001234000057"}, {"01234531", "012300000451"},
        {"05096893", "050968000093"}, {"04963406", "049000006346"}, {"04252614", "042100005264"},
        {"03744806", "037000004486"}, {"01234505", "012000003455"}, {"01234543", "012340000053"},
};

TEST(Upc, ConvertsBetweenUpceAndUpca)
{
	for (const UpcPair& pair : upcPairs) {
		char upa[13] = {};
		upe2upa(pair.upe, upa);
		EXPECT_STREQ(upa, pair.upa) << pair.upe;
		char upe[9] = {};
		upa2upe(pair.upa, upe);
		EXPECT_STREQ(upe, pair.upe) << pair.upa;
	}
}

TEST(Upc, CopiesTheCheckCharacterAndAlwaysCompresses)
{
	struct Case {
		const char* from;
		const char* to;
		bool toUpca;
	} cases[] = {
	        // The check character is copied, not recomputed.
	        {"04252619", "042100005269", true},
	        // Codes without a true UPC-E form still get the plain form.
	        {"012345678905", "01234505", false},
	        {"512345678901", "51234501", false},
	};
	for (const Case& c : cases) {
		char out[13] = {};
		if (c.toUpca)
			upe2upa(c.from, out);
		else
			upa2upe(c.from, out);
		EXPECT_STREQ(out, c.to) << c.from;
	}
}

TEST(Upc, CheckDigitNeedsExactlyTwelveCharacters)
{
	struct Case {
		const char* text;
		int check;
	} cases[] = {{"123456789010", 2}, {"614141000300", 2},   {"210987654320", 9},
	             {"042100005264", 4}, {"042100005260", 4},   {"000000000000", 0},
	             {"01234567890", -1}, {"0123456789012", -1}, {"", -1}};
	for (const Case& c : cases)
		EXPECT_EQ(upa_check(c.text), c.check) << c.text;
}

TEST(BarcodeLayouts, PlaceDigitsAndDashes)
{
	char text[22];
	ibn_format("9780306406157", text);
	EXPECT_STREQ(text, "9-780306-406157");
	ib5_format("978030640615751995", text);
	EXPECT_STREQ(text, "9-780306-406157-51995");
	upa_format("012000003455", text);
	EXPECT_STREQ(text, "0-12000-00345-5");
	upe_format("01234505", text);
	EXPECT_STREQ(text, "0-123450-5");

	char* upa = upa_format2("042100005264");
	char* upe = upe_format2("04252614");
	EXPECT_STREQ(upa, "0-42100-00526-4");
	EXPECT_STREQ(upe, "0-425261-4");
	std::free(upa);
	std::free(upe);
}

TEST(BarcodeLayouts, CopyRunsLikeStrncpy)
{
	// A NUL inside a run ends it and fills its other places with NULs; the
	// next run starts at its fixed position regardless.
	const char digits[14] = {'9', '7', '8', '0', '3', '\0', '6',
	                         '4', '0', '6', '1', '5', '7',  '\0'};
	char text[16];
	std::memset(text, '?', sizeof(text));
	ibn_format(digits, text);
	const char expected[16] = {'9', '-', '7', '8', '0', '3', '\0', '\0',
	                           '-', '4', '0', '6', '1', '5', '7',  '\0'};
	EXPECT_EQ(std::memcmp(text, expected, sizeof(text)), 0);
}

TEST(Isbn, CheckCharacter)
{
	struct Case {
		const char* digits;
		const char* isbn;
	} cases[] = {{"082649752", "0826497527"},
	             {"954430603", "954430603x"},
	             {"123456789", "123456789x"},
	             {"019963209", "019963209x"},
	             {"030640615", "0306406152"},
	             {"080442957", "080442957x"},
	             {"030640602", "0306406020"},
	             // Non-digits are copied and weigh nothing.
	             {"03064061A", "03064061A1"}};
	for (const Case& c : cases) {
		const std::string code = std::string("IBN 978") + c.digits + "0";
		char isbn[10];
		EXPECT_EQ(isbn_code(code.c_str(), isbn), 9);
		EXPECT_EQ(std::string(isbn, 10), c.isbn) << c.digits;
	}
}

TEST(Isbn, OnlyBooksWithPrefix978HaveOne)
{
	struct Case {
		const char* code;
		std::optional<std::string> isbn;
	} cases[] = {{"IBN 9780306406157", "0306406152"},      {"IB5 978030640615751995", "0306406152"},
	             {"IB2 978030640615712", "0306406152"},    {"IB3 978030640615712", std::nullopt},
	             {"IBN 9780201889543", "0201889544"},      {"IBN 9791234567896", std::nullopt},
	             {"IB5 979123456789651995", std::nullopt}, {"IBN 978030640", std::nullopt},
	             {"IBN 978030640615", "0306406152"},       {"UPA 978030640615", std::nullopt},
	             {"ibn 9780306406157", std::nullopt},      {"", std::nullopt}};
	for (const Case& c : cases)
		EXPECT_EQ(isbn10(c.code), c.isbn) << c.code;
}

TEST(RepairUpce, AddsTheMissingCheckDigitOnly)
{
	struct Case {
		std::string code;
		std::string repaired;
	} cases[] = {
	        {"UPE 0123450", "UPE 01234505"},
	        {"UPE 0425261", "UPE 04252614"},
	        {"UPE 0123453", "UPE 01234531"},
	        {"UPE 0509689", "UPE 05096893"},
	        {"UPE 0496340", "UPE 04963406"},
	        {"UPE 0374480", "UPE 03744806"},
	        {"UPE 0123454", "UPE 01234543"},
	        // Complete codes keep their check digit, even a wrong one.
	        {"UPE 01234505", "UPE 01234505"},
	        {"UPE 01234509", "UPE 01234509"},
	        {"UPE 0123450512", "UPE 0123450512"},
	        // Too short to hold number system and six digits.
	        {"UPE 012345", "UPE 012345"},
	        {"UPE ", "UPE "},
	        {"UPE", "UPE"},
	        {"", ""},
	        // UPC-E with an add-on: the check digit goes before the add-on.
	        {"UE2 012345012", "UE2 0123450512"},
	        {"UE5 042526151995", "UE5 0425261451995"},
	        {"UE2 0123450512", "UE2 0123450512"},
	        {"UE5 04252614519", "UE5 04252614519"},
	        {"UPA 0123450", "UPA 0123450"},
	        {"upe 0123450", "upe 0123450"},
	        {"IBN 9780306406157", "IBN 9780306406157"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(repair_upce(c.code), c.repaired) << c.code;
}

TEST(CodeLabel, LabelsEveryTag)
{
	struct Case {
		std::string code;
		std::string label;
	} cases[] = {
	        {"IBN 9780306406157", "ISBN: 9-780306-406157"},
	        {"IB5 978030640615751995", "ISBN: 9-780306-406157-51995"},
	        {"UPA 012000003455", "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']"},
	        {"UPA 042100005264", "UPA: '0-42100-00526-4' [UPE equiv: '0-425261-4']"},
	        {"UPA 112345000062", "UPA: '1-12345-00006-2' [UPE equiv: '1-123456-2']"},
	        // Compressed forms that expand to another code, and number
	        // systems without UPC-E, have no equivalent.
	        {"UPA 012345678905", "UPA: '0-12345-67890-5' [UPE equiv: none]"},
	        {"UPA 059280201638", "UPA: '0-59280-20163-8' [UPE equiv: none]"},
	        {"UPA 212000003459", "UPA: '2-12000-00345-9' [UPE equiv: none]"},
	        {"UPE 04252614", "UPE: '0-425261-4' [UPA equiv: '0-42100-00526-4']"},
	        {"UPE 01234565", "UPE: '0-123456-5' [UPA equiv: '0-12345-00006-5']"},
	        {"CC! 123", "CueCat: 123"},
	        {"128 STRIA-2026", "CODE128: STRIA-2026"},
	        {"ITF 1234567890", "ITF: 1234567890"},
	        {"C39 ABC-123", "C39: ABC-123"},
	        {"E13 4006381333931", "E13: 4006381333931"},
	        {"E08 96385074", "E08: 96385074"},
	        {"UP2 12", "UP2: 12"},
	        {"UA2 01200000345512", "UPA: '0-12000-00345-5-12' [UPE equiv: '0-123450-5-12']"},
	        {"CC!", "CueCat: "},
	        {"XYZ 42", "UNRECOGNIZED TYPE: XYZ 42"},
	        {"upa 012000003455", "UNRECOGNIZED TYPE: upa 012000003455"},
	        {"", "UNRECOGNIZED TYPE: "},
	        // Longer data is labelled from its leading characters.
	        {"UPA 0120000034559", "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']"},
	        {"IBN 97803064061579", "ISBN: 9-780306-406157"},
	        // A zero byte ends the code.
	        {std::string("CC! 12\0"
	                     "34",
	                     9),
	         "CueCat: 12"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_label(c.code), c.label) << c.code;
}

TEST(CodeLabel, ShortCodesShowOnlyWhatTheyHold)
{
	struct Case {
		std::string code;
		std::string label;
	} cases[] = {
	        {"IBN 978030640615", "ISBN: 9-780306-40615 [incomplete: 12 of 13 digits]"},
	        {"IBN 9", "ISBN: 9 [incomplete: 1 of 13 digits]"},
	        {"IBN", "ISBN:  [incomplete: 0 of 13 digits]"},
	        {"IB5 9780306406157519", "ISBN: 9-780306-406157-519 [incomplete: 16 of 18 digits]"},
	        {"UPA 0120000", "UPA: '0-12000-0' [incomplete: 7 of 12 digits]"},
	        {"UPA 01200000345", "UPA: '0-12000-00345' [incomplete: 11 of 12 digits]"},
	        {"UPA ", "UPA: '' [incomplete: 0 of 12 digits]"},
	        {"UPE 0425261", "UPE: '0-425261' [incomplete: 7 of 8 digits]"},
	        {"UPE 04", "UPE: '0-4' [incomplete: 2 of 8 digits]"},
	        {std::string("UPA 0120\0"
	                     "00003455",
	                     17),
	         "UPA: '0-120' [incomplete: 4 of 12 digits]"},
	};
	for (const Case& c : cases)
		EXPECT_EQ(code_label(c.code), c.label) << c.code;
}

} // namespace
