// The text typed for a code under each setting, the keys that type it on a
// US keyboard (other layouts: LayoutKeysTest.cpp), and which codes are
// product codes.
#include <LayoutKeys.h>
#include <TypeableCode.h>
#include <TypedKeys.h>
#include <TypedText.h>

#include <gtest/gtest.h>

namespace {

TEST(TypedText, EachSettingOverDecodedCodes)
{
	const struct {
		const char* code;
		const char* data;
		const char* barcode;
		const char* isbn10;
		const char* label;
	} cases[] = {
	        {"IBN 9780306406157", "9780306406157", "IBN 9780306406157", "0306406152",
	         "ISBN: 9-780306-406157"},
	        {"IB5 978030640615751995", "978030640615751995", "IB5 978030640615751995",
	         "0306406152", "ISBN: 9-780306-406157-51995"},
	        // 979 books have no ISBN-10: their data is typed.
	        {"IBN 9791234567896", "9791234567896", "IBN 9791234567896", "9791234567896",
	         "ISBN: 9-791234-567896"},
	        {"UPA 012000003455", "012000003455", "UPA 012000003455", "012000003455",
	         "UPA: '0-12000-00345-5' [UPE equiv: '0-123450-5']"},
	        // UPC-E as the filter hands it on, its check digit repaired.
	        {"UPE 04252614", "04252614", "UPE 04252614", "04252614",
	         "UPE: '0-425261-4' [UPA equiv: '0-42100-00526-4']"},
	        {"128 Stria-2026, a/b!", "Stria-2026, a/b!", "128 Stria-2026, a/b!",
	         "Stria-2026, a/b!", "CODE128: Stria-2026, a/b!"},
	        {"XYZ", "", "XYZ", "", nullptr},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.code);
		EXPECT_EQ(TypedText(c.code, TypedKind::Off), "");
		EXPECT_EQ(TypedText(c.code, TypedKind::Data), c.data);
		EXPECT_EQ(TypedText(c.code, TypedKind::Barcode), c.barcode);
		EXPECT_EQ(TypedText(c.code, TypedKind::Isbn10), c.isbn10);
		if (c.label != nullptr) {
			EXPECT_EQ(TypedText(c.code, TypedKind::Label), c.label);
		}
	}
}

// Be key codes of the keys the cases use.
const int32 kShift = 0x4b, kEnter = 0x47, kTab = 0x26, kOne = 0x12, kZero = 0x1b, kA = 0x3c,
            kSlash = 0x55, kSpace = 0x5e, kMinus = 0x1c;

// A character's key, its bytes on the key-down; the end keys have none.
std::vector<TypedKey> Tap(int32 key, std::string bytes = "", bool shift = false)
{
	if (shift)
		return {{kShift, true}, {key, true, bytes}, {key, false}, {kShift, false}};
	return {{key, true, bytes}, {key, false}};
}

std::vector<TypedKey> Shifted(int32 key, std::string bytes)
{
	return Tap(key, bytes, true);
}

const LayoutKeys& Us()
{
	static std::shared_ptr<const LayoutKeys> us = [] {
		std::string error;
		std::shared_ptr<const LayoutKeys> layout = LayoutKeys::FromNames({"", "us", "", ""}, &error);
		if (!layout)
			ADD_FAILURE() << error;
		return layout;
	}();
	return *us;
}

std::vector<TypedKey> Join(std::initializer_list<std::vector<TypedKey>> parts)
{
	std::vector<TypedKey> keys;
	for (const std::vector<TypedKey>& part : parts)
		keys.insert(keys.end(), part.begin(), part.end());
	return keys;
}

TEST(TypedKeys, ShiftExactlyAroundWhatNeedsItAndTheEndKey)
{
	const struct {
		const char* text;
		EndKey end;
		std::vector<TypedKey> keys;
	} cases[] = {
	        {"10", EndKey::Enter, Join({Tap(kOne, "1"), Tap(kZero, "0"), Tap(kEnter)})},
	        {"10", EndKey::Tab, Join({Tap(kOne, "1"), Tap(kZero, "0"), Tap(kTab)})},
	        {"10", EndKey::None, Join({Tap(kOne, "1"), Tap(kZero, "0")})},
	        {"", EndKey::Enter, Tap(kEnter)},
	        {"", EndKey::None, {}},
	        {"aA!", EndKey::None, Join({Tap(kA, "a"), Shifted(kA, "A"), Shifted(kOne, "!")})},
	        {"AA", EndKey::None, Join({Shifted(kA, "A"), Shifted(kA, "A")})},
	        {"a /_?", EndKey::None,
	         Join({Tap(kA, "a"), Tap(kSpace, " "), Tap(kSlash, "/"), Shifted(kMinus, "_"),
	               Shifted(kSlash, "?")})},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.text);
		std::optional<std::vector<TypedKey>> keys = TypedKeys(c.text, c.end, Us());
		ASSERT_TRUE(keys.has_value());
		EXPECT_EQ(*keys, c.keys);
	}
}

TEST(TypedKeys, TextWithAByteNoKeyTypesGivesNoKeysAtAll)
{
	const struct {
		std::string text;
		unsigned char byte;
	} cases[] = {
	        {"128\x01" "ab", 0x01},
	        // Control bytes a key does type would act on the application.
	        {"ab\ncd", '\n'},
	        {"ab\tcd", '\t'},
	        {"\x1b[2J", 0x1b},
	        {"ab\x7f", 0x7f},
	        {"caf\xc3\xa9", 0xc3},
	        {std::string("a\0b", 3), 0x00},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.text));
		EXPECT_FALSE(TypedKeys(c.text, EndKey::Enter, Us()).has_value());
		EXPECT_EQ(UntypeableByte(c.text, Us()), c.byte);
	}
	EXPECT_EQ(UntypeableByte("every ~ printable ` byte", Us()), std::nullopt);
}

TEST(TypeableCode, ProductCodesAreUpcEanAndIsbnTagsWithDigitsAlone)
{
	const struct {
		const char* code;
		bool product;
	} cases[] = {
	        {"UPA 059280201638", true},   {"UPE 04252614", true},
	        {"E13 4006381333931", true},  {"E08 96385074", true},
	        {"IBN 9780201889543", true},  {"IB5 978030640615751995", true},
	        {"UA2 34", true},             {"UP2 12", true},
	        {"IB2 97803064061575", true}, {"UA5 01234567890551995", true},
	        {"UE2 012345012", true},      {"UE5 0123450551995", true},
	        {"128 STRIA-2026", false},    {"C39 ABC", false},
	        {"ITF 1234", false},          {"CC! 1234", false},
	        {"128 0123", false},          {"UPA 0592802016a8", false},
	        {"UPA 0592 80201638", false}, {"UPA 12\n", false},
	        {"UPA ", false},              {"UPA", false},
	        {"upa 12", false},            {"", false},
	};
	for (const auto& c : cases)
		EXPECT_EQ(IsProductCode(c.code), c.product) << c.code;
}

} // namespace
