// BString: construction, editing, comparison and searching, as tables.

#include <String.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

std::string Bytes(const BString& string)
{
	return std::string(string.String(), size_t(string.Length()));
}

TEST(StringTest, Construction)
{
	const struct {
		const char* what;
		BString string;
		const char* text;
	} cases[] = {
	        {"empty", BString(), ""},
	        {"null text", BString(NULL), ""},
	        {"text", BString("hello"), "hello"},
	        {"bytes and a count", BString("hello", 3), "hel"},
	        {"count beyond the text", BString("hi", 10), "hi"},
	        {"stops at a zero byte", BString("ab\0cd", 5), "ab"},
	        {"zero count", BString("abc", 0), ""},
	        {"negative count", BString("abc", -2), ""},
	        {"null bytes", BString(NULL, 4), ""},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		EXPECT_EQ(Bytes(c.string), c.text);
		EXPECT_EQ(c.string.Length(), int32(strlen(c.text)));
		EXPECT_EQ(c.string.String()[c.string.Length()], '\0');
	}
}

TEST(StringTest, CopiesAndMovesAreIndependent)
{
	BString original("shared");
	BString copy(original);
	copy.Append("!");
	EXPECT_EQ(original, "shared");
	EXPECT_EQ(copy, "shared!");

	BString moved(std::move(copy));
	EXPECT_EQ(moved, "shared!");
	EXPECT_EQ(copy.Length(), 0);
	EXPECT_STREQ(copy.String(), "");

	BString assigned;
	assigned = original;
	assigned = assigned; // self-assignment keeps the text
	EXPECT_EQ(assigned, "shared");

	BString adopter("old");
	adopter.Adopt(moved);
	EXPECT_EQ(adopter, "shared!");
	EXPECT_TRUE(moved.IsEmpty());
}

using Edit = std::function<void(BString&)>;

