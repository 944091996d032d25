// BListView: rows, the single selection and how it follows its rows, keys,
// clicks, scrolling, and drawing only what is visible.
#include "HeadlessEnvironment.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <List.h>
#include <ListView.h>
#include <Message.h>
#include <ScrollView.h>
#include <Window.h>
#include <private/WindowSnapshot.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdio.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

class CountingList : public BListView {
public:
	explicit CountingList(BRect frame) : BListView(frame, "list") {}
	void SelectionChanged() override { changes++; }
	int changes = 0;
};

// A row that counts how often it is drawn.
class DrawnItem : public BStringItem {
public:
	DrawnItem(const char* text, int* draws) : BStringItem(text), fDraws(draws) {}
	void DrawItem(BView* owner, BRect frame, bool complete) override
	{
		(*fDraws)++;
		BStringItem::DrawItem(owner, frame, complete);
	}

private:
	int* fDraws;
};

// A row taller than text rows.
class TallItem : public BStringItem {
public:
	explicit TallItem(const char* text) : BStringItem(text) {}
	void Update(BView* owner, const BFont* font) override
	{
		BStringItem::Update(owner, font);
		SetHeight(Height() * 3);
	}
};

class ListViewTest : public testing::Test {
protected:
	void SetUp() override
	{
		list = new CountingList(BRect(0, 0, 199, 99));
		for (int i = 0; i < 5; i++) {
			items.emplace_back(new BStringItem(std::to_string(i).c_str()));
			list->AddItem(items.back().get());
		}
		list->changes = 0;
	}
	void TearDown() override
	{
		list->MakeEmpty();
		delete list;
	}
	std::string Texts() const
	{
		std::string texts;
		for (int32 i = 0; i < list->CountItems(); i++)
			texts += ((BStringItem*)list->ItemAt(i))->Text();
		return texts;
	}

	CountingList* list;
	std::vector<std::unique_ptr<BStringItem>> items;
};

TEST_F(ListViewTest, InsertionsKeepTheSelectionOnItsRow)
{
	list->Select(2);
	EXPECT_EQ(list->changes, 1);
	BStringItem first("a"), third("b"), end("c");
	EXPECT_TRUE(list->AddItem(&first, 0));
	EXPECT_TRUE(list->AddItem(&third, 2));
	EXPECT_TRUE(list->AddItem(&end));
	EXPECT_FALSE(list->AddItem(&end, 99)) << "past the end";
	EXPECT_FALSE(list->AddItem(NULL, 0));
	EXPECT_EQ(Texts(), "a0b1234c");
	EXPECT_EQ(list->CurrentSelection(), 4);
	EXPECT_EQ(list->ItemAt(4), items[2].get());
	EXPECT_EQ(list->changes, 1) << "moving with its row is no change of the selection";
	list->MakeEmpty();
}

TEST_F(ListViewTest, AddListAppendsInOrderAndTakesNoSelection)
{
	BStringItem x("x"), y("y");
	x.Select();
	BList more;
	more.AddItem(&x);
	more.AddItem(&y);
	EXPECT_TRUE(list->AddList(&more));
	EXPECT_EQ(Texts(), "01234xy");
	EXPECT_EQ(list->CurrentSelection(), -1) << "a single-selection list takes no selected rows";
	EXPECT_EQ(more.CountItems(), 2) << "the list object stays with the caller";
	list->MakeEmpty();
}

struct SelectionStep {
	const char* what;
	int32 select; // -1: DeselectAll, -2: remove row 0, -3: remove the selected row
	int32 expected;
	int expectedChanges;
};

TEST_F(ListViewTest, EveryChangeOfTheSelectionCallsSelectionChangedOnce)
{
	const SelectionStep steps[] = {
	        {"select 3", 3, 3, 1},
	        {"select 3 again", 3, 3, 1},
	        {"select out of range", 7, 3, 1},
	        {"select 1", 1, 1, 2},
	        {"remove a row above", -2, 0, 2},
	        {"remove the selected row", -3, -1, 3},
	        {"deselect an empty selection", -1, -1, 3},
	        {"select 0", 0, 0, 4},
	        {"deselect all", -1, -1, 5},
	};
	for (const SelectionStep& step : steps) {
		SCOPED_TRACE(step.what);
		if (step.select >= 0)
			list->Select(step.select);
		else if (step.select == -1)
			list->DeselectAll();
		else if (step.select == -2)
			list->RemoveItem((int32)0);
		else
			list->RemoveItem(list->CurrentSelection());
		EXPECT_EQ(list->CurrentSelection(), step.expected);
		EXPECT_EQ(list->changes, step.expectedChanges);
		for (int32 i = 0; i < list->CountItems(); i++)
			EXPECT_EQ(list->ItemAt(i)->IsSelected(), i == step.expected) << "row " << i;
	}
	EXPECT_EQ(list->ItemAt(-1), nullptr);
	EXPECT_EQ(list->ItemAt(list->CountItems()), nullptr);
}

