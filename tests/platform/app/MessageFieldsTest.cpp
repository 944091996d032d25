// BMessage fields: adding, finding, replacing and removing values, field
// information, copies, and a long random run checked against a plain model.
#include <Message.h>
#include <String.h>

#include "FlatMessageWriter.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

// A message with one field of each kind the tables below poke at.
BMessage Sample()
{
	BMessage message('smpl');
	message.AddInt32("int", 10);
	message.AddInt32("int", 11);
	message.AddString("str", "text");
	message.AddData("raw", B_RAW_TYPE, "abc", 3);
	BMessage nested('nstd');
	nested.AddInt8("x", 1);
	message.AddMessage("msg", &nested);
	message.AddBool("flag", true);
	message.AddInt64("when", 5);
	return message;
}

// #pragma mark - Find

struct FindCase {
	const char* label;
	// Runs a Find on a target holding a sentinel; says whether the target
	// still holds it afterwards.
	std::function<status_t(const BMessage&, bool* unchanged)> find;
	status_t expected;
};

template <typename T, typename Find>
status_t FindKeeps(Find find, T sentinel, bool* unchanged)
{
	T value = sentinel;
	status_t status = find(&value);
	*unchanged = value == sentinel;
	return status;
}

const FindCase kFailingFinds[] = {
        {"int32 missing",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int32>([&](int32* v) { return m.FindInt32("none", v); }, -7, u);
         },
         B_NAME_NOT_FOUND},
        {"int32 of a string",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int32>([&](int32* v) { return m.FindInt32("str", v); }, -7, u);
         },
         B_BAD_TYPE},
        {"int32 past the last index",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int32>([&](int32* v) { return m.FindInt32("int", 2, v); }, -7, u);
         },
         B_BAD_INDEX},
        {"int32 at a negative index",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int32>([&](int32* v) { return m.FindInt32("int", -1, v); }, -7, u);
         },
         B_BAD_INDEX},
        {"int8 of an int32",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int8>([&](int8* v) { return m.FindInt8("int", v); }, 9, u);
         },
         B_BAD_TYPE},
        {"int16 missing",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int16>([&](int16* v) { return m.FindInt16("none", v); }, 9, u);
         },
         B_NAME_NOT_FOUND},
        {"int64 of an int32",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<int64>([&](int64* v) { return m.FindInt64("int", v); }, 9, u);
         },
         B_BAD_TYPE},
        {"bool of raw data",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<bool>([&](bool* v) { return m.FindBool("raw", v); }, true, u);
         },
         B_BAD_TYPE},
        {"float missing",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<float>([&](float* v) { return m.FindFloat("none", v); }, 2.5f, u);
         },
         B_NAME_NOT_FOUND},
        {"double of an int64",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<double>([&](double* v) { return m.FindDouble("when", v); }, 2.5, u);
         },
         B_BAD_TYPE},
        {"pointer of an int64",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<void*>([&](void** v) { return m.FindPointer("when", v); },
	                                 static_cast<void*>(&u), u);
         },
         B_BAD_TYPE},
        {"string pointer of an int32",
         [](const BMessage& m, bool* u) {
	         return FindKeeps<const char*>([&](const char** v) { return m.FindString("int", v); },
	                                       "sentinel", u);
         },
         B_BAD_TYPE},
        {"string past the last index",
         [](const BMessage& m, bool* u) {
	         BString text("sentinel");
	         status_t status = m.FindString("str", 1, &text);
	         *u = text == "sentinel";
	         return status;
         },
         B_BAD_INDEX},
        {"message of a string",
         [](const BMessage& m, bool* u) {
	         BMessage target('sent');
	         target.AddInt32("kept", 1);
	         BMessage before(target);
	         status_t status = m.FindMessage("str", &target);
	         *u = target.what == 'sent' && target.HasSameData(before);
	         return status;
         },
         B_BAD_TYPE},
        {"message missing",
         [](const BMessage& m, bool* u) {
	         BMessage target('sent');
	         status_t status = m.FindMessage("none", &target);
	         *u = target.what == 'sent' && target.IsEmpty();
	         return status;
         },
         B_NAME_NOT_FOUND},
        {"data of another type",
         [](const BMessage& m, bool* u) {
	         const void* data = &u;
	         ssize_t size = -3;
	         status_t status = m.FindData("raw", B_STRING_TYPE, &data, &size);
	         *u = data == &u && size == -3;
	         return status;
         },
         B_BAD_TYPE},
};

