// Scans arriving while the window is being closed: none is lost, none goes
// into a window that is quitting, and no lock is taken in the wrong order.
#include "../platform/interface/HeadlessEnvironment.h"

#include "StriaCode.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <AppDefs.h>
#include <Locker.h>
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
		if (window == NULL || window->isQuitting())
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
		StriaWindow* slot = NULL;
		BLocker lock("owner");
		std::atomic<bool> stop(false);
		std::atomic<int> quits(0);

		// Asks whatever window the owner has to quit, as the window manager
		// does when the person closes it.
		std::thread closer([&] {
			unsigned seed = round;
			while (!stop) {
				BMessenger target;
				lock.Lock();
				if (slot != NULL)
					target = BMessenger(NULL, slot);
				lock.Unlock();
				if (target.IsValid() && target.SendMessage(B_QUIT_REQUESTED) == B_OK)
					quits++;
				seed = seed * 1103515245 + 12345;
				snooze((seed >> 16) % 3000);
			}
		});

		unsigned seed = 7 * round + 1;
		for (int i = 0; i < kScans; i++) {
			EXPECT_EQ(StriaWindow::showCode(&slot, &lock,
			                                new WatchedCode("C39 " + std::to_string(i)),
			                                BRect(100, 100, 600, 400)),
			          B_OK);
			seed = seed * 1103515245 + 12345;
			snooze((seed >> 16) % 2000);
		}
		stop = true;
		closer.join();

		EXPECT_EQ(sInserted, kScans) << "every scan went into a window, once";
		EXPECT_EQ(sIntoQuitting, 0);
		StriaWindow::closeWindow(&slot, &lock);
		EXPECT_EQ(slot, nullptr);
		ASSERT_TRUE(WaitForNoWindows());
		EXPECT_EQ(sDestroyed, kScans) << "every window took its rows with it";
		totalQuits += quits;
	}
	EXPECT_GT(totalQuits, kRounds) << "windows were closed under the scans";
}

TEST(StriaWindowThreadsTest, TheNextScanAfterAQuitMakesANewWindowHoldingOnlyIt)
{
	StriaWindow* slot = NULL;
	BLocker lock("owner");
	ASSERT_EQ(StriaWindow::showCode(&slot, &lock, new StriaCode(new BString("C39 A")),
	                                BRect(100, 100, 600, 400)),
	          B_OK);
	StriaWindow* first = slot;
	ASSERT_NE(first, nullptr);
	EXPECT_FALSE(first->IsHidden()) << "shown by the step that made it";
	EXPECT_EQ(first->Frame(), BRect(100, 100, 600, 400));
	ASSERT_EQ(StriaWindow::showCode(&slot, &lock, new StriaCode(new BString("C39 B")),
	                                BRect(100, 100, 600, 400)),
	          B_OK);
	EXPECT_EQ(slot, first) << "the second scan goes to the same window";

	BMessenger(NULL, first).SendMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(WaitForNoWindows());
	EXPECT_EQ(slot, nullptr);

	ASSERT_EQ(StriaWindow::showCode(&slot, &lock, new StriaCode(new BString("C39 C")),
	                                BRect(100, 100, 600, 400)),
	          B_OK);
	ASSERT_NE(slot, nullptr);
	ASSERT_TRUE(slot->Lock());
	EXPECT_EQ(slot->getListView()->CountItems(), 1);
	EXPECT_STREQ(slot->getListView()->CurrentCode()->RawCode()->String(), "C39 C");
	slot->Unlock();
	StriaWindow::closeWindow(&slot, &lock);
	EXPECT_TRUE(WaitForNoWindows());
}

} // namespace
