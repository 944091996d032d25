// BList: positions, growth, removal, reordering.

#include <List.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

// Items are addresses into this array, so a list reads back as indexes.
int sItems[64];

void* Item(int i)
{
	return &sItems[i];
}

std::vector<int> Contents(const BList& list)
{
	std::vector<int> indexes;
	for (int32 i = 0; i < list.CountItems(); i++)
		indexes.push_back(int(static_cast<int*>(list.ItemAt(i)) - sItems));
	return indexes;
}

BList ListOf(std::initializer_list<int> indexes, int32 blockSize = 20)
{
	BList list(blockSize);
	for (int i : indexes)
		list.AddItem(Item(i));
	return list;
}

using Edit = std::function<bool(BList&)>;

TEST(ListTest, Editing)
{
	const struct {
		const char* what;
		std::initializer_list<int> start;
		Edit edit;
		bool result;
		std::vector<int> expected;
	} cases[] = {
	        {"add at end", {1, 2}, [](BList& l) { return l.AddItem(Item(3)); }, true, {1, 2, 3}},
	        {"add at front",
	         {1, 2},
	         [](BList& l) { return l.AddItem(Item(0), 0); },
	         true,
	         {0, 1, 2}},
	        {"add in middle",
	         {1, 3},
	         [](BList& l) { return l.AddItem(Item(2), 1); },
	         true,
	         {1, 2, 3}},
	        {"add at count", {1}, [](BList& l) { return l.AddItem(Item(2), 1); }, true, {1, 2}},
	        {"add past count", {1}, [](BList& l) { return l.AddItem(Item(2), 2); }, false, {1}},
	        {"add at negative", {1}, [](BList& l) { return l.AddItem(Item(2), -1); }, false, {1}},
	        {"remove by index",
	         {1, 2, 3},
	         [](BList& l) { return l.RemoveItem(1) == Item(2); },
	         true,
	         {1, 3}},
	        {"remove bad index", {1}, [](BList& l) { return l.RemoveItem(1) == NULL; }, true, {1}},
	        {"remove by pointer",
	         {1, 2, 1},
	         [](BList& l) { return l.RemoveItem(Item(1)); },
	         true,
	         {2, 1}},
	        {"remove missing pointer",
	         {1},
	         [](BList& l) { return l.RemoveItem(Item(5)); },
	         false,
	         {1}},
	        {"remove range",
	         {1, 2, 3, 4},
	         [](BList& l) { return l.RemoveItems(1, 2); },
	         true,
	         {1, 4}},
	        {"remove range past end",
	         {1, 2, 3},
	         [](BList& l) { return l.RemoveItems(1, 9); },
	         true,
	         {1}},
	        {"replace", {1, 2}, [](BList& l) { return l.ReplaceItem(1, Item(7)); }, true, {1, 7}},
	        {"replace out of range",
	         {1},
	         [](BList& l) { return l.ReplaceItem(1, Item(7)); },
	         false,
	         {1}},
	        {"swap", {1, 2, 3}, [](BList& l) { return l.SwapItems(0, 2); }, true, {3, 2, 1}},
	        {"move forward",
	         {1, 2, 3, 4},
	         [](BList& l) { return l.MoveItem(0, 2); },
	         true,
	         {2, 3, 1, 4}},
	        {"move back",
	         {1, 2, 3, 4},
	         [](BList& l) { return l.MoveItem(3, 1); },
	         true,
	         {1, 4, 2, 3}},
	        {"add list",
	         {1},
	         [](BList& l) {
		         BList o = ListOf({2, 3});
		         return l.AddList(&o);
	         },
	         true,
	         {1, 2, 3}},
	        {"add list at index",
	         {1, 4},
	         [](BList& l) {
		         BList o = ListOf({2, 3});
		         return l.AddList(&o, 1);
	         },
	         true,
	         {1, 2, 3, 4}},
	        {"add list to itself",
	         {1, 2},
	         [](BList& l) { return l.AddList(&l, 1); },
	         true,
	         {1, 1, 2, 2}},
	        {"sort",
	         {3, 1, 2},
	         [](BList& l) {
		         l.SortItems([](const void* a, const void* b) {
			         int* x = *static_cast<int* const*>(a);
			         int* y = *static_cast<int* const*>(b);
			         return x < y ? -1 : x > y;
		         });
		         return true;
	         },
	         true,
	         {1, 2, 3}},
	        {"make empty",
	         {1, 2},
	         [](BList& l) {
		         l.MakeEmpty();
		         return true;
	         },
	         true,
	         {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.what);
		BList list = ListOf(c.start);
		EXPECT_EQ(c.edit(list), c.result);
		EXPECT_EQ(Contents(list), c.expected);
	}
}

TEST(ListTest, Queries)
{
	BList list = ListOf({5, 6, 7});
	EXPECT_EQ(list.CountItems(), 3);
	EXPECT_EQ(list.FirstItem(), Item(5));
	EXPECT_EQ(list.LastItem(), Item(7));
	EXPECT_EQ(list.IndexOf(Item(6)), 1);
	EXPECT_EQ(list.IndexOf(Item(9)), -1);
	EXPECT_TRUE(list.HasItem(Item(7)));
	EXPECT_FALSE(list.HasItem(Item(4)));
	for (int32 index : {-1, 3, 100})
		EXPECT_EQ(list.ItemAt(index), nullptr) << index;
	EXPECT_EQ(static_cast<void**>(list.Items())[2], Item(7));

	BList withNull;
	EXPECT_TRUE(withNull.AddItem(NULL));
	EXPECT_EQ(withNull.CountItems(), 1);

	BList empty;
	EXPECT_TRUE(empty.IsEmpty());
	EXPECT_EQ(empty.FirstItem(), nullptr);
	EXPECT_EQ(empty.LastItem(), nullptr);
}

TEST(ListTest, GrowsAndShrinksAcrossBlocksKeepingOrder)
{
	for (int32 blockSize : {1, 3, 20, 0, -4}) {
		SCOPED_TRACE(blockSize);
		BList list(blockSize);
		for (int round = 0; round < 3; round++) {
			for (int i = 0; i < 64; i++)
				ASSERT_TRUE(list.AddItem(Item(i)));
			ASSERT_EQ(list.CountItems(), 64);
			for (int i = 0; i < 64; i++)
				ASSERT_EQ(list.ItemAt(i), Item(i));
			// Remove the even ones from the back.
			for (int i = 62; i >= 0; i -= 2)
				ASSERT_EQ(list.RemoveItem(i), Item(i));
			ASSERT_EQ(list.CountItems(), 32);
			for (int i = 0; i < 32; i++)
				ASSERT_EQ(list.ItemAt(i), Item(2 * i + 1));
			list.MakeEmpty();
		}
	}
}

TEST(ListTest, CopiesAreIndependentAndCompareByItems)
{
	BList original = ListOf({1, 2});
	BList copy(original);
	EXPECT_TRUE(copy == original);
	copy.AddItem(Item(3));
	EXPECT_TRUE(copy != original);
	EXPECT_EQ(Contents(original), (std::vector<int>{1, 2}));

	BList assigned = ListOf({9});
	assigned = copy;
	EXPECT_EQ(Contents(assigned), (std::vector<int>{1, 2, 3}));
}

TEST(ListTest, DoForEachStopsWhenAsked)
{
	BList list = ListOf({1, 2, 3, 4});
	std::vector<int> visited;
	list.DoForEach(
	        [](void* item, void* data) {
		        auto* seen = static_cast<std::vector<int>*>(data);
		        seen->push_back(int(static_cast<int*>(item) - sItems));
		        return seen->size() == 2;
	        },
	        &visited);
	EXPECT_EQ(visited, (std::vector<int>{1, 2}));
}

} // namespace
