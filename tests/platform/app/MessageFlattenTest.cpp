// BMessage's byte form: round trips of every field type, the documented
// layout, and refusal of malformed, truncated and oversized input.
#include <Message.h>

#include "FlatMessageWriter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

constexpr size_t kHeader = 24;

// Unflattens from a heap block of exactly the given bytes, so that AddressSanitizer
// sees any read past the end.
status_t UnflattenExact(BMessage& message, const std::string& bytes)
{
	std::vector<char> exact(bytes.begin(), bytes.end());
	return message.Unflatten(exact.data(), ssize_t(exact.size()));
}

BMessage Nested(uint32 what, int32 value)
{
	BMessage message(what);
	message.AddInt32("value", value);
	message.AddString("label", "nested");
	return message;
}

struct RoundTripCase {
	const char* label;
	uint32 what;
	std::function<void(BMessage&)> fill;
	std::function<void(const BMessage&)> check;
};

const RoundTripCase kRoundTrips[] = {
        {"empty", 0, [](BMessage&) {},
         [](const BMessage& m) {
	         EXPECT_TRUE(m.IsEmpty());
	         EXPECT_EQ(m.CountNames(B_ANY_TYPE), 0);
         }},
        {"int8", 'int8',
         [](BMessage& m) {
	         m.AddInt8("v", -128);
	         m.AddInt8("v", 127);
         },
         [](const BMessage& m) {
	         int8 a = 0, b = 0;
	         EXPECT_EQ(m.FindInt8("v", 0, &a), B_OK);
	         EXPECT_EQ(m.FindInt8("v", 1, &b), B_OK);
	         EXPECT_EQ(a, -128);
	         EXPECT_EQ(b, 127);
         }},
        {"int16", 'in16',
         [](BMessage& m) {
	         m.AddInt16("v", -32768);
	         m.AddInt16("v", 12345);
	         m.AddInt16("v", -2);
         },
         [](const BMessage& m) {
	         int16 a = 0, c = 0;
	         EXPECT_EQ(m.FindInt16("v", 0, &a), B_OK);
	         EXPECT_EQ(m.FindInt16("v", 2, &c), B_OK);
	         EXPECT_EQ(a, -32768);
	         EXPECT_EQ(c, -2);
         }},
        {"int32", 0xffffffff,
         [](BMessage& m) {
	         m.AddInt32("v", std::numeric_limits<int32>::min());
	         m.AddInt32("w", 0x12345678);
         },
         [](const BMessage& m) {
	         int32 a = 0, b = 0;
	         EXPECT_EQ(m.FindInt32("v", &a), B_OK);
	         EXPECT_EQ(m.FindInt32("w", &b), B_OK);
	         EXPECT_EQ(a, std::numeric_limits<int32>::min());
	         EXPECT_EQ(b, 0x12345678);
         }},
        {"int64", 'in64',
         [](BMessage& m) {
	         m.AddInt64("when", std::numeric_limits<int64>::min());
	         m.AddInt64("when", 1234567890123456789LL);
         },
         [](const BMessage& m) {
	         int64 a = 0, b = 0;
	         EXPECT_EQ(m.FindInt64("when", 0, &a), B_OK);
	         EXPECT_EQ(m.FindInt64("when", 1, &b), B_OK);
	         EXPECT_EQ(a, std::numeric_limits<int64>::min());
	         EXPECT_EQ(b, 1234567890123456789LL);
         }},
        {"bool", 'bool',
         [](BMessage& m) {
	         m.AddBool("b", true);
	         m.AddBool("b", false);
	         m.AddBool("b", true);
         },
         [](const BMessage& m) {
	         bool a = false, b = true, c = false;
	         EXPECT_EQ(m.FindBool("b", 0, &a), B_OK);
	         EXPECT_EQ(m.FindBool("b", 1, &b), B_OK);
	         EXPECT_EQ(m.FindBool("b", 2, &c), B_OK);
	         EXPECT_TRUE(a);
	         EXPECT_FALSE(b);
	         EXPECT_TRUE(c);
         }},
        {"float", 'flot',
         [](BMessage& m) {
	         m.AddFloat("f", 1.5f);
	         m.AddFloat("f", -0.0f);
	         m.AddFloat("f", std::numeric_limits<float>::infinity());
         },
         [](const BMessage& m) {
	         float a = 0, b = 1, c = 0;
	         EXPECT_EQ(m.FindFloat("f", 0, &a), B_OK);
	         EXPECT_EQ(m.FindFloat("f", 1, &b), B_OK);
	         EXPECT_EQ(m.FindFloat("f", 2, &c), B_OK);
	         EXPECT_EQ(a, 1.5f);
	         EXPECT_TRUE(b == 0.0f && std::signbit(b));
	         EXPECT_TRUE(std::isinf(c));
         }},
        {"double", 'dble',
         [](BMessage& m) {
	         m.AddDouble("d", 3.141592653589793);
	         m.AddDouble("d", -1e300);
         },
         [](const BMessage& m) {
	         double a = 0, b = 0;
	         EXPECT_EQ(m.FindDouble("d", 0, &a), B_OK);
	         EXPECT_EQ(m.FindDouble("d", 1, &b), B_OK);
	         EXPECT_EQ(a, 3.141592653589793);
	         EXPECT_EQ(b, -1e300);
         }},
        {"strings of every padding", 'strs',
         [](BMessage& m) {
	         for (size_t length = 0; length <= 17; length++)
		         m.AddString("s", std::string(length, char('a' + length)).c_str());
	         m.AddString("long", std::string(300, 'x').c_str());
         },
         [](const BMessage& m) {
	         for (size_t length = 0; length <= 17; length++) {
		         const char* text = NULL;
		         ASSERT_EQ(m.FindString("s", int32(length), &text), B_OK);
		         EXPECT_EQ(std::string(text), std::string(length, char('a' + length)));
	         }
	         const char* text = NULL;
	         ASSERT_EQ(m.FindString("long", &text), B_OK);
	         EXPECT_EQ(std::strlen(text), 300u);
         }},
        {"pointer", 'pntr',
         [](BMessage& m) {
	         m.AddPointer("p", reinterpret_cast<void*>(uintptr_t(0x7fff12345678)));
	         m.AddPointer("p", NULL);
         },
         [](const BMessage& m) {
	         void* a = NULL;
	         void* b = &a;
	         EXPECT_EQ(m.FindPointer("p", 0, &a), B_OK);
	         EXPECT_EQ(m.FindPointer("p", 1, &b), B_OK);
	         EXPECT_EQ(a, reinterpret_cast<void*>(uintptr_t(0x7fff12345678)));
	         EXPECT_EQ(b, nullptr);
         }},
        {"nested messages", 'nest',
         [](BMessage& m) {
	         BMessage inner = Nested('innr', 42);
	         BMessage middle('midl');
	         middle.AddMessage("inner", &inner);
	         m.AddMessage("m", &middle);
	         m.AddMessage("m", &inner);
	         BMessage empty;
	         m.AddMessage("empty", &empty);
         },
         [](const BMessage& m) {
	         BMessage middle, inner, second, empty;
	         ASSERT_EQ(m.FindMessage("m", 0, &middle), B_OK);
	         ASSERT_EQ(middle.FindMessage("inner", &inner), B_OK);
	         ASSERT_EQ(m.FindMessage("m", 1, &second), B_OK);
	         ASSERT_EQ(m.FindMessage("empty", &empty), B_OK);
	         EXPECT_EQ(middle.what, uint32('midl'));
	         EXPECT_TRUE(inner.HasSameData(Nested('innr', 42)));
	         EXPECT_TRUE(second.HasSameData(Nested('innr', 42)));
	         EXPECT_TRUE(empty.IsEmpty());
         }},
        {"raw data, fixed and variable size", 'rawd',
         [](BMessage& m) {
	         m.AddData("fixed", B_RAW_TYPE, "abc", 3);
	         m.AddData("fixed", B_RAW_TYPE, "def", 3);
	         m.AddData("var", B_RAW_TYPE, "", 0, false);
	         m.AddData("var", B_RAW_TYPE, "12345", 5, false);
	         m.AddData("var", B_RAW_TYPE, std::string(16, '\0').data(), 16, false);
	         m.AddData("user", 'USER', "\xff\x00\x01", 3);
	         uint32 unsignedValue = 0xdeadbeef;
	         m.AddData("u32", B_UINT32_TYPE, &unsignedValue, 4);
         },
         [](const BMessage& m) {
	         const void* data;
	         ssize_t size;
	         ASSERT_EQ(m.FindData("fixed", B_RAW_TYPE, 1, &data, &size), B_OK);
	         EXPECT_EQ(std::string(static_cast<const char*>(data), size), "def");
	         ASSERT_EQ(m.FindData("var", B_RAW_TYPE, 0, &data, &size), B_OK);
	         EXPECT_EQ(size, 0);
	         ASSERT_EQ(m.FindData("var", B_RAW_TYPE, 1, &data, &size), B_OK);
	         EXPECT_EQ(std::string(static_cast<const char*>(data), size), "12345");
	         ASSERT_EQ(m.FindData("var", B_RAW_TYPE, 2, &data, &size), B_OK);
	         EXPECT_EQ(std::string(static_cast<const char*>(data), size), std::string(16, '\0'));
	         ASSERT_EQ(m.FindData("user", 'USER', &data, &size), B_OK);
	         EXPECT_EQ(std::string(static_cast<const char*>(data), size),
	                   std::string("\xff\x00\x01", 3));
	         ASSERT_EQ(m.FindData("u32", B_UINT32_TYPE, &data, &size), B_OK);
	         uint32 value;
	         std::memcpy(&value, data, 4);
	         EXPECT_EQ(value, 0xdeadbeef);
         }},
        {"key-down message", '_KYD',
         [](BMessage& m) {
	         m.AddInt64("when", 1700000000000000LL);
	         m.AddInt32("key", 0x3c);
	         m.AddInt32("modifiers", 0x101);
	         m.AddData("states", B_UINT8_TYPE, std::string(16, '\x10').data(), 16);
	         m.AddInt8("byte", 'A');
	         m.AddString("bytes", "A");
	         m.AddInt32("raw_char", 'a');
         },
         [](const BMessage& m) {
	         EXPECT_EQ(m.GetInt64("when", 0), 1700000000000000LL);
	         EXPECT_EQ(m.GetInt32("key", 0), 0x3c);
	         EXPECT_EQ(m.GetInt32("modifiers", 0), 0x101);
	         int8 byte = 0;
	         EXPECT_EQ(m.FindInt8("byte", &byte), B_OK);
	         EXPECT_EQ(byte, 'A');
	         EXPECT_TRUE(m.HasString("bytes"));
	         EXPECT_EQ(m.CountNames(B_ANY_TYPE), 7);
         }},
};

class RoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(RoundTrip, UnflattensToAnEqualMessageAndFlattensToTheSameBytes)
{
	const RoundTripCase& test = GetParam();
	BMessage original(test.what);
	test.fill(original);
	std::string bytes = FlatBytes(original);
	ASSERT_EQ(bytes.size(), size_t(original.FlattenedSize()));
	ASSERT_EQ(bytes.size() % 8, 0u);

	// Unflattening replaces whatever the target held before.
	BMessage copy('old ');
	copy.AddString("stale", "field");
	ASSERT_EQ(UnflattenExact(copy, bytes), B_OK);
	EXPECT_EQ(copy.what, test.what);
	EXPECT_TRUE(copy.HasSameData(original));
	test.check(copy);
	EXPECT_EQ(FlatBytes(copy), bytes);
}

INSTANTIATE_TEST_SUITE_P(FieldTypes, RoundTrip, testing::ValuesIn(kRoundTrips),
                         [](const testing::TestParamInfo<RoundTripCase>& info) {
	                         std::string name;
	                         for (const char* c = info.param.label; *c != 0; c++)
		                         name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
	                         return name;
                         });

TEST(FlattenedLayout, MatchesTheDocumentedBytes)
{
	BMessage nested('nstd');
	nested.AddBool("on", true);

	BMessage message('_KYD');
	message.AddInt32("key", 0x3c);
	message.AddString("bytes", "a");
	message.AddData("states", B_UINT8_TYPE, "\1\2\3", 3);
	message.AddMessage("inner", &nested);
	message.AddInt16("pair", 1);
	message.AddInt16("pair", 2);

	std::string inner = FlatMessageWriter('nstd')
	                            .Field("on", B_BOOL_TYPE, true, {std::string("\1", 1)})
	                            .Bytes();
	FlatMessageWriter expected('_KYD');
	expected.Depth(1)
	        .Field("key", B_INT32_TYPE, true, {BytesOf<int32>(0x3c)})
	        .Field("bytes", B_STRING_TYPE, false, {std::string("a\0", 2)})
	        .Field("states", B_UINT8_TYPE, true, {"\1\2\3"})
	        .Field("inner", B_MESSAGE_TYPE, false, {inner})
	        .Field("pair", B_INT16_TYPE, true, {BytesOf<int16>(1), BytesOf<int16>(2)});

	EXPECT_EQ(FlatBytes(nested), inner);
	EXPECT_EQ(FlatBytes(message), expected.Bytes());
}