struct KeyCase {
	int32 start;
	char key;
	int32 expected;
};

TEST_F(ListViewTest, ArrowAndPageKeysMoveTheSelection)
{
	const KeyCase cases[] = {
	        {-1, B_DOWN_ARROW, 0}, {-1, B_UP_ARROW, 0},  {0, B_DOWN_ARROW, 1}, {2, B_UP_ARROW, 1},
	        {0, B_UP_ARROW, 0},    {4, B_DOWN_ARROW, 4}, {1, B_END, 4},        {3, B_HOME, 0},
	        {0, B_PAGE_DOWN, 4},   {4, B_PAGE_UP, 0},
	};
	for (const KeyCase& c : cases) {
		if (c.start < 0)
			list->DeselectAll();
		else
			list->Select(c.start);
		char bytes[2] = {c.key, 0};
		list->KeyDown(bytes, 1);
		EXPECT_EQ(list->CurrentSelection(), c.expected)
		        << "from " << c.start << " key 0x" << std::hex << (int)c.key;
	}
}

TEST_F(ListViewTest, ClicksSelectTheRowUnderThePointer)
{
	float row = list->ItemAt(0)->Height();
	ASSERT_GT(row, 10) << "a text row is taller than its font is big";
	EXPECT_EQ(list->ItemFrame(3), BRect(0, 3 * row, 199, 4 * row - 1));
	list->MouseDown(BPoint(20, 3 * row + 1));
	EXPECT_EQ(list->CurrentSelection(), 3);
	list->MouseDown(BPoint(20, 2 * row - 1));
	EXPECT_EQ(list->CurrentSelection(), 1);
	list->MouseDown(BPoint(20, 5 * row + 2));
	EXPECT_EQ(list->CurrentSelection(), -1) << "a click below the rows clears the selection";
	EXPECT_EQ(list->changes, 3);
}

TEST(ListViewMultipleTest, ExtendedSelectionsFollowTheirRows)
{
	BListView list(BRect(0, 0, 100, 100), "list", B_MULTIPLE_SELECTION_LIST);
	BStringItem items[5] = {BStringItem("a"), BStringItem("b"), BStringItem("c"), BStringItem("d"),
	                        BStringItem("e")};
	for (BStringItem& item : items)
		list.AddItem(&item);
	list.Select(3);
	list.Select(1, true);
	EXPECT_EQ(list.CurrentSelection(0), 1);
	EXPECT_EQ(list.CurrentSelection(1), 3);
	EXPECT_EQ(list.CurrentSelection(2), -1);

	BStringItem top("top");
	list.AddItem(&top, 0);
	EXPECT_EQ(list.CurrentSelection(0), 2);
	EXPECT_EQ(list.CurrentSelection(1), 4);
	list.Deselect(2);
	EXPECT_EQ(list.CurrentSelection(0), 4);
	list.Select(0);
	EXPECT_EQ(list.CurrentSelection(0), 0) << "without extend the selection is replaced";
	EXPECT_EQ(list.CurrentSelection(1), -1);
	list.MakeEmpty();
}

TEST(ListViewHeightTest, RowsOfMixedHeightsArePlacedBySumming)
{
	BListView list(BRect(0, 0, 100, 100), "list");
	BStringItem a("a"), c("c");
	TallItem b("b");
	list.AddItem(&a);
	list.AddItem(&b);
	list.AddItem(&c);
	float row = a.Height();
	EXPECT_FLOAT_EQ(b.Height(), 3 * row);
	EXPECT_EQ(list.ItemFrame(2).top, 4 * row);
	EXPECT_EQ(list.IndexOf(BPoint(0, 3 * row)), 1);
	EXPECT_EQ(list.IndexOf(BPoint(0, 4 * row)), 2);
	EXPECT_EQ(list.IndexOf(BPoint(0, 5 * row)), -1);
	list.RemoveItem(&b);
	EXPECT_EQ(list.ItemFrame(1).top, row) << "one height again: arithmetic again";
	list.MakeEmpty();
}