class FailingFind : public testing::TestWithParam<FindCase> {};

TEST_P(FailingFind, ReturnsTheErrorAndLeavesTheTargetUnchanged)
{
	BMessage message = Sample();
	bool unchanged = false;
	EXPECT_EQ(GetParam().find(message, &unchanged), GetParam().expected);
	EXPECT_TRUE(unchanged);
}

std::string CaseName(const char* label)
{
	std::string name;
	for (const char* c = label; *c != 0; c++)
		name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
	return name;
}

INSTANTIATE_TEST_SUITE_P(Finds, FailingFind, testing::ValuesIn(kFailingFinds),
                         [](const testing::TestParamInfo<FindCase>& info) {
	                         return CaseName(info.param.label);
                         });

TEST(Find, AnyTypeMatchesEveryField)
{
	BMessage message = Sample();
	const void* data;
	ssize_t size;
	ASSERT_EQ(message.FindData("str", B_ANY_TYPE, &data, &size), B_OK);
	EXPECT_EQ(std::string(static_cast<const char*>(data)), "text");
	EXPECT_EQ(size, 5);
}

TEST(Find, DefaultsAndPresence)
{
	BMessage message = Sample();
	EXPECT_EQ(message.GetInt32("int", -1), 10);
	EXPECT_EQ(message.GetInt32("none", -1), -1);
	EXPECT_EQ(message.GetInt32("when", -1), -1); // an int64, not an int32
	EXPECT_EQ(message.GetInt64("when", -1), 5);
	EXPECT_EQ(message.GetInt64("int", -1), -1);
	EXPECT_TRUE(message.HasString("str"));
	EXPECT_FALSE(message.HasString("str", 1));
	EXPECT_FALSE(message.HasString("int"));
}

// #pragma mark - Add, Replace and Remove errors

struct ChangeCase {
	const char* label;
	std::function<status_t(BMessage&)> change;
	status_t expected;
};

const std::string kLongName(256, 'n');

