// BTabView with BTab and BStringView, and BScrollView's geometry.
#include "HeadlessEnvironment.h"

#include <ListView.h>
#include <ScrollView.h>
#include <StringView.h>
#include <TabView.h>
#include <Window.h>

#include <gtest/gtest.h>

namespace {

class CountedView : public BView {
public:
	CountedView(const char* name, int* deleted)
	    : BView(BRect(0, 0, 10, 10), name, B_FOLLOW_NONE, 0), fDeleted(deleted)
	{
	}
	~CountedView() override { (*fDeleted)++; }

private:
	int* fDeleted;
};

TEST(TabViewTest, TabsShowTheirViewsInTheContainer)
{
	int deleted = 0;
	BWindow* window = new BWindow(BRect(0, 0, 199, 299), "w", B_TITLED_WINDOW, 0);
	BTabView* tabs = new BTabView(BRect(0, 0, 199, 299), "tabs");
	window->AddChild(tabs);
	float tabHeight = tabs->TabHeight();
	EXPECT_GT(tabHeight, 12);
	EXPECT_EQ(tabs->ContainerView()->Frame(), BRect(0, tabHeight, 199, 299));
	EXPECT_EQ(tabs->Selection(), -1);

	CountedView* one = new CountedView("one", &deleted);
	CountedView* two = new CountedView("two", &deleted);
	tabs->AddTab(one);
	BTab* second = new BTab();
	tabs->AddTab(two, second);
	second->SetLabel("Second");
	ASSERT_EQ(tabs->CountTabs(), 2);
	EXPECT_EQ(tabs->Selection(), 0) << "the first tab is the selected one";
	EXPECT_STREQ(tabs->TabAt(0)->Label(), "one") << "labelled after its view by default";
	EXPECT_STREQ(second->Label(), "Second");
	EXPECT_EQ(one->Parent(), tabs->ContainerView());
	EXPECT_EQ(two->Window(), nullptr) << "only the selected tab's view is in the window";

	tabs->Select(1);
	EXPECT_EQ(tabs->Selection(), 1);
	EXPECT_TRUE(second->IsSelected());
	EXPECT_FALSE(tabs->TabAt(0)->IsSelected());
	EXPECT_EQ(one->Window(), nullptr);
	EXPECT_EQ(two->Parent(), tabs->ContainerView());

	BTab* removed = tabs->RemoveTab(1);
	EXPECT_EQ(removed, second);
	EXPECT_EQ(tabs->CountTabs(), 1);
	EXPECT_EQ(tabs->Selection(), 0) << "the remaining tab takes over";
	EXPECT_EQ(two->Window(), nullptr);
	EXPECT_EQ(tabs->RemoveTab(5), nullptr);
	EXPECT_EQ(tabs->TabAt(1), nullptr);
	delete removed;
	EXPECT_EQ(deleted, 1) << "a removed tab goes with its view";

	EXPECT_LT(tabs->TabFrame(0).left, tabs->TabFrame(0).right);
	EXPECT_EQ(tabs->TabFrame(0).bottom, tabHeight - 1);

	tabs->ResizeBy(20, 10);
	EXPECT_EQ(tabs->ContainerView()->Frame(), BRect(0, tabHeight, 219, 309));
	window->Quit();
	EXPECT_EQ(deleted, 2) << "the window deletes the tab view with its tabs";
}

TEST(TabViewTest, TabClicksSelect)
{
	BTabView tabs(BRect(0, 0, 399, 99), "tabs");
	tabs.AddTab(new BView(BRect(0, 0, 5, 5), "a", B_FOLLOW_NONE, 0));
	tabs.AddTab(new BView(BRect(0, 0, 5, 5), "b", B_FOLLOW_NONE, 0));
	BRect second = tabs.TabFrame(1);
	EXPECT_GT(second.left, tabs.TabFrame(0).right);
	tabs.MouseDown(BPoint(second.left + 2, second.top + 2));
	EXPECT_EQ(tabs.Selection(), 1);
	tabs.MouseDown(BPoint(second.left + 2, tabs.TabHeight() + 5));
	EXPECT_EQ(tabs.Selection(), 1) << "a click below the tab row selects nothing";
}

TEST(StringViewTest, KeepsItsOwnCopyOfTheText)
{
	char text[] = "first";
	BStringView view(BRect(0, 0, 50, 10), "s", text);
	text[0] = 'X';
	EXPECT_STREQ(view.Text(), "first");
	view.SetText("second");
	EXPECT_STREQ(view.Text(), "second");
	view.SetText(NULL);
	EXPECT_EQ(view.Text(), nullptr);
}

struct ScrollCase {
	const char* what;
	bool horizontal;
	bool vertical;
	border_style border;
	BRect expected;
};

TEST(ScrollViewTest, FrameDerivesFromTheTarget)
{
	const ScrollCase cases[] = {
	        {"vertical, fancy", false, true, B_FANCY_BORDER, BRect(-2, -2, 302, 302)},
	        {"vertical, plain", false, true, B_PLAIN_BORDER, BRect(-1, -1, 301, 301)},
	        {"both, no border", true, true, B_NO_BORDER, BRect(0, 0, 300, 314)},
	        {"none, fancy", false, false, B_FANCY_BORDER, BRect(-2, -2, 288, 302)},
	};
	for (const ScrollCase& c : cases) {
		SCOPED_TRACE(c.what);
		BWindow* window = new BWindow(BRect(100, 100, 600, 400), "w", B_TITLED_WINDOW, 0);
		BListView* target = new BListView(BRect(0, 0, 286, 300), "target");
		BScrollView* scroll = new BScrollView("scroll", target, B_FOLLOW_ALL_SIDES, 0, c.horizontal,
		                                      c.vertical, c.border);
		window->AddChild(scroll);
		EXPECT_EQ(scroll->Frame(), c.expected);
		EXPECT_EQ(target->Parent(), scroll);
		EXPECT_EQ(target->ConvertToWindow(target->Bounds()), BRect(0, 0, 286, 300))
		        << "the target keeps its place in the window";
		EXPECT_EQ(scroll->ScrollBar(B_VERTICAL) != NULL, c.vertical);
		EXPECT_EQ(scroll->ScrollBar(B_HORIZONTAL) != NULL, c.horizontal);
		if (c.vertical) {
			BScrollBar* bar = scroll->ScrollBar(B_VERTICAL);
			EXPECT_EQ(bar->Target(), target);
			EXPECT_EQ(target->ScrollBar(B_VERTICAL), bar);
			BRect barFrame = bar->ConvertToWindow(bar->Bounds());
			EXPECT_EQ(barFrame.left, 287);
			EXPECT_EQ(barFrame.Width() + 1, B_V_SCROLL_BAR_WIDTH);
			EXPECT_EQ(barFrame.bottom, 300);
		}
		window->Quit();
	}
}

} // namespace
