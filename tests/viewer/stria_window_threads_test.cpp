// Scans arriving while the window is being closed: none is lost, none goes
// into a window that is quitting, and no lock is taken in the wrong order.
#include "../platform/interface/HeadlessEnvironment.h"

#include "StriaCode.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <AppDefs.h>
#include <Messenger.h>
#include <OS.h>
#include <String.h>
#include <private/WindowSnapshot.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace {

std::atomic<int> sInserted(0);
std::atomic<int> sIntoQuitting(0);
std::atomic<int> sDestroyed(0);

// A row that notes where it was put: the list calls Update when the row
// joins it, under the window's lock.
class WatchedCode : public StriaCode {
public:
	explicit WatchedCode(const std::string& raw) : StriaCode(new BString(raw.c_str())) {}
	~WatchedCode() override { sDestroyed++; }
	void Update(BView* owner, const BFont* font) override
	{
		StriaCode::Update(owner, font);
		sInserted++;
		StriaWindow* window = dynamic_cast<StriaWindow*>(owner->Window());
		if (window == NULL || window->IsQuitting())
			sIntoQuitting++;
	}
};

bool WaitForNoWindows()
{
	for (int i = 0; i < 5000 && BPrivate::count_live_windows() > 0; i++)
		snooze(1000);
	return BPrivate::count_live_windows() == 0;
}

TEST(StriaWindowThreadsTest, ScansWhileTheWindowIsClosingAllLandInOpenWindows)
{
	const int kRounds = 12;
	const int kScans = 25;
	int totalQuits = 0;
	for (int round = 0; round < kRounds; round++) {
		SCOPED_TRACE(round);
		sInserted = 0;
		sIntoQuitting = 0;
		sDestroyed = 0;
		BMessenger window;
		std::atomic<bool> stop(false);
		std::atomic<int> quits(0);

		// Asks whatever window the owner has to quit, as the window manager
		// does when the person closes it.
		std::thread closer([&] {
			unsigned seed = round;
			while (!stop) {
				BMessenger target = BPrivate::newest_live_window();
				if (target.IsValid() && target.SendMessage(B_QUIT_REQUESTED) == B_OK)
					quits++;
				seed = seed * 1103515245 + 12345;
				snooze((seed >> 16) % 3000);
			}
		});

		unsigned seed = 7 * round + 1;
		for (int i = 0; i < kScans; i++) {
			EXPECT_EQ(StriaWindow::ShowCode(&window, new WatchedCode("C39 " + std::to_string(i)),
			                                BRect(100, 100, 600, 400)),
			          B_OK);
			seed = seed * 1103515245 + 12345;
			snooze((seed >> 16) % 2000);
		}
		stop = true;
		closer.join();

		EXPECT_EQ(sInserted, kScans) << "every scan went into a window, once";
		EXPECT_EQ(sIntoQuitting, 0);
		StriaWindow::CloseWindow(&window);
		EXPECT_FALSE(window.IsValid());
		ASSERT_TRUE(WaitForNoWindows());
		EXPECT_EQ(sDestroyed, kScans) << "every window took its rows with it";
		totalQuits += quits;
	}
	EXPECT_GT(totalQuits, kRounds) << "windows were closed under the scans";
}

// The window never writes into its owner: the owner's messenger turns
// invalid once the window is gone, and the next scan makes a new one.
TEST(StriaWindowThreadsTest, TheNextScanAfterAQuitMakesANewWindowHoldingOnlyIt)
{
	const BRect frame(100, 100, 600, 400);
	BMessenger window;
	ASSERT_EQ(StriaWindow::ShowCode(&window, new StriaCode(new BString("C39 A")), frame), B_OK);
	BMessenger first = window;
	ASSERT_TRUE(first.IsValid());
	{
		ASSERT_TRUE(first.LockTarget());
		BLooper* looper = NULL;
		first.Target(&looper);
		StriaWindow* shown = dynamic_cast<StriaWindow*>(looper);
		ASSERT_NE(shown, nullptr);
		EXPECT_FALSE(shown->IsHidden()) << "shown by the step that made it";
		EXPECT_EQ(shown->Frame(), frame);
		looper->Unlock();
	}
	ASSERT_EQ(StriaWindow::ShowCode(&window, new StriaCode(new BString("C39 B")), frame), B_OK);
	EXPECT_TRUE(window == first) << "the second scan goes to the same window";

	first.SendMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(WaitForNoWindows());
	EXPECT_FALSE(window.IsValid());

	ASSERT_EQ(StriaWindow::ShowCode(&window, new StriaCode(new BString("C39 C")), frame), B_OK);
	ASSERT_TRUE(window.IsValid());
	EXPECT_FALSE(window == first);
	ASSERT_TRUE(window.LockTarget());
	BLooper* looper = NULL;
	window.Target(&looper);
	StriaWindow* shown = dynamic_cast<StriaWindow*>(looper);
	ASSERT_NE(shown, nullptr);
	EXPECT_EQ(shown->ListView()->CountItems(), 1);
	EXPECT_STREQ(shown->ListView()->CurrentCode()->RawCode()->String(), "C39 C");
	looper->Unlock();
	StriaWindow::CloseWindow(&window);
	EXPECT_TRUE(WaitForNoWindows());
}

} // namespace
