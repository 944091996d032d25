// The viewer window without a display: its layout for a given frame, the
// code view's one tab, the selection, QuitRequested and the items.
#include "../platform/interface/HeadlessEnvironment.h"

#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <List.h>
#include <ScrollView.h>
#include <String.h>
#include <StringView.h>

#include <code_text.h>

#include <gtest/gtest.h>

#include <string>

namespace {

StriaCode* Code(const char* raw)
{
	return new StriaCode(new BString(raw));
}

std::string Label(const char* raw)
{
	return code_label(raw);
}

class StriaWindowTest : public testing::Test {
protected:
	void SetUp() override
	{
		window = new StriaWindow(BRect(100, 100, 600, 400));
		list = window->ListView();
		codes = window->CodeView();
	}
	void TearDown() override
	{
		if (window != NULL)
			window->Quit();
	}
	// The string view of the code view's tab, or NULL.
	BStringView* Shown() const
	{
		BTab* tab = codes->TabAt(0);
		return tab != NULL ? dynamic_cast<BStringView*>(tab->View()) : NULL;
	}

	StriaWindow* window;
	StriaListView* list;
	StriaCodeView* codes;
};

TEST_F(StriaWindowTest, IsATitledWindowWithoutCloseAndZoomBoxes)
{
	EXPECT_STREQ(window->Title(), "Stria");
	EXPECT_EQ(window->Type(), B_TITLED_WINDOW);
	// Not closable, not zoomable, asynchronous controls, and it avoids the
	// focus: the person keeps typing where they were.
	EXPECT_EQ(window->Flags(), 0x82060u);
	EXPECT_EQ(window->Workspaces(), (uint32)B_CURRENT_WORKSPACE);
	EXPECT_TRUE(window->IsHidden()) << "its creator shows it";
	EXPECT_EQ(window->Frame(), BRect(100, 100, 600, 400));
}

struct LayoutCase {
	BRect frame;
	BRect list;
	BRect code;
};

TEST(StriaWindowLayoutTest, ViewsAreLaidOutForTheFrame)
{
	const LayoutCase cases[] = {
	        {BRect(100, 100, 600, 400), BRect(0, 0, 286, 300), BRect(300, 0, 500, 300)},
	        {BRect(0, 0, 800, 600), BRect(0, 0, 586, 600), BRect(600, 0, 800, 600)},
	        {BRect(50, 60, 350, 160), BRect(0, 0, 86, 100), BRect(100, 0, 300, 100)},
	};
	for (const LayoutCase& c : cases) {
		SCOPED_TRACE(c.frame.Width());
		StriaWindow* window = new StriaWindow(c.frame);
		BView* list = window->FindView("StriaList");
		BView* scroll = window->FindView("cuescroll");
		BView* code = window->FindView("tv");
		ASSERT_NE(list, nullptr);
		ASSERT_NE(scroll, nullptr);
		ASSERT_NE(code, nullptr);
		EXPECT_EQ(list, window->ListView());
		EXPECT_EQ(code, window->CodeView());
		EXPECT_EQ(list->ConvertToWindow(list->Bounds()), c.list);
		EXPECT_EQ(code->Frame(), c.code);
		EXPECT_EQ(list->Parent(), scroll);
		EXPECT_NE(((BScrollView*)scroll)->ScrollBar(B_VERTICAL), nullptr);
		EXPECT_EQ(((BScrollView*)scroll)->ScrollBar(B_HORIZONTAL), nullptr);
		EXPECT_EQ(((BScrollView*)scroll)->Border(), B_FANCY_BORDER);

		EXPECT_EQ(list->ResizingMode(), 0x1234u);
		EXPECT_EQ(list->Flags(), 0x26000000u);
		EXPECT_EQ(window->ListView()->ListType(), B_SINGLE_SELECTION_LIST);
		EXPECT_EQ(scroll->ResizingMode(), 0x1234u);
		EXPECT_EQ(code->ResizingMode(), 0x1234u);
		EXPECT_EQ(code->Flags(), 0xAE000000u);
		EXPECT_EQ(window->CodeView()->TabWidth(), B_WIDTH_AS_USUAL);
		rgb_color grey = code->ViewColor();
		EXPECT_EQ(grey.red, 216);
		EXPECT_EQ(grey.green, 216);
		EXPECT_EQ(grey.blue, 216);
		EXPECT_EQ(grey.alpha, 0);
		window->Quit();
	}
}

TEST_F(StriaWindowTest, ResizingKeepsTheListLeftOfTheCodeView)
{
	window->ResizeBy(100, 50);
	EXPECT_EQ(list->ConvertToWindow(list->Bounds()), BRect(0, 0, 386, 350));
	EXPECT_EQ(codes->Frame(), BRect(300, 0, 600, 350))
	        << "the code view follows all sides: it grows with the window";
}

TEST_F(StriaWindowTest, ANewWindowShowsNoRowsAndNoTab)
{
	EXPECT_EQ(list->CountItems(), 0);
	EXPECT_EQ(list->CurrentSelection(), -1);
	EXPECT_EQ(list->CurrentCode(), nullptr);
	EXPECT_EQ(codes->CountTabs(), 0);
	EXPECT_EQ(codes->ShownCode(), nullptr);
}

TEST_F(StriaWindowTest, EachAddCodeGoesOnTopSelectedAndShownInTheOneTab)
{
	const char* raws[] = {"UPA 012000003455", "E13 9780306406157", "C39 HELLO"};
	for (int n = 0; n < 3; n++) {
		SCOPED_TRACE(raws[n]);
		StriaCode* item = Code(raws[n]);
		ASSERT_EQ(window->AddCode(item), B_OK);
		ASSERT_EQ(list->CountItems(), n + 1);
		EXPECT_EQ(list->ItemAt(0), item);
		EXPECT_EQ(list->CurrentSelection(), 0);
		EXPECT_EQ(list->CurrentSelection(1), -1) << "the only selected row";
		EXPECT_EQ(list->CurrentCode(), item);
		if (n > 0) {
			EXPECT_EQ(((StriaCode*)list->ItemAt(1))->RawCode()->String(),
			          std::string(raws[n - 1]));
		}

		ASSERT_EQ(codes->CountTabs(), 1) << "never more than one tab";
		EXPECT_STREQ(codes->TabAt(0)->Label(), "CRAP!");
		EXPECT_EQ(codes->Selection(), 0);
		BStringView* shown = Shown();
		ASSERT_NE(shown, nullptr);
		EXPECT_STREQ(shown->Name(), "crap");
		EXPECT_EQ(shown->Text(), Label(raws[n]));
		EXPECT_EQ(shown->ResizingMode(), 0x1212u);
		EXPECT_EQ(shown->Flags(), 0x20000000u);
		EXPECT_EQ(shown->Frame(), BRect(5, 5, 195, 295 - codes->TabHeight()));
		EXPECT_EQ(codes->ShownCode(), item);
	}
}

TEST_F(StriaWindowTest, SelectingAnOlderRowShowsItsText)
{
	StriaCode* older = Code("UPA 012000003455");
	StriaCode* newer = Code("C39 NEWER");
	window->AddCode(older);
	window->AddCode(newer);
	list->Select(1);
	ASSERT_EQ(codes->CountTabs(), 1);
	EXPECT_EQ(Shown()->Text(), std::string(older->Text()));
	EXPECT_EQ(codes->ShownCode(), older);

	// A click on the first row does the same by hand.
	list->MouseDown(BPoint(10, list->ItemFrame(0).top + 2));
	EXPECT_EQ(Shown()->Text(), std::string(newer->Text()));
}

TEST_F(StriaWindowTest, AnEmptySelectionShowsNoTab)
{
	window->AddCode(Code("UPA 012000003455"));
	list->DeselectAll();
	EXPECT_EQ(codes->CountTabs(), 0);
	EXPECT_EQ(codes->ShownCode(), nullptr);
	list->Select(0);
	EXPECT_EQ(codes->CountTabs(), 1);
	// Removing the shown row empties the selection too.
	delete list->RemoveItem((int32)0);
	EXPECT_EQ(codes->CountTabs(), 0);
	EXPECT_EQ(codes->ShownCode(), nullptr);
}

TEST_F(StriaWindowTest, AnInitialListIsShownInOrderWithoutSelection)
{
	window->Quit();
	BList initial;
	const char* raws[] = {"C39 ONE", "C39 TWO", "C39 THREE"};
	for (const char* raw : raws)
		initial.AddItem(Code(raw));
	// A row that arrives selected does not make a selection of the window.
	((BListItem*)initial.ItemAt(1))->Select();
	window = new StriaWindow(BRect(100, 100, 600, 400), &initial);
	list = window->ListView();
	codes = window->CodeView();
	ASSERT_EQ(list->CountItems(), 3);
	for (int i = 0; i < 3; i++)
		EXPECT_EQ(list->ItemAt(i), initial.ItemAt(i));
	EXPECT_EQ(list->CurrentSelection(), -1);
	EXPECT_EQ(codes->CountTabs(), 0);
	EXPECT_EQ(initial.CountItems(), 3) << "the list object stays with the caller";
}

TEST_F(StriaWindowTest, QuitRequestedAgreesAndTakesNoMoreScans)
{
	EXPECT_TRUE(window->QuitRequested());
	EXPECT_TRUE(window->IsQuitting());

	// A quitting window takes no scan: it stays with the caller.
	StriaCode* late = Code("C39 LATE");
	EXPECT_EQ(window->AddCode(late), B_NOT_ALLOWED);
	EXPECT_EQ(list->CountItems(), 0);
	delete late;
}

TEST(StriaCodeTest, KeepsItsRawCodeAndShowsItsLabel)
{
	const char* raws[] = {
	        "UPA 012000003455", "IBN 9780201889543", "UPE 01234505", "XYZ odd", "", "C39"};
	for (const char* raw : raws) {
		SCOPED_TRACE(raw);
		BString* code = new BString(raw);
		StriaCode item(code);
		EXPECT_EQ(item.RawCode(), code) << "the very string, not a copy";
		EXPECT_EQ(item.Text(), Label(raw));
		EXPECT_EQ(item.OutlineLevel(), 0u);
		EXPECT_TRUE(item.IsExpanded());
		BString* label = StriaCode::Format(code);
		EXPECT_EQ(std::string(label->String()), Label(raw));
		delete label;
	}
	StriaCode empty(NULL);
	EXPECT_EQ(empty.Text(), Label(""));
}

} // namespace
