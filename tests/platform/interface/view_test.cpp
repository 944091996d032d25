// The view tree: resizing modes, frame hooks, coordinates, ownership.
#include "HeadlessEnvironment.h"

#include <View.h>
#include <Window.h>

#include <gtest/gtest.h>

namespace {

class RecordingView : public BView {
public:
	RecordingView(BRect frame, const char* name, uint32 mode, uint32 flags, int* deleted = NULL)
	    : BView(frame, name, mode, flags), fDeleted(deleted)
	{
	}
	~RecordingView() override
	{
		if (fDeleted != NULL)
			(*fDeleted)++;
	}
	void FrameResized(float width, float height) override
	{
		resized++;
		lastWidth = width;
		lastHeight = height;
	}
	void FrameMoved(BPoint) override { moved++; }

	int resized = 0;
	int moved = 0;
	float lastWidth = -1;
	float lastHeight = -1;

private:
	int* fDeleted;
};

struct ModeCase {
	const char* what;
	uint32 mode;
	BRect expected;
};

TEST(ViewTest, ChildrenFollowTheirResizingModes)
{
	// The parent grows by 50 across and 20 down; the child starts at
	// 10, 10, 40, 40.
	const ModeCase cases[] = {
	        {"left top", B_FOLLOW_LEFT | B_FOLLOW_TOP, BRect(10, 10, 40, 40)},
	        {"none", B_FOLLOW_NONE, BRect(10, 10, 40, 40)},
	        {"all sides", B_FOLLOW_ALL_SIDES, BRect(10, 10, 90, 60)},
	        {"right bottom", B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM, BRect(60, 30, 90, 60)},
	        {"left right, top", B_FOLLOW_LEFT_RIGHT | B_FOLLOW_TOP, BRect(10, 10, 90, 40)},
	        {"right, top bottom", B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM, BRect(60, 10, 90, 60)},
	        {"centred", B_FOLLOW_H_CENTER | B_FOLLOW_V_CENTER, BRect(35, 20, 65, 50)},
	};
	EXPECT_EQ(B_FOLLOW_ALL_SIDES, 0x1234u);
	EXPECT_EQ(B_FOLLOW_LEFT | B_FOLLOW_TOP, 0x1212u);
	for (const ModeCase& c : cases) {
		SCOPED_TRACE(c.what);
		BView parent(BRect(0, 0, 100, 100), "parent", B_FOLLOW_NONE, 0);
		RecordingView* child = new RecordingView(BRect(10, 10, 40, 40), "child", c.mode, 0);
		parent.AddChild(child);
		parent.ResizeBy(50, 20);
		EXPECT_EQ(child->Frame(), c.expected);
		EXPECT_EQ(child->Bounds(), c.expected.OffsetToCopy(0, 0));
	}
}

TEST(ViewTest, ResizingReachesGrandchildrenAndFrameEventsOnlyWhenAsked)
{
	BView parent(BRect(0, 0, 100, 100), "parent", B_FOLLOW_NONE, 0);
	RecordingView* child =
	        new RecordingView(BRect(0, 0, 100, 100), "child", B_FOLLOW_ALL_SIDES, B_FRAME_EVENTS);
	RecordingView* quiet = new RecordingView(BRect(0, 0, 10, 10), "quiet", B_FOLLOW_ALL_SIDES, 0);
	RecordingView* grandchild = new RecordingView(BRect(50, 50, 100, 100), "grandchild",
	                                              B_FOLLOW_RIGHT | B_FOLLOW_BOTTOM, B_FRAME_EVENTS);
	parent.AddChild(child);
	parent.AddChild(quiet);
	child->AddChild(grandchild);

	parent.ResizeTo(150, 80);
	EXPECT_EQ(child->Frame(), BRect(0, 0, 150, 80));
	EXPECT_EQ(child->resized, 1);
	EXPECT_FLOAT_EQ(child->lastWidth, 150);
	EXPECT_FLOAT_EQ(child->lastHeight, 80);
	EXPECT_EQ(quiet->resized, 0) << "no B_FRAME_EVENTS, no hook";
	EXPECT_EQ(quiet->Frame(), BRect(0, 0, 60, -10)) << "resized all the same";
	EXPECT_EQ(grandchild->Frame(), BRect(100, 30, 150, 80));
	EXPECT_EQ(grandchild->moved, 1);
	EXPECT_EQ(grandchild->resized, 0) << "it moved; its size stayed";
}

TEST(ViewTest, CoordinatesAcrossScrolledParents)
{
	BWindow* window = new BWindow(BRect(100, 200, 400, 500), "w", B_TITLED_WINDOW, 0);
	BView* parent = new BView(BRect(5, 5, 105, 105), "parent", B_FOLLOW_NONE, 0);
	BView* child = new BView(BRect(10, 20, 30, 40), "child", B_FOLLOW_NONE, 0);
	window->AddChild(parent);
	parent->AddChild(child);
	parent->ScrollTo(0, 7);

	EXPECT_EQ(parent->Bounds(), BRect(0, 7, 100, 107));
	EXPECT_EQ(child->ConvertToWindow(BPoint(0, 0)), BPoint(15, 18));
	EXPECT_EQ(child->ConvertFromWindow(BPoint(15, 18)), BPoint(0, 0));
	EXPECT_EQ(child->ConvertToScreen(BPoint(1, 1)), BPoint(116, 219));
	EXPECT_EQ(child->ConvertToParent(BRect(0, 0, 5, 5)), BRect(10, 20, 15, 25));
	EXPECT_EQ(window->FindView(BPoint(15, 18)), child);
	EXPECT_EQ(window->FindView(BPoint(6, 6)), parent);
	EXPECT_EQ(window->FindView(BPoint(200, 200)), nullptr);
	window->Quit();
}

TEST(ViewTest, TreeOrderParentsAndOwnership)
{
	int deleted = 0;
	BWindow* window = new BWindow(BRect(0, 0, 100, 100), "w", B_TITLED_WINDOW, 0);
	BView* top = new RecordingView(BRect(0, 0, 50, 50), "top", B_FOLLOW_NONE, 0, &deleted);
	BView* first = new RecordingView(BRect(0, 0, 5, 5), "first", B_FOLLOW_NONE, 0, &deleted);
	BView* last = new RecordingView(BRect(0, 0, 5, 5), "last", B_FOLLOW_NONE, 0, &deleted);
	BView* middle = new RecordingView(BRect(0, 0, 5, 5), "middle", B_FOLLOW_NONE, 0, &deleted);
	window->AddChild(top);
	top->AddChild(first);
	top->AddChild(last);
	top->AddChild(middle, last);

	EXPECT_EQ(top->Parent(), nullptr) << "views on the window itself have no parent";
	EXPECT_EQ(top->Window(), window);
	EXPECT_EQ(middle->Parent(), top);
	EXPECT_EQ(middle->Window(), window);
	ASSERT_EQ(top->CountChildren(), 3);
	EXPECT_EQ(top->ChildAt(0), first);
	EXPECT_EQ(top->ChildAt(1), middle);
	EXPECT_EQ(top->ChildAt(2), last);
	EXPECT_EQ(top->ChildAt(3), nullptr);
	EXPECT_EQ(window->FindView("middle"), middle);
	EXPECT_EQ(window->FindView("nothing"), nullptr);

	EXPECT_TRUE(middle->RemoveSelf());
	EXPECT_EQ(middle->Window(), nullptr);
	EXPECT_EQ(middle->Parent(), nullptr);
	EXPECT_EQ(top->ChildAt(1), last);
	delete middle;
	EXPECT_EQ(deleted, 1);

	window->Quit();
	EXPECT_EQ(deleted, 4) << "the window deletes the views still in it";
}

TEST(ViewTest, HiddenViewsAreSkippedByHitTesting)
{
	BWindow* window = new BWindow(BRect(0, 0, 100, 100), "w", B_TITLED_WINDOW, 0);
	BView* below = new BView(BRect(0, 0, 50, 50), "below", B_FOLLOW_NONE, 0);
	BView* above = new BView(BRect(0, 0, 50, 50), "above", B_FOLLOW_NONE, 0);
	window->AddChild(below);
	window->AddChild(above);
	EXPECT_EQ(window->FindView(BPoint(10, 10)), above) << "later siblings lie on top";
	above->Hide();
	EXPECT_TRUE(above->IsHidden());
	EXPECT_EQ(window->FindView(BPoint(10, 10)), below);
	above->Show();
	EXPECT_EQ(window->FindView(BPoint(10, 10)), above);
	window->Quit();
}

} // namespace