const ChangeCase kRefusedChanges[] = {
        {"add under a name of another type", [](BMessage& m) { return m.AddString("int", "x"); },
         B_BAD_TYPE},
        {"add without a name", [](BMessage& m) { return m.AddInt32(NULL, 1); }, B_BAD_VALUE},
        {"add under a name of 256 bytes",
         [](BMessage& m) { return m.AddInt32(kLongName.c_str(), 1); }, B_BAD_VALUE},
        {"add a null string", [](BMessage& m) { return m.AddString("s", (const char*)NULL); },
         B_BAD_VALUE},
        {"add a null message", [](BMessage& m) { return m.AddMessage("m", NULL); }, B_BAD_VALUE},
        {"add fixed data of another size",
         [](BMessage& m) { return m.AddData("raw", B_RAW_TYPE, "abcd", 4); }, B_BAD_VALUE},
        {"add a string without terminator",
         [](BMessage& m) { return m.AddData("s", B_STRING_TYPE, "ab", 2, false); }, B_BAD_VALUE},
        {"add an int32 of three bytes",
         [](BMessage& m) { return m.AddData("i", B_INT32_TYPE, "abc", 3); }, B_BAD_VALUE},
        {"add a bool that is 2", [](BMessage& m) { return m.AddData("b", B_BOOL_TYPE, "\2", 1); },
         B_BAD_VALUE},
        {"add data of any type", [](BMessage& m) { return m.AddData("a", B_ANY_TYPE, "x", 1); },
         B_BAD_VALUE},
        {"add data of negative size",
         [](BMessage& m) { return m.AddData("a", B_RAW_TYPE, "x", -1); }, B_BAD_VALUE},
        {"add fixed data of no bytes",
         [](BMessage& m) { return m.AddData("a", B_RAW_TYPE, "", 0); }, B_BAD_VALUE},
        {"add message bytes that are no message",
         [](BMessage& m) { return m.AddData("m", B_MESSAGE_TYPE, "garbage!", 8, false); },
         B_BAD_VALUE},
        {"replace past the last index", [](BMessage& m) { return m.ReplaceInt32("int", 2, 5); },
         B_BAD_INDEX},
        {"replace at a negative index", [](BMessage& m) { return m.ReplaceInt32("int", -1, 5); },
         B_BAD_INDEX},
        {"replace a missing name", [](BMessage& m) { return m.ReplaceInt32("none", 5); },
         B_NAME_NOT_FOUND},
        {"replace with another type", [](BMessage& m) { return m.ReplaceString("int", "x"); },
         B_BAD_TYPE},
        {"replace a string past its index",
         [](BMessage& m) { return m.ReplaceString("str", 1, "x"); }, B_BAD_INDEX},
        {"replace a message past its index",
         [](BMessage& m) {
	         BMessage other;
	         return m.ReplaceMessage("msg", 1, &other);
         },
         B_BAD_INDEX},
        {"replace fixed data with another size",
         [](BMessage& m) { return m.ReplaceData("raw", B_RAW_TYPE, 0, "ab", 2); }, B_BAD_VALUE},
        {"replace with a string without terminator",
         [](BMessage& m) { return m.ReplaceData("str", B_STRING_TYPE, 0, "ab", 2); }, B_BAD_VALUE},
        {"replace with a null string", [](BMessage& m) { return m.ReplaceString("str", NULL); },
         B_BAD_VALUE},
        {"remove a missing name", [](BMessage& m) { return m.RemoveName("none"); },
         B_NAME_NOT_FOUND},
        {"remove data of a missing name", [](BMessage& m) { return m.RemoveData("none"); },
         B_NAME_NOT_FOUND},
        {"remove data past the last index", [](BMessage& m) { return m.RemoveData("int", 2); },
         B_BAD_INDEX},
};

class RefusedChange : public testing::TestWithParam<ChangeCase> {};

TEST_P(RefusedChange, ReturnsTheErrorAndChangesNothing)
{
	BMessage message = Sample();
	BMessage before(message);
	EXPECT_EQ(GetParam().change(message), GetParam().expected);
	EXPECT_TRUE(message.HasSameData(before));
	EXPECT_EQ(FlatBytes(message), FlatBytes(before));
}

INSTANTIATE_TEST_SUITE_P(Changes, RefusedChange, testing::ValuesIn(kRefusedChanges),
                         [](const testing::TestParamInfo<ChangeCase>& info) {
	                         return CaseName(info.param.label);
                         });

TEST(Add, NamesUpTo255BytesAndTypesThatDecideTheirOwnSize)
{
	BMessage message;
	std::string longest(255, 'n');
	EXPECT_EQ(message.AddInt32(longest.c_str(), 1), B_OK);
	EXPECT_EQ(message.GetInt32(longest.c_str(), 0), 1);

	// An int32 is always fixed size, a string never, whatever the caller says.
	int32 value = 3;
	ASSERT_EQ(message.AddData("i", B_INT32_TYPE, &value, 4, false), B_OK);
	ASSERT_EQ(message.AddData("s", B_STRING_TYPE, "ab", 3, true), B_OK);
	ASSERT_EQ(message.AddData("s", B_STRING_TYPE, "abcd", 5, true), B_OK);
	bool fixedSize = false;
	type_code type;
	ASSERT_EQ(message.GetInfo("i", &type, &fixedSize), B_OK);
	EXPECT_TRUE(fixedSize);
	ASSERT_EQ(message.GetInfo("s", &type, &fixedSize), B_OK);
	EXPECT_FALSE(fixedSize);
}