TEST(StringTest, Editing)
{
	const struct {
		const char* what;
		const char* start;
		Edit edit;
		const char* expected;
	} cases[] = {
	        {"append text", "ab", [](BString& s) { s.Append("cd"); }, "abcd"},
	        {"append null", "ab", [](BString& s) { s.Append((const char*)NULL); }, "ab"},
	        {"append text and length", "ab", [](BString& s) { s.Append("cdef", 2); }, "abcd"},
	        {"append length past zero", "ab", [](BString& s) { s.Append("c\0d", 3); }, "abc"},
	        {"append one byte", "ab", [](BString& s) { s.Append('c', 1); }, "abc"},
	        {"append a byte thrice", "", [](BString& s) { s.Append('x', 3); }, "xxx"},
	        {"append BString", "ab", [](BString& s) { s.Append(BString("cd")); }, "abcd"},
	        {"append itself", "ab", [](BString& s) { s.Append(s); }, "abab"},
	        {"append own text", "abc", [](BString& s) { s.Append(s.String() + 1); }, "abcbc"},
	        {"operator +=", "a",
	         [](BString& s) {
		         s += "b";
		         s += 'c';
		         s += BString("d");
	         },
	         "abcd"},
	        {"prepend text", "cd", [](BString& s) { s.Prepend("ab"); }, "abcd"},
	        {"prepend length", "cd", [](BString& s) { s.Prepend("abz", 2); }, "abcd"},
	        {"prepend bytes", "cd", [](BString& s) { s.Prepend('-', 2); }, "--cd"},
	        {"insert", "ad", [](BString& s) { s.Insert("bc", 1); }, "abcd"},
	        {"insert out of range", "ad", [](BString& s) { s.Insert("bc", 5); }, "ad"},
	        {"remove middle", "abcdef", [](BString& s) { s.Remove(1, 2); }, "adef"},
	        {"remove past the end", "abcdef", [](BString& s) { s.Remove(4, 100); }, "abcd"},
	        {"remove from out of range", "abc", [](BString& s) { s.Remove(3, 1); }, "abc"},
	        {"remove negative", "abc", [](BString& s) { s.Remove(-1, 2); }, "abc"},
	        {"remove last match", "a.b.c", [](BString& s) { s.RemoveLast("."); }, "a.bc"},
	        {"remove first match", "a.b.c", [](BString& s) { s.RemoveFirst("."); }, "ab.c"},
	        {"remove all matches", "a.b.c", [](BString& s) { s.RemoveAll("."); }, "abc"},
	        {"remove missing", "abc", [](BString& s) { s.RemoveLast("x"); }, "abc"},
	        {"remove set", "a-b_c", [](BString& s) { s.RemoveSet("-_"); }, "abc"},
	        {"truncate", "abcdef", [](BString& s) { s.Truncate(2); }, "ab"},
	        {"truncate longer", "abc", [](BString& s) { s.Truncate(10); }, "abc"},
	        {"truncate negative", "abc", [](BString& s) { s.Truncate(-1); }, ""},
	        {"set to bytes", "old", [](BString& s) { s.SetTo("newer", 3); }, "new"},
	        {"set to a byte", "old", [](BString& s) { s.SetTo('z', 2); }, "zz"},
	        {"set to own tail", "abcdef", [](BString& s) { s.SetTo(s.String() + 2); }, "cdef"},
	        {"replace all", "a.b.c", [](BString& s) { s.ReplaceAll(".", "::"); }, "a::b::c"},
	        {"replace all growing", "aa", [](BString& s) { s.ReplaceAll("a", "aa"); }, "aaaa"},
	        {"replace first", "a.b.c", [](BString& s) { s.ReplaceFirst(".", ""); }, "ab.c"},
	        {"replace last", "a.b.c", [](BString& s) { s.ReplaceLast(".", "!"); }, "a.b!c"},
	        {"replace byte", "a.b.c", [](BString& s) { s.ReplaceAll('.', '-'); }, "a-b-c"},
	        {"lower", "MiXeD", [](BString& s) { s.ToLower(); }, "mixed"},
	        {"upper", "MiXeD", [](BString& s) { s.ToUpper(); }, "MIXED"},
	        {"capitalize", "mIXED", [](BString& s) { s.Capitalize(); }, "Mixed"},
	        {"trim", " \t pad \n", [](BString& s) { s.Trim(); }, "pad"},
	        {"trim blank", "   ", [](BString& s) { s.Trim(); }, ""},
	        {"make empty", "abc", [](BString& s) { s.MakeEmpty(); }, ""},
	        {"numbers", "", [](BString& s) { s << "n=" << 42 << ' ' << -7L << ' ' << 2.5; },
	         "n=42 -7 2.50"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		BString string(c.start);
		c.edit(string);
		EXPECT_EQ(Bytes(string), c.expected);
		EXPECT_EQ(string.String()[string.Length()], '\0');
	}
}

TEST(StringTest, CopyInto)
{
	const struct {
		int32 from;
		int32 length;
		const char* expected;
	} cases[] = {
	        {0, 3, "abc"}, {2, 2, "cd"}, {4, 10, "ef"}, {6, 2, ""},
	        {-1, 2, "ab"}, {1, -1, ""},  {10, 2, ""},
	};
	const BString source("abcdef");
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::Message() << c.from << "," << c.length);
		BString into("previous");
		source.CopyInto(into, c.from, c.length);
		EXPECT_EQ(Bytes(into), c.expected);

		char buffer[16];
		memset(buffer, '#', sizeof(buffer));
		source.CopyInto(buffer, c.from, c.length);
		size_t copied = strlen(c.expected);
		EXPECT_EQ(std::string(buffer, copied), c.expected);
		EXPECT_EQ(buffer[copied], '#') << "wrote past the copied bytes";
	}

	BString self("abcdef");
	self.CopyInto(self, 1, 3);
	EXPECT_EQ(self, "bcd");
}