TEST(FlattenedLayout, ValuesOfEightBytesStayAlignedInMemory)
{
	BMessage message;
	message.AddString("odd", "12345");
	message.AddInt8("b", 1);
	message.AddInt64("when", 1);
	message.AddDouble("a-longer-name", 2.0);
	message.AddData("blob", B_RAW_TYPE, "xyz", 3, false);
	message.AddInt64("when", 2);
	for (const char* name : {"when", "a-longer-name"}) {
		type_code type;
		ASSERT_EQ(message.GetInfo(name, &type, static_cast<int32*>(NULL)), B_OK);
		const void* data;
		ssize_t size;
		ASSERT_EQ(message.FindData(name, type, &data, &size), B_OK);
		EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 8, 0u) << name;
	}
}

// #pragma mark - malformed input

// A valid message built by hand; every malformed case breaks one thing in it.
FlatMessageWriter BaseWriter()
{
	FlatMessageWriter writer('base');
	writer.Field("count", B_INT32_TYPE, true, {BytesOf<int32>(7)})
	        .Field("text", B_STRING_TYPE, false, {std::string("hi\0", 3)})
	        .Field("flag", B_BOOL_TYPE, true, {std::string("\1", 1)});
	return writer;
}

std::string Patched(std::string bytes, size_t offset, const std::string& with)
{
	bytes.replace(offset, with.size(), with);
	return bytes;
}

