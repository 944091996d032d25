// BWindow without a display: its thread, message routing to views, resizing,
// the registry of live windows and pictures of windows.
#include "HeadlessEnvironment.h"
#include "PngImage.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <OS.h>
#include <View.h>
#include <Window.h>
#include <private/WindowSnapshot.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <stdio.h>
#include <string>
#include <unistd.h>

namespace {

const uint32 kPointType = 'BPNT';

class InputView : public BView {
public:
	InputView(BRect frame, const char* name, uint32 flags)
	    : BView(frame, name, B_FOLLOW_ALL_SIDES, flags)
	{
	}
	void MouseDown(BPoint where) override
	{
		downs++;
		lastDown = where;
	}
	void MouseUp(BPoint where) override
	{
		ups++;
		lastUp = where;
	}
	void KeyDown(const char* bytes, int32) override { keys += bytes; }

	int downs = 0;
	int ups = 0;
	BPoint lastDown;
	BPoint lastUp;
	std::string keys;
};

class QuitCounter : public BWindow {
public:
	QuitCounter(std::atomic<int>* asked, bool agree, std::atomic<int>* deleted)
	    : BWindow(BRect(10, 10, 110, 60), "counter", B_TITLED_WINDOW, 0), fAsked(asked),
	      fAgree(agree), fDeleted(deleted)
	{
	}
	~QuitCounter() override { (*fDeleted)++; }
	bool QuitRequested() override
	{
		(*fAsked)++;
		return fAgree;
	}

private:
	std::atomic<int>* fAsked;
	bool fAgree;
	std::atomic<int>* fDeleted;
};

// Waits, within a generous bound, until check holds under the window's
// lock.
bool WaitFor(BWindow* window, const std::function<bool()>& check)
{
	for (int i = 0; i < 2000; i++) {
		if (window->Lock()) {
			bool done = check();
			window->Unlock();
			if (done)
				return true;
		}
		snooze(1000);
	}
	return false;
}

BMessage Mouse(uint32 what, float x, float y)
{
	BMessage message(what);
	BPoint where(x, y);
	message.AddData("where", kPointType, &where, sizeof(where));
	message.AddInt32("buttons", what == B_MOUSE_DOWN ? B_PRIMARY_MOUSE_BUTTON : 0);
	return message;
}

TEST(WindowTest, StartsHiddenAndShowStartsItsThread)
{
	BWindow* window = new BWindow(BRect(100, 100, 600, 400), "Title", B_TITLED_WINDOW,
	                              B_NOT_CLOSABLE | B_NOT_ZOOMABLE);
	EXPECT_TRUE(window->IsHidden());
	EXPECT_EQ(window->Frame(), BRect(100, 100, 600, 400));
	EXPECT_EQ(window->Bounds(), BRect(0, 0, 500, 300));
	EXPECT_STREQ(window->Title(), "Title");
	EXPECT_EQ(window->Type(), B_TITLED_WINDOW);
	EXPECT_EQ(window->Flags(), (uint32)(B_NOT_CLOSABLE | B_NOT_ZOOMABLE));

	window->Show();
	EXPECT_FALSE(window->IsHidden());
	EXPECT_GE(window->Thread(), 0);
	EXPECT_NE(window->Thread(), find_thread(NULL));
	EXPECT_FALSE(BPrivate::windows_on_display());
	ASSERT_TRUE(window->Lock());
	window->Quit();
}

TEST(WindowTest, MouseAndKeysReachTheRightViews)
{
	BWindow* window = new BWindow(BRect(0, 0, 199, 99), "w", B_TITLED_WINDOW, 0);
	InputView* left = new InputView(BRect(0, 0, 99, 99), "left", B_NAVIGABLE);
	InputView* right = new InputView(BRect(100, 0, 199, 99), "right", 0);
	window->AddChild(left);
	window->AddChild(right);
	window->Show();

	BMessage down = Mouse(B_MOUSE_DOWN, 150, 20);
	BMessage up = Mouse(B_MOUSE_UP, 20, 30);
	window->PostMessage(&down);
	// The mouse-up goes to the view that took the mouse-down, wherever it is.
	window->PostMessage(&up);
	BMessage key(B_KEY_DOWN);
	key.AddString("bytes", "k");
	window->PostMessage(&key);

	EXPECT_TRUE(WaitFor(window, [&] { return right->ups == 1 && !left->keys.empty(); }));
	ASSERT_TRUE(window->Lock());
	EXPECT_EQ(right->downs, 1);
	EXPECT_EQ(right->lastDown, BPoint(50, 20)) << "in the view's own coordinates";
	EXPECT_EQ(right->lastUp, BPoint(-80, 30));
	EXPECT_EQ(left->downs, 0);
	EXPECT_EQ(left->keys, "k") << "without a focus view, keys go to the first navigable one";

	right->MakeFocus();
	EXPECT_EQ(window->CurrentFocus(), right);
	window->Unlock();
	window->PostMessage(&key);
	EXPECT_TRUE(WaitFor(window, [&] { return right->keys == "k"; }));
	ASSERT_TRUE(window->Lock());
	right->RemoveSelf();
	EXPECT_EQ(window->CurrentFocus(), nullptr) << "a removed view loses the focus";
	delete right;
	window->Quit();
}

TEST(WindowTest, ResizingFollowsTheModesOfTheViews)
{
	BWindow* window = new BWindow(BRect(100, 100, 600, 400), "w", B_TITLED_WINDOW, 0);
	BView* all = new BView(BRect(0, 0, 286, 300), "all", B_FOLLOW_ALL_SIDES, 0);
	BView* right =
	        new BView(BRect(300, 0, 500, 300), "right", B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM, 0);
	window->AddChild(all);
	window->AddChild(right);
	window->ResizeTo(600, 350);
	EXPECT_EQ(window->Frame(), BRect(100, 100, 700, 450));
	EXPECT_EQ(all->Frame(), BRect(0, 0, 386, 350));
	EXPECT_EQ(right->Frame(), BRect(400, 0, 600, 350));
	window->MoveTo(0, 5);
	EXPECT_EQ(window->Frame(), BRect(0, 5, 600, 355));

	// The display reports a new size the same way, as a message.
	window->Show();
	BMessage resized(B_WINDOW_RESIZED);
	resized.AddInt32("width", 500);
	resized.AddInt32("height", 300);
	window->PostMessage(&resized);
	EXPECT_TRUE(WaitFor(window, [&] { return window->Bounds() == BRect(0, 0, 500, 300); }));
	ASSERT_TRUE(window->Lock());
	EXPECT_EQ(all->Frame(), BRect(0, 0, 286, 300));
	EXPECT_EQ(right->Frame(), BRect(300, 0, 500, 300));
	window->Quit();
}

TEST(WindowTest, QuitRequestedDecidesWhetherTheWindowGoes)
{
	for (bool agree : {false, true}) {
		SCOPED_TRACE(agree ? "agrees" : "refuses");
		std::atomic<int> asked(0), deleted(0);
		QuitCounter* window = new QuitCounter(&asked, agree, &deleted);
		window->Show();
		BMessenger messenger(NULL, window);
		EXPECT_EQ(messenger.SendMessage(B_QUIT_REQUESTED), B_OK);
		for (int i = 0; i < 2000 && (asked == 0 || (agree && deleted == 0)); i++)
			snooze(1000);
		EXPECT_EQ(asked, 1);
		EXPECT_EQ(deleted, agree ? 1 : 0);
		EXPECT_EQ(messenger.IsValid(), !agree);
		if (!agree && window->Lock())
			window->Quit();
		EXPECT_EQ(deleted, 1);
	}
}

TEST(WindowRegistryTest, TheNewestLiveWindowCanBeFoundAndDrawn)
{
	std::string path = testing::TempDir() + "registry_" + std::to_string(getpid()) + ".png";
	remove(path.c_str());
	int32 before = BPrivate::count_live_windows();
	EXPECT_EQ(before, 0) << "every other test closed its windows";
	EXPECT_EQ(BPrivate::snapshot_newest_window(path.c_str()), B_NAME_NOT_FOUND);
	EXPECT_EQ(fopen(path.c_str(), "r"), nullptr) << "no window, no file";

	BWindow* older = new BWindow(BRect(0, 0, 9, 9), "older", B_TITLED_WINDOW, 0);
	BWindow* newer = new BWindow(BRect(0, 0, 49, 19), "newer", B_TITLED_WINDOW, 0);
	BView* red = new BView(BRect(10, 5, 19, 14), "red", B_FOLLOW_NONE, 0);
	red->SetViewColor(200, 0, 0);
	newer->AddChild(red);
	newer->Show();
	older->Show();
	EXPECT_EQ(BPrivate::count_live_windows(), 2);
	BLooper* target = NULL;
	BPrivate::newest_live_window().Target(&target);
	EXPECT_EQ(target, newer) << "the newest is the one made last, whatever was shown last";

	ASSERT_EQ(BPrivate::snapshot_newest_window(path.c_str()), B_OK);
	{
		PngImage image(path);
		ASSERT_TRUE(image.IsValid());
		EXPECT_EQ(image.Width(), 50);
		EXPECT_EQ(image.Height(), 20);
		EXPECT_EQ(image.CountColor(10, 5, 19, 14, Rgb(200, 0, 0)), 100) << "10 by 10, both edges";
		EXPECT_EQ(image.Pixel(9, 5), Rgb(216, 216, 216));
		EXPECT_EQ(image.Pixel(20, 14), Rgb(216, 216, 216));
		EXPECT_EQ(image.Pixel(10, 15), Rgb(216, 216, 216));
	}

	ASSERT_TRUE(newer->Lock());
	newer->Quit();
	BPrivate::newest_live_window().Target(&target);
	EXPECT_EQ(target, older);
	ASSERT_TRUE(older->Lock());
	older->Quit();
	EXPECT_EQ(BPrivate::count_live_windows(), 0);
	EXPECT_FALSE(BPrivate::newest_live_window().IsValid());
	remove(path.c_str());
}

} // namespace