TEST(Replace, ValuesOfNewSizesKeepTheFieldsAroundThem)
{
	BMessage message = Sample();
	ASSERT_EQ(message.ReplaceString("str", "a much longer text than before"), B_OK);
	ASSERT_EQ(message.ReplaceInt32("int", 1, 99), B_OK);
	ASSERT_EQ(message.ReplaceData("raw", B_RAW_TYPE, "xyz", 3), B_OK);
	ASSERT_EQ(message.ReplaceBool("flag", false), B_OK);
	ASSERT_EQ(message.ReplaceString("str", "s"), B_OK);
	BMessage other('othr');
	ASSERT_EQ(message.ReplaceMessage("msg", &other), B_OK);

	int32 first = 0, second = 0;
	EXPECT_EQ(message.FindInt32("int", 0, &first), B_OK);
	EXPECT_EQ(message.FindInt32("int", 1, &second), B_OK);
	EXPECT_EQ(first, 10);
	EXPECT_EQ(second, 99);
	BString text;
	EXPECT_EQ(message.FindString("str", &text), B_OK);
	EXPECT_EQ(text, "s");
	bool flag = true;
	EXPECT_EQ(message.FindBool("flag", &flag), B_OK);
	EXPECT_FALSE(flag);
	BMessage found;
	EXPECT_EQ(message.FindMessage("msg", &found), B_OK);
	EXPECT_EQ(found.what, uint32('othr'));
	EXPECT_EQ(message.GetInt64("when", 0), 5);

	BMessage copy;
	ASSERT_EQ(copy.Unflatten(FlatBytes(message).data()), B_OK);
	EXPECT_TRUE(copy.HasSameData(message));
}

TEST(Add, ValuesTakenFromTheSameMessageSurviveItsGrowth)
{
	// FindString and FindData point into the message; adding what they give
	// back must work even when the message has to move its bytes to grow.
	BMessage message;
	message.AddString("s", "seed");
	for (int i = 0; i < 64; i++) {
		const char* text;
		ASSERT_EQ(message.FindString("s", i, &text), B_OK);
		std::string expected = std::string(text) + "+";
		ASSERT_EQ(message.AddString("s", (std::string(text) + "+").c_str()), B_OK);
		ASSERT_EQ(message.FindString("s", i, &text), B_OK);
		ASSERT_EQ(message.AddString("copy", text), B_OK);
		const void* data;
		ssize_t size;
		ASSERT_EQ(message.FindData("s", B_STRING_TYPE, i + 1, &data, &size), B_OK);
		ASSERT_EQ(message.ReplaceData("s", B_STRING_TYPE, i + 1, data, size), B_OK);
		ASSERT_STREQ(static_cast<const char*>(data), expected.c_str());
	}
	const char* last;
	ASSERT_EQ(message.FindString("copy", 63, &last), B_OK);
	EXPECT_EQ(std::string(last), "seed" + std::string(63, '+'));

	BMessage nested('nstd');
	nested.AddString("t", "inside");
	BMessage outer;
	outer.AddMessage("m", &nested);
	ASSERT_EQ(outer.FindMessage("m", &outer), B_OK); // into itself
	EXPECT_TRUE(outer.HasSameData(nested));
}

// #pragma mark - field information