// Offsets within the base message.
const size_t kCount = BaseWriter().FieldOffset(0);
const size_t kText = BaseWriter().FieldOffset(1);
const size_t kFlag = BaseWriter().FieldOffset(2);
const std::string kBase = BaseWriter().Bytes();

std::string NestedChain(int depth)
{
	std::string bytes = FlatMessageWriter('leaf').Bytes();
	for (int level = 1; level <= depth; level++) {
		bytes = FlatMessageWriter('node')
		                .Depth(uint8(level))
		                .Field("m", B_MESSAGE_TYPE, false, {bytes})
		                .Bytes();
	}
	return bytes;
}

struct MalformedCase {
	const char* label;
	std::string bytes;
	status_t expected;
};

const MalformedCase kMalformed[] = {
        {"bad magic", Patched(kBase, 0, "XMsg"), B_NOT_A_MESSAGE},
        {"version 2", Patched(kBase, 4, BytesOf<uint16>(2)), B_BAD_DATA},
        {"version 0", Patched(kBase, 4, BytesOf<uint16>(0)), B_BAD_DATA},
        {"reserved header byte set", Patched(kBase, 7, "\1"), B_BAD_DATA},
        {"total size past the end", Patched(kBase, 12, BytesOf<uint32>(uint32(kBase.size() + 8))),
         B_BAD_DATA},
        {"total size cuts the last field", Patched(kBase, 12, BytesOf<uint32>(uint32(kFlag))),
         B_BAD_DATA},
        {"total size not a multiple of 8",
         Patched(kBase, 12, BytesOf<uint32>(uint32(kBase.size() - 1))), B_BAD_DATA},
        {"total size below the header", Patched(kBase, 12, BytesOf<uint32>(8)), B_BAD_DATA},
        {"huge field count", Patched(kBase, 16, BytesOf<uint32>(0xffffffff)), B_BAD_DATA},
        {"one field too many", Patched(kBase, 16, BytesOf<uint32>(4)), B_BAD_DATA},
        {"one field too few", Patched(kBase, 16, BytesOf<uint32>(2)), B_BAD_DATA},
        {"return address past the end", Patched(kBase, 20, BytesOf<uint32>(0x01000000)),
         B_BAD_DATA},
        {"return address padding not zero",
         Patched(BaseWriter().ReturnAddress("abc").Bytes(), kHeader + 5, "\1"), B_BAD_DATA},
        {"name length past the end", Patched(kBase, kFlag + 4, "\xff"), B_BAD_DATA},
        {"name without terminator", Patched(kBase, kCount + 16 + 5, "x"), B_BAD_DATA},
        {"name with a zero byte inside", Patched(kBase, kCount + 4, "\7"), B_BAD_DATA},
        {"name padding not zero", Patched(kBase, kCount + 16 + 7, "x"), B_BAD_DATA},
        {"field of no values", Patched(kBase, kFlag + 8, BytesOf<uint32>(0)), B_BAD_DATA},
        {"data size past the end", Patched(kBase, kFlag + 12, BytesOf<uint32>(1000)), B_BAD_DATA},
        {"data size past the end by one", Patched(kBase, kFlag + 12, BytesOf<uint32>(9)),
         B_BAD_DATA},
        {"huge value count of a fixed field",
         Patched(kBase, kFlag + 8, BytesOf<uint32>(0xffffffff)), B_BAD_DATA},
        {"huge value count of a variable field",
         Patched(kBase, kText + 8, BytesOf<uint32>(0x10000000)), B_BAD_DATA},
        {"data padding not zero", Patched(kBase, kFlag + 16 + 8 + 1, "\1"), B_BAD_DATA},
        {"unknown field flag", Patched(kBase, kCount + 5, "\3"), B_BAD_DATA},
        {"reserved field bytes set", Patched(kBase, kCount + 6, "\1"), B_BAD_DATA},
        {"field of any type", Patched(kBase, kCount, BytesOf<uint32>(B_ANY_TYPE)), B_BAD_DATA},
        {"value size past the field", Patched(kBase, kText + 16 + 8, BytesOf<uint32>(9)),
         B_BAD_DATA},
        {"value header reserved word set", Patched(kBase, kText + 16 + 8 + 4, "\1"), B_BAD_DATA},
        {"int32 of three bytes",
         FlatMessageWriter().Field("n", B_INT32_TYPE, true, {"abc"}).Bytes(), B_BAD_DATA},
        {"int64 of four bytes",
         FlatMessageWriter().Field("n", B_INT64_TYPE, true, {BytesOf<int32>(1)}).Bytes(),
         B_BAD_DATA},
        {"double of nine bytes",
         FlatMessageWriter().Field("n", B_DOUBLE_TYPE, true, {"123456789"}).Bytes(), B_BAD_DATA},
        {"int32 stored as variable size",
         FlatMessageWriter().Field("n", B_INT32_TYPE, false, {BytesOf<int32>(1)}).Bytes(),
         B_BAD_DATA},
        {"string stored as fixed size",
         FlatMessageWriter().Field("s", B_STRING_TYPE, true, {std::string("ab\0", 3)}).Bytes(),
         B_BAD_DATA},
        {"string without terminator",
         FlatMessageWriter().Field("s", B_STRING_TYPE, false, {"ab"}).Bytes(), B_BAD_DATA},
        {"string of no bytes", FlatMessageWriter().Field("s", B_STRING_TYPE, false, {""}).Bytes(),
         B_BAD_DATA},
        {"bool that is 2", Patched(kBase, kFlag + 16 + 8, "\2"), B_BAD_DATA},
        {"fixed values of no bytes",
         FlatMessageWriter().Field("z", B_RAW_TYPE, true, {"", ""}).Bytes(), B_BAD_DATA},
        {"fixed data not a multiple of the count",
         Patched(FlatMessageWriter().Field("r", B_RAW_TYPE, true, {"abc"}).Bytes(), kHeader + 8,
                 BytesOf<uint32>(2)),
         B_BAD_DATA},
        {"duplicate names",
         FlatMessageWriter()
                 .Field("a", B_INT32_TYPE, true, {BytesOf<int32>(1)})
                 .Field("a", B_INT32_TYPE, true, {BytesOf<int32>(2)})
                 .Bytes(),
         B_BAD_DATA},
        {"nested message with a bad magic",
         FlatMessageWriter()
                 .Depth(1)
                 .Field("m", B_MESSAGE_TYPE, false, {Patched(kBase, 0, "XMsg")})
                 .Bytes(),
         B_BAD_DATA},
        {"nested message with bytes after it",
         FlatMessageWriter()
                 .Depth(1)
                 .Field("m", B_MESSAGE_TYPE, false, {kBase + std::string(8, '\0')})
                 .Bytes(),
         B_BAD_DATA},
        {"nested message without depth",
         FlatMessageWriter().Field("m", B_MESSAGE_TYPE, false, {kBase}).Bytes(), B_BAD_DATA},
        {"depth declared without nesting", Patched(kBase, 6, "\2"), B_BAD_DATA},
        {"message fields nested 33 deep", NestedChain(33), B_BAD_DATA},
};

