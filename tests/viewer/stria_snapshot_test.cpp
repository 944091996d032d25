// Pictures of the viewer window: what a person would see, checked by
// regions and colours rather than pixel by pixel, so that other font
// versions still pass.
#include "../platform/interface/HeadlessEnvironment.h"
#include "../platform/interface/PngImage.h"

#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <InterfaceDefs.h>
#include <String.h>
#include <private/WindowSnapshot.h>

#include <gtest/gtest.h>

#include <memory>
#include <stdio.h>
#include <string>
#include <unistd.h>

namespace {

const uint32_t kSelected = Rgb(51, 102, 187);
const uint32_t kWhite = Rgb(255, 255, 255);
const uint32_t kPanel = Rgb(216, 216, 216);

class StriaSnapshotTest : public testing::Test {
protected:
	void SetUp() override
	{
		window = new StriaWindow(BRect(100, 100, 600, 400));
	}
	void TearDown() override
	{
		window->Quit();
		remove(path.c_str());
	}
	std::unique_ptr<PngImage> Snapshot()
	{
		EXPECT_EQ(BPrivate::write_window_png(window, path.c_str()), B_OK);
		return std::make_unique<PngImage>(path);
	}
	// Row index's rectangle in the window, left of the scroll bar.
	BRect Row(int32 index) const
	{
		BListView* list = window->ListView();
		BRect frame = list->ConvertToWindow(list->ItemFrame(index));
		frame.right = 280;
		return frame;
	}
	BRect Tab() const
	{
		StriaCodeView* codes = window->CodeView();
		return codes->ConvertToWindow(codes->TabFrame(0));
	}
	BRect TabText() const
	{
		StriaCodeView* codes = window->CodeView();
		BView* text = codes->TabAt(0)->View();
		return text->ConvertToWindow(text->Bounds());
	}

	StriaWindow* window;
	std::string path = testing::TempDir() + "stria_window_" + std::to_string(getpid()) + ".png";
};

int Area(BRect rect)
{
	return (rect.IntegerWidth() + 1) * (rect.IntegerHeight() + 1);
}

TEST_F(StriaSnapshotTest, AnEmptyWindowShowsAWhiteListAndAGreyCodeViewWithoutTab)
{
	std::unique_ptr<PngImage> image = Snapshot();
	ASSERT_TRUE(image->IsValid());
	EXPECT_EQ(image->Width(), 501) << "the frame 100..600 holds 501 pixels";
	EXPECT_EQ(image->Height(), 301);
	EXPECT_EQ(image->CountColor(0, 0, 280, 300, kWhite), 281 * 301);
	EXPECT_GT(image->CountColor(305, 40, 495, 295, kPanel), 180 * 240);
	EXPECT_EQ(image->CountDark(305, 0, 495, 40), 0) << "no tab, no label";
}

TEST_F(StriaSnapshotTest, TheSelectedRowIsHighlightedAndEveryRowHasItsText)
{
	window->AddCode(new StriaCode(new BString("UPA 012000003455")));
	window->AddCode(new StriaCode(new BString("C39 STRIA")));
	std::unique_ptr<PngImage> image = Snapshot();
	ASSERT_TRUE(image->IsValid());

	BRect first = Row(0);
	BRect second = Row(1);
	BRect empty = Row(2);
	int highlighted =
	        image->CountColor(first.left, first.top, first.right, first.bottom, kSelected);
	EXPECT_GT(highlighted, Area(first) * 3 / 4) << "the selected row is filled";
	EXPECT_GT(image->CountLight(first.left, first.top, first.right, first.bottom), 20)
	        << "with light text on it";
	EXPECT_EQ(image->CountColor(second.left, second.top, second.right, second.bottom, kSelected),
	          0);
	EXPECT_GT(image->CountDark(second.left, second.top, second.right, second.bottom), 40)
	        << "the older row's text";
	EXPECT_EQ(image->CountDark(empty.left, empty.top, empty.right, empty.bottom), 0);

	BRect tab = Tab();
	EXPECT_GT(image->CountDark(tab.left, tab.top, tab.right, tab.bottom), 20) << "CRAP!";
	BRect text = TabText();
	EXPECT_GT(image->CountDark(text.left, text.top, text.right, text.bottom), 40);
	EXPECT_GT(image->CountColor(305, 250, 495, 295, kPanel), 150 * 40);
}

TEST_F(StriaSnapshotTest, SelectingAnotherRowMovesTheHighlightAndChangesTheTabText)
{
	window->AddCode(new StriaCode(new BString("UPA 012000003455")));
	window->AddCode(new StriaCode(new BString("C39 S")));
	std::unique_ptr<PngImage> before = Snapshot();
	BRect text = TabText();
	int textBefore = before->CountDark(text.left, text.top, text.right, text.bottom);

	window->ListView()->Select(1);
	std::unique_ptr<PngImage> after = Snapshot();
	BRect first = Row(0);
	BRect second = Row(1);
	EXPECT_EQ(after->CountColor(first.left, first.top, first.right, first.bottom, kSelected), 0);
	EXPECT_GT(after->CountColor(second.left, second.top, second.right, second.bottom, kSelected),
	          Area(second) * 3 / 4);
	// The UPC-A label is much longer than "Code 39: S" and draws more ink.
	int textAfter = after->CountDark(text.left, text.top, text.right, text.bottom);
	EXPECT_GT(textAfter, textBefore + 40);
}

} // namespace