TEST(Info, GetInfoByTypeAndIndex)
{
	BMessage message;
	message.AddInt32("a", 1);
	message.AddInt32("a", 2);
	message.AddString("b", "x");
	message.AddInt32("c", 3);
	BMessage nested;
	message.AddMessage("d", &nested);

	struct {
		type_code type;
		int32 index;
		status_t status;
		const char* name;
		type_code typeFound;
		int32 count;
	} const cases[] = {
	        {B_INT32_TYPE, 0, B_OK, "a", B_INT32_TYPE, 2},
	        {B_INT32_TYPE, 1, B_OK, "c", B_INT32_TYPE, 1},
	        {B_INT32_TYPE, 2, B_BAD_INDEX, NULL, 0, 0},
	        {B_STRING_TYPE, 0, B_OK, "b", B_STRING_TYPE, 1},
	        {B_ANY_TYPE, 0, B_OK, "a", B_INT32_TYPE, 2},
	        {B_ANY_TYPE, 3, B_OK, "d", B_MESSAGE_TYPE, 1},
	        {B_ANY_TYPE, 4, B_BAD_INDEX, NULL, 0, 0},
	        {B_ANY_TYPE, -1, B_BAD_INDEX, NULL, 0, 0},
	        {B_FLOAT_TYPE, 0, B_BAD_TYPE, NULL, 0, 0},
	};
	for (const auto& test : cases) {
		char* name = NULL;
		type_code type = 0;
		int32 count = 0;
		SCOPED_TRACE(testing::Message() << test.index);
		ASSERT_EQ(message.GetInfo(test.type, test.index, &name, &type, &count), test.status);
		if (test.status != B_OK)
			continue;
		EXPECT_STREQ(name, test.name);
		EXPECT_EQ(type, test.typeFound);
		EXPECT_EQ(count, test.count);
	}

	EXPECT_EQ(message.CountNames(B_ANY_TYPE), 4);
	EXPECT_EQ(message.CountNames(B_INT32_TYPE), 2);
	EXPECT_EQ(message.CountNames(B_MESSAGE_TYPE), 1);
	EXPECT_EQ(message.CountNames(B_DOUBLE_TYPE), 0);
}

TEST(Info, GetInfoByName)
{
	BMessage message = Sample();
	struct {
		const char* name;
		status_t status;
		type_code type;
		int32 count;
		bool fixedSize;
	} const cases[] = {
	        {"int", B_OK, B_INT32_TYPE, 2, true},    {"str", B_OK, B_STRING_TYPE, 1, false},
	        {"raw", B_OK, B_RAW_TYPE, 1, true},      {"msg", B_OK, B_MESSAGE_TYPE, 1, false},
	        {"none", B_NAME_NOT_FOUND, 0, 0, false}, {NULL, B_BAD_VALUE, 0, 0, false},
	};
	for (const auto& test : cases) {
		SCOPED_TRACE(test.name != NULL ? test.name : "(null)");
		type_code type = 'sent';
		int32 count = -5;
		bool fixedSize = !test.fixedSize;
		ASSERT_EQ(message.GetInfo(test.name, &type, &count), test.status);
		if (test.status != B_OK) {
			EXPECT_EQ(type, type_code('sent'));
			EXPECT_EQ(count, -5);
			continue;
		}
		EXPECT_EQ(type, test.type);
		EXPECT_EQ(count, test.count);
		ASSERT_EQ(message.GetInfo(test.name, &type, &fixedSize), B_OK);
		EXPECT_EQ(fixedSize, test.fixedSize);
	}
}

// #pragma mark - copies

TEST(Copy, CopiesAreIndependentOfTheirOriginal)
{
	const std::function<void(BMessage&)> changes[] = {
	        [](BMessage& m) { m.AddInt32("int", 12); },
	        [](BMessage& m) { m.ReplaceString("str", "changed"); },
	        [](BMessage& m) { m.RemoveName("raw"); },
	        [](BMessage& m) { m.RemoveData("int", 0); },
	        [](BMessage& m) { m.MakeEmpty(); },
	        [](BMessage& m) { m.what = 'chgd'; },
	        [](BMessage& m) {
		        for (int i = 0; i < 100; i++)
			        m.AddString("grow", "make the message leave its inline storage");
	        },
	};
	for (size_t i = 0; i < std::size(changes); i++) {
		SCOPED_TRACE(testing::Message() << "change " << i);
		BMessage original = Sample();
		std::string originalBytes = FlatBytes(original);

		BMessage constructed(original);
		BMessage assigned('othr');
		assigned.AddInt8("other", 1);
		assigned = original;
		changes[i](original);
		EXPECT_EQ(FlatBytes(constructed), originalBytes);
		EXPECT_EQ(FlatBytes(assigned), originalBytes);

		// And the other way round.
		BMessage source = Sample();
		BMessage copy(source);
		changes[i](copy);
		EXPECT_EQ(FlatBytes(source), originalBytes);
	}
}