class Malformed : public testing::TestWithParam<MalformedCase> {};

TEST_P(Malformed, IsRefusedAndLeavesTheMessageUnchanged)
{
	BMessage message('keep');
	message.AddInt32("keep", 1);
	BMessage nested = Nested('nstd', 5);
	message.AddMessage("nested", &nested);
	BMessage before(message);

	EXPECT_EQ(UnflattenExact(message, GetParam().bytes), GetParam().expected);
	EXPECT_EQ(message.what, uint32('keep'));
	EXPECT_TRUE(message.HasSameData(before));
}

INSTANTIATE_TEST_SUITE_P(Inputs, Malformed, testing::ValuesIn(kMalformed),
                         [](const testing::TestParamInfo<MalformedCase>& info) {
	                         std::string name;
	                         for (const char* c = info.param.label; *c != 0; c++)
		                         name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
	                         return name;
                         });

TEST(MalformedInput, TheHandBuiltBaseIsValid)
{
	// Guards the table above: each case must fail for its own break only.
	BMessage message;
	ASSERT_EQ(UnflattenExact(message, kBase), B_OK);
	EXPECT_EQ(message.GetInt32("count", 0), 7);
	BMessage chain;
	EXPECT_EQ(UnflattenExact(chain, NestedChain(32)), B_OK);
	EXPECT_EQ(UnflattenExact(chain, BaseWriter().ReturnAddress("abc").Bytes()), B_OK);
}