TEST(StringTest, Comparison)
{
	const struct {
		const char* a;
		const char* b;
		int sign;
	} cases[] = {
	        {"", "", 0},       {"abc", "abc", 0}, {"abc", "abd", -1},
	        {"abd", "abc", 1}, {"ab", "abc", -1}, {"abc", "ab", 1},
	        {"", "a", -1},     {"\xff", "a", 1}, // bytes compare unsigned
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::Message() << '"' << c.a << "\" vs \"" << c.b << '"');
		BString a(c.a);
		BString b(c.b);
		EXPECT_EQ(a == b, c.sign == 0);
		EXPECT_EQ(a != b, c.sign != 0);
		EXPECT_EQ(a < b, c.sign < 0);
		EXPECT_EQ(a > b, c.sign > 0);
		EXPECT_EQ(a <= b, c.sign <= 0);
		EXPECT_EQ(a >= b, c.sign >= 0);
		EXPECT_EQ(a == c.b, c.sign == 0);
		EXPECT_EQ(a != c.b, c.sign != 0);
		EXPECT_EQ(a < c.b, c.sign < 0);
		EXPECT_EQ(c.a == b, c.sign == 0);
		EXPECT_EQ(c.a < b, c.sign < 0);
		EXPECT_EQ(c.a > b, c.sign > 0);
		EXPECT_EQ((a.Compare(b) > 0) - (a.Compare(b) < 0), c.sign);
	}
	EXPECT_EQ(BString("ABC").ICompare("abc"), 0);
	EXPECT_EQ(BString("abcX").Compare("abcY", 3), 0);
	EXPECT_LT(BString("abcX").Compare("abcY", 4), 0);
	// A null text compares as the empty one.
	EXPECT_TRUE(BString("") == (const char*)NULL);
	EXPECT_TRUE(BString("x") != (const char*)NULL);
}

TEST(StringTest, Searching)
{
	const BString text("one.two.one");
	const struct {
		const char* what;
		int32 found;
		int32 expected;
	} cases[] = {
	        {"first text", text.FindFirst("one"), 0},
	        {"first from offset", text.FindFirst("one", 1), 8},
	        {"first missing", text.FindFirst("three"), B_ERROR},
	        {"first byte", text.FindFirst('.'), 3},
	        {"first byte from offset", text.FindFirst('.', 4), 7},
	        {"first byte out of range", text.FindFirst('.', 50), B_ERROR},
	        {"last text", text.FindLast("one"), 8},
	        {"last before offset", text.FindLast("one", 8), 0},
	        {"last byte", text.FindLast('.'), 7},
	        {"last byte before offset", text.FindLast('.', 7), 3},
	        {"last byte none before", text.FindLast('.', 3), B_ERROR},
	        {"first case-blind", text.IFindFirst("TWO"), 4},
	        {"last case-blind", text.IFindLast("ONE"), 8},
	        {"first BString", text.FindFirst(BString("two")), 4},
	        {"null text", text.FindFirst((const char*)NULL), B_BAD_VALUE},
	};
	for (const auto& c : cases)
		EXPECT_EQ(c.found, c.expected) << c.what;

	EXPECT_TRUE(text.StartsWith("one."));
	EXPECT_FALSE(text.StartsWith("two"));
	EXPECT_TRUE(text.EndsWith(".one"));
	EXPECT_FALSE(text.EndsWith("one.two.one.two"));
}

TEST(StringTest, ByteAccessAndBuffer)
{
	BString string("abc");
	EXPECT_EQ(string[1], 'b');
	EXPECT_EQ(string.ByteAt(3), '\0');
	EXPECT_EQ(string.ByteAt(-1), '\0');

	char* buffer = string.LockBuffer(10);
	ASSERT_NE(buffer, nullptr);
	strcpy(buffer, "abcdefghij");
	string.UnlockBuffer();
	EXPECT_EQ(string, "abcdefghij");

	string.LockBuffer(0)[1] = 'X';
	string.UnlockBuffer(2);
	EXPECT_EQ(string, "aX");

	EXPECT_EQ(BString("h\xc3\xa9llo").CountChars(), 5);
	EXPECT_EQ(BString("same").HashValue(), BString("same").HashValue());
}

// Many small appends, as a capture buffer sees them, keep every byte.
TEST(StringTest, GrowsByteByByte)
{
	BString string;
	std::string expected;
	for (int i = 0; i < 5000; i++) {
		char c = char('a' + i % 26);
		string.Append(c, 1);
		expected += c;
	}
	EXPECT_EQ(Bytes(string), expected);
	string.RemoveLast("z");
	expected.erase(expected.rfind('z'), 1);
	EXPECT_EQ(Bytes(string), expected);
}

} // namespace