TEST(Copy, SelfAssignmentAndMakeEmpty)
{
	BMessage message = Sample();
	BMessage& alias = message;
	message = alias;
	EXPECT_TRUE(message.HasSameData(Sample()));

	EXPECT_FALSE(message.IsEmpty());
	EXPECT_EQ(message.MakeEmpty(), B_OK);
	EXPECT_TRUE(message.IsEmpty());
	EXPECT_EQ(message.what, uint32('smpl'));
	EXPECT_EQ(message.FlattenedSize(), BMessage('smpl').FlattenedSize());
	EXPECT_EQ(message.AddInt32("int", 1), B_OK);
}

TEST(Copy, HasSameDataComparesWhatNamesTypesValuesAndOrder)
{
	BMessage base = Sample();
	const std::function<void(BMessage&)> differences[] = {
	        [](BMessage& m) { m.what++; },
	        [](BMessage& m) { m.ReplaceInt32("int", 1, 12); },
	        [](BMessage& m) { m.AddInt32("int", 12); },
	        [](BMessage& m) { m.RemoveName("when"); },
	        [](BMessage& m) {
		        m.RemoveName("int");
		        m.AddInt32("int", 10);
		        m.AddInt32("int", 11);
	        },
	};
	for (size_t i = 0; i < std::size(differences); i++) {
		BMessage other = Sample();
		differences[i](other);
		EXPECT_FALSE(base.HasSameData(other)) << i;
		EXPECT_FALSE(other.HasSameData(base)) << i;
	}
	EXPECT_TRUE(base.HasSameData(Sample()));
}

// #pragma mark - a random run against a model

// What a field should hold: its type, whether its values have one size, and
// the values' bytes.
struct ModelField {
	type_code type;
	bool fixedSize;
	std::vector<std::string> values;
};

void ExpectMatches(const BMessage& message,
                   const std::vector<std::pair<std::string, ModelField>>& model)
{
	ASSERT_EQ(message.CountNames(B_ANY_TYPE), int32(model.size()));
	for (size_t i = 0; i < model.size(); i++) {
		const auto& [name, field] = model[i];
		char* foundName;
		type_code type;
		int32 count;
		ASSERT_EQ(message.GetInfo(B_ANY_TYPE, int32(i), &foundName, &type, &count), B_OK);
		ASSERT_EQ(std::string(foundName), name);
		ASSERT_EQ(type, field.type);
		ASSERT_EQ(count, int32(field.values.size()));
		for (size_t index = 0; index < field.values.size(); index++) {
			const void* data;
			ssize_t size;
			ASSERT_EQ(message.FindData(name.c_str(), field.type, int32(index), &data, &size), B_OK);
			ASSERT_EQ(std::string(static_cast<const char*>(data), size), field.values[index])
			        << name << "[" << index << "]";
		}
	}
}