TEST(MalformedInput, EveryTruncationIsRefused)
{
	BMessage inner = Nested('innr', 3);
	BMessage full('full');
	full.AddInt64("when", 99);
	full.AddString("text", "some text");
	full.AddMessage("inner", &inner);
	full.AddData("raw", B_RAW_TYPE, "12345", 5, false);
	full.AddBool("on", true);
	std::string bytes = FlatBytes(full);

	for (size_t length = 0; length < bytes.size(); length++) {
		BMessage target('keep');
		target.AddInt32("keep", 1);
		EXPECT_NE(UnflattenExact(target, bytes.substr(0, length)), B_OK) << "length " << length;
		EXPECT_EQ(target.what, uint32('keep'));
		EXPECT_EQ(target.GetInt32("keep", 0), 1);
		EXPECT_EQ(target.CountNames(B_ANY_TYPE), 1);
	}
}

TEST(MalformedInput, ALongerBufferIsReadOnlyAsFarAsTheMessage)
{
	BMessage message = Nested('nstd', 8);
	std::string bytes = FlatBytes(message) + "trailing bytes";
	BMessage copy;
	ASSERT_EQ(UnflattenExact(copy, bytes), B_OK);
	EXPECT_TRUE(copy.HasSameData(message));
}

TEST(MalformedInput, BadArgumentsAreRefused)
{
	BMessage message('keep');
	std::string bytes = FlatBytes(message);
	EXPECT_EQ(message.Unflatten(NULL, 24), B_BAD_VALUE);
	EXPECT_EQ(message.Unflatten(bytes.data(), -1), B_BAD_VALUE);
	EXPECT_EQ(message.Unflatten(NULL), B_BAD_VALUE);

	char small[8];
	EXPECT_EQ(message.Flatten(small, sizeof(small)), B_BAD_VALUE);
	EXPECT_EQ(message.Flatten(NULL, 100), B_BAD_VALUE);
	EXPECT_EQ(message.what, uint32('keep'));
}

// Unflatten(buffer) trusts the size in the header, but only within the limit.
struct SelfSizedCase {
	const char* label;
	std::string bytes; // exactly what the reader may touch
	status_t expected;
};