class ScrolledListTest : public testing::Test {
protected:
	void SetUp() override
	{
		window = new BWindow(BRect(0, 0, 299, 199), "w", B_TITLED_WINDOW, 0);
		list = new BListView(BRect(0, 0, 285, 199), "list", B_SINGLE_SELECTION_LIST,
		                     B_FOLLOW_ALL_SIDES);
		window->AddChild(new BScrollView("scroll", list, B_FOLLOW_ALL_SIDES, 0, false, true));
		bar = list->ScrollBar(B_VERTICAL);
	}
	void TearDown() override
	{
		list->MakeEmpty();
		for (BStringItem* item : items)
			delete item;
		window->Quit();
	}
	void Fill(int count, int* draws = NULL)
	{
		BList batch;
		for (int i = 0; i < count; i++) {
			std::string text = "row " + std::to_string(i);
			BStringItem* item = draws != NULL ? new DrawnItem(text.c_str(), draws)
			                                  : new BStringItem(text.c_str());
			items.push_back(item);
			batch.AddItem(item);
		}
		list->AddList(&batch);
	}

	BWindow* window;
	BListView* list;
	BScrollBar* bar;
	std::vector<BStringItem*> items;
};

TEST_F(ScrolledListTest, TheScrollBarCoversTheRowsAndScrollsTheList)
{
	ASSERT_NE(bar, nullptr);
	Fill(100);
	float row = list->ItemAt(0)->Height();
	float visible = list->Bounds().Height() + 1;
	float min, max;
	bar->GetRange(&min, &max);
	EXPECT_FLOAT_EQ(min, 0);
	EXPECT_FLOAT_EQ(max, 100 * row - visible);
	EXPECT_NEAR(bar->Proportion(), visible / (100 * row), 1e-5);

	bar->SetValue(10 * row);
	EXPECT_FLOAT_EQ(list->Bounds().top, 10 * row);
	bar->SetValue(1e9);
	EXPECT_FLOAT_EQ(list->Bounds().top, max) << "clamped to the range";

	BMessage wheel(B_MOUSE_WHEEL_CHANGED);
	wheel.AddFloat("be:wheel_delta_y", -1);
	list->MessageReceived(&wheel);
	EXPECT_FLOAT_EQ(list->Bounds().top, max - 3 * row) << "one notch: three rows";
	EXPECT_FLOAT_EQ(bar->Value(), list->Bounds().top);

	list->ScrollTo(0, 0);
	list->Select(99);
	list->ScrollToSelection();
	EXPECT_FLOAT_EQ(list->Bounds().bottom, 100 * row - 1) << "the last row just in view";

	// The bar's own buttons and track: a step per arrow, a page beside the
	// thumb, and the thumb dragged to the end.
	struct BarClick {
		BPoint where;
		float expected;
	};
	bar->SetValue(20 * row);
	BRect bounds = bar->Bounds();
	float page = list->Bounds().Height() + 1 - row;
	const BarClick clicks[] = {
	        {BPoint(5, 3), 19 * row},
	        {BPoint(5, bounds.bottom - 3), 20 * row},
	        {BPoint(5, bar->ThumbFrame().bottom + 3), 20 * row + page},
	        {BPoint(5, bar->ThumbFrame().top - 3), 20 * row},
	};
	for (const BarClick& click : clicks) {
		bar->MouseDown(click.where);
		bar->MouseUp(click.where);
		EXPECT_FLOAT_EQ(bar->Value(), click.expected) << click.where.y;
		EXPECT_FLOAT_EQ(list->Bounds().top, click.expected);
	}
	BRect thumb = bar->ThumbFrame();
	bar->MouseDown(BPoint(5, thumb.top + 2));
	bar->MouseMoved(BPoint(5, bounds.bottom + 500), B_OUTSIDE_VIEW, NULL);
	bar->MouseUp(BPoint(5, bounds.bottom + 500));
	EXPECT_FLOAT_EQ(list->Bounds().top, max) << "dragged past the end: the last rows";

	// Removing rows pulls the scroll position back inside the list.
	while (list->CountItems() > 3)
		list->RemoveItem(list->CountItems() - 1);
	EXPECT_FLOAT_EQ(list->Bounds().top, 0);
	bar->GetRange(&min, &max);
	EXPECT_FLOAT_EQ(max, 0);
}

TEST_F(ScrolledListTest, DrawingTouchesOnlyTheVisibleRows)
{
	int draws = 0;
	Fill(100000, &draws);
	float row = list->ItemAt(0)->Height();
	int visibleRows = (int)((list->Bounds().Height() + 1) / row) + 2;
	std::string path = testing::TempDir() + "list_draw_" + std::to_string(getpid()) + ".png";

	ASSERT_EQ(BPrivate::write_window_png(window, path.c_str()), B_OK);
	EXPECT_GT(draws, 0);
	EXPECT_LE(draws, visibleRows);

	draws = 0;
	bar->SetValue(50000 * row);
	ASSERT_EQ(BPrivate::write_window_png(window, path.c_str()), B_OK);
	EXPECT_GT(draws, 0);
	EXPECT_LE(draws, visibleRows);
	remove(path.c_str());
}

} // namespace