TEST(RandomRun, AddReplaceAndRemoveAgreeWithAPlainModel)
{
	struct Kind {
		const char* name;
		type_code type;
		bool fixedSize;
		size_t size; // for fixed-size kinds
	};
	const Kind kinds[] = {
	        {"i32", B_INT32_TYPE, true, 4}, {"i8", B_INT8_TYPE, true, 1},
	        {"three", 'TRIO', true, 3},     {"str", B_STRING_TYPE, false, 0},
	        {"blob", B_RAW_TYPE, false, 0}, {"msg", B_MESSAGE_TYPE, false, 0},
	};

	std::mt19937 random(20240601);
	auto pick = [&](size_t count) { return size_t(random() % count); };
	auto makeValue = [&](const Kind& kind) {
		std::string value;
		if (kind.type == B_MESSAGE_TYPE) {
			BMessage nested{uint32(random())};
			for (size_t i = pick(3); i > 0; i--)
				nested.AddInt32("n", int32(random()));
			return FlatBytes(nested);
		}
		size_t size = kind.fixedSize ? kind.size : pick(20);
		for (size_t i = 0; i < size; i++)
			value += char('a' + pick(26));
		if (kind.type == B_STRING_TYPE)
			value += '\0';
		return value;
	};

	std::vector<std::pair<std::string, ModelField>> model;
	BMessage message('rand');
	for (int step = 0; step < 3000; step++) {
		const Kind& kind = kinds[pick(std::size(kinds))];
		auto entry = std::find_if(model.begin(), model.end(),
		                          [&](const auto& field) { return field.first == kind.name; });
		std::string value = makeValue(kind);
		int operation = int(pick(10));
		if (entry == model.end() || operation < 5) {
			ASSERT_EQ(message.AddData(kind.name, kind.type, value.data(), ssize_t(value.size()),
			                          kind.fixedSize),
			          B_OK);
			if (entry == model.end())
				model.push_back({kind.name, {kind.type, kind.fixedSize, {}}});
			entry = std::find_if(model.begin(), model.end(),
			                     [&](const auto& field) { return field.first == kind.name; });
			entry->second.values.push_back(value);
		} else if (operation < 7) {
			size_t index = pick(entry->second.values.size());
			ASSERT_EQ(message.ReplaceData(kind.name, kind.type, int32(index), value.data(),
			                              ssize_t(value.size())),
			          B_OK);
			entry->second.values[index] = value;
		} else if (operation < 9) {
			size_t index = pick(entry->second.values.size());
			ASSERT_EQ(message.RemoveData(kind.name, int32(index)), B_OK);
			entry->second.values.erase(entry->second.values.begin() + ptrdiff_t(index));
			if (entry->second.values.empty())
				model.erase(entry);
		} else {
			ASSERT_EQ(message.RemoveName(kind.name), B_OK);
			model.erase(entry);
		}

		ASSERT_NO_FATAL_FAILURE(ExpectMatches(message, model)) << "step " << step;
		if (step % 50 == 0) {
			BMessage copy(message);
			BMessage unflattened;
			ASSERT_EQ(unflattened.Unflatten(FlatBytes(message).data()), B_OK) << "step " << step;
			ASSERT_NO_FATAL_FAILURE(ExpectMatches(copy, model));
			ASSERT_NO_FATAL_FAILURE(ExpectMatches(unflattened, model));
			ASSERT_EQ(FlatBytes(unflattened), FlatBytes(message));
		}
	}
}

// #pragma mark - printing

TEST(Print, PrintToStreamShowsEveryFieldReadably)
{
	BMessage nested('nstd');
	nested.AddBool("on", true);
	BMessage message('_KYD');
	message.AddInt32("key", 0x3c);
	message.AddString("bytes", "a\"b\n");
	message.AddInt8("byte", -1);
	message.AddInt8("byte", 97);
	message.AddMessage("inner", &nested);
	message.AddData("raw", B_RAW_TYPE, "\x01\xff", 2);
	message.what = '_KYD';

	testing::internal::CaptureStdout();
	message.PrintToStream();
	std::string printed = testing::internal::GetCapturedStdout();
	EXPECT_EQ(printed, "BMessage('_KYD') {\n"
	                   "    key = int32(60 or 0x3c)\n"
	                   "    bytes = string(\"a\\\"b\\x0a\", 5 bytes)\n"
	                   "    byte[0] = int8(-1)\n"
	                   "    byte[1] = int8(97)\n"
	                   "    inner = BMessage('nstd') {\n"
	                   "        on = bool(true)\n"
	                   "    }\n"
	                   "    raw = 'RAWT' 2 bytes: 01 ff\n"
	                   "}\n");

	testing::internal::CaptureStdout();
	BMessage(0x01020304).PrintToStream();
	EXPECT_EQ(testing::internal::GetCapturedStdout(), "BMessage(0x01020304) {\n}\n");
}

} // namespace