TEST(SelfSizedUnflatten, ReadsTheDeclaredSizeAndRefusesImpossibleHeaders)
{
	const SelfSizedCase cases[] = {
	        {"valid", kBase, B_OK},
	        {"bad magic", Patched(kBase, 0, "SMsh").substr(0, kHeader), B_NOT_A_MESSAGE},
	        {"declared beyond the 16 MiB limit",
	         Patched(kBase, 12, BytesOf<uint32>(16 * 1024 * 1024 + 8)).substr(0, kHeader),
	         B_BAD_DATA},
	        {"declared below the header",
	         Patched(kBase, 12, BytesOf<uint32>(16)).substr(0, kHeader), B_BAD_DATA},
	        {"broken field", Patched(kBase, kFlag + 16 + 8, "\2"), B_BAD_DATA},
	};
	for (const SelfSizedCase& test : cases) {
		std::vector<char> exact(test.bytes.begin(), test.bytes.end());
		BMessage message('keep');
		EXPECT_EQ(message.Unflatten(exact.data()), test.expected) << test.label;
		if (test.expected == B_OK)
			EXPECT_EQ(message.GetInt32("count", 0), 7) << test.label;
		else
			EXPECT_EQ(message.what, uint32('keep')) << test.label;
	}
}

// #pragma mark - limits

TEST(Nesting, MessageFieldsNestUpTo32Deep)
{
	BMessage chain('leaf');
	for (int level = 1; level <= 32; level++) {
		BMessage parent('node');
		ASSERT_EQ(parent.AddMessage("m", &chain), B_OK) << level;
		chain = parent;
	}
	EXPECT_EQ(FlatBytes(chain), NestedChain(32));

	BMessage tooDeep('node');
	EXPECT_EQ(tooDeep.AddMessage("m", &chain), B_BAD_VALUE);
	std::string bytes = FlatBytes(chain);
	EXPECT_EQ(tooDeep.AddData("m", B_MESSAGE_TYPE, bytes.data(), ssize_t(bytes.size()), false),
	          B_BAD_VALUE);
	EXPECT_TRUE(tooDeep.IsEmpty());

	// The depth follows removals and replacements, so room comes back.
	BMessage inner; // 31 deep
	ASSERT_EQ(chain.FindMessage("m", &inner), B_OK);
	BMessage leaf('leaf');
	BMessage holder;
	ASSERT_EQ(holder.AddMessage("deep", &leaf), B_OK);
	ASSERT_EQ(holder.AddMessage("deep", &inner), B_OK);
	BMessage outer;
	EXPECT_EQ(outer.AddMessage("holder", &holder), B_BAD_VALUE);
	ASSERT_EQ(holder.RemoveData("deep", 1), B_OK);
	EXPECT_EQ(outer.AddMessage("holder", &holder), B_OK);

	ASSERT_EQ(holder.ReplaceMessage("deep", 0, &inner), B_OK);
	EXPECT_EQ(outer.AddMessage("again", &holder), B_BAD_VALUE);
	ASSERT_EQ(holder.ReplaceMessage("deep", 0, &leaf), B_OK);
	EXPECT_EQ(outer.AddMessage("again", &holder), B_OK);

	ASSERT_EQ(holder.ReplaceMessage("deep", 0, &inner), B_OK);
	ASSERT_EQ(holder.RemoveName("deep"), B_OK);
	EXPECT_EQ(outer.AddMessage("again", &holder), B_OK);
	EXPECT_EQ(UnflattenExact(holder, FlatBytes(outer)), B_OK);
}

TEST(Limits, MessagesStopGrowingAt16MiB)
{
	std::vector<char> block(8 * 1024 * 1024, 'x');
	BMessage message;
	ASSERT_EQ(message.AddData("a", B_RAW_TYPE, block.data(), ssize_t(block.size()), false), B_OK);
	EXPECT_EQ(message.AddData("b", B_RAW_TYPE, block.data(), ssize_t(block.size()), false),
	          B_NO_MEMORY);
	EXPECT_EQ(message.AddData("a", B_RAW_TYPE, block.data(), ssize_t(block.size()), false),
	          B_NO_MEMORY);
	EXPECT_EQ(message.CountNames(B_ANY_TYPE), 1);

	std::string bytes = FlatBytes(message);
	BMessage copy;
	ASSERT_EQ(UnflattenExact(copy, bytes), B_OK);
	EXPECT_TRUE(copy.HasSameData(message));
}

} // namespace
