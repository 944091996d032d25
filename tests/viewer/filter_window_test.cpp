// The filter's window step: scans played through CueCatFilter show up in
// the viewer window, which the first scan makes, a scan after it quit makes
// anew, and destroying the filter closes before the subscribers hear of the
// shutdown.
#include "../platform/interface/HeadlessEnvironment.h"

#include "FilterTestSupport.h"
#include "ScanCollector.h"
#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"
#include "StriaWindow.h"
#include "WindowHolder.h"

#include <AppDefs.h>
#include <List.h>
#include <Looper.h>
#include <Messenger.h>
#include <OS.h>
#include <StriaProtocol.h>
#include <String.h>
#include <StringView.h>
#include <private/TestInputServerHost.h>
#include <private/WindowSnapshot.h>

#include <StriaLog.h>
#include <code_text.h>
#include <record_encoder.h>

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace filter_test;

namespace {

std::string Record(int number)
{
	return make_record("C39", "ROW" + std::to_string(number), 0x43);
}

std::string Raw(int number)
{
	return "C39 ROW" + std::to_string(number);
}

// Runs check on the newest window, locked, until it holds or a generous
// bound passes.
bool OnNewestWindow(const std::function<bool(StriaWindow*)>& check)
{
	for (int i = 0; i < 3000; i++) {
		BMessenger newest = BPrivate::newest_live_window();
		if (newest.LockTargetWithTimeout(100000) == B_OK) {
			BLooper* looper = NULL;
			newest.Target(&looper);
			StriaWindow* window = dynamic_cast<StriaWindow*>(looper);
			bool done = window != NULL && check(window);
			looper->Unlock();
			if (done)
				return true;
		}
		snooze(1000);
	}
	return false;
}

std::vector<std::string> Rows(StriaWindow* window)
{
	std::vector<std::string> rows;
	StriaListView* list = window->ListView();
	for (int32 i = 0; i < list->CountItems(); i++)
		rows.push_back(((StriaCode*)list->ItemAt(i))->RawCode()->String());
	return rows;
}

bool WaitForNoWindows()
{
	for (int i = 0; i < 5000 && BPrivate::count_live_windows() > 0; i++)
		snooze(1000);
	return BPrivate::count_live_windows() == 0;
}

// A subscriber that notes, for each message, how many windows were alive
// when it arrived.
class WindowWatcher : public BLooper {
public:
	WindowWatcher() : BLooper("window watcher") {}
	void MessageReceived(BMessage* message) override
	{
		if (message->what == STRIA_SHUTDOWN)
			windowsAtShutdown = BPrivate::count_live_windows();
		if (message->what == STRIA_CATSCAN)
			scans++;
		if (message->what == STRIA_SHUTDOWN || message->what == STRIA_CATSCAN)
			return;
		BLooper::MessageReceived(message);
	}
	std::atomic<int> windowsAtShutdown{-1};
	std::atomic<int> scans{0};
};

class FilterWindowTest : public testing::Test {
protected:
	void TearDown() override { EXPECT_TRUE(WaitForNoWindows()); }

	BPrivate::TestInputServerHost fHost;
};

TEST_F(FilterWindowTest, TheFirstScanMakesTheWindowAndLaterScansGoOnTop)
{
	CueCatFilter filter;
	StreamRunner runner(filter);
	EXPECT_EQ(BPrivate::count_live_windows(), 0) << "no window before the first scan";

	runner.Play(Scan(Record(1), 1000000));
	ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 1; }));
	ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) {
		EXPECT_EQ(window->Frame(), BRect(100, 100, 600, 400));
		EXPECT_FALSE(window->IsHidden()) << "shown by the step that made it";
		EXPECT_STREQ(window->Title(), "Stria");
		return true;
	}));

	runner.Play(Scan(Record(2), 2000000));
	runner.Play(Scan(Record(3), 3000000));
	ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 3; }));
	EXPECT_EQ(BPrivate::count_live_windows(), 1) << "one window for every scan";
	OnNewestWindow([](StriaWindow* window) {
		EXPECT_EQ(Rows(window), (std::vector<std::string>{Raw(3), Raw(2), Raw(1)}));
		EXPECT_EQ(window->ListView()->CurrentSelection(), 0);
		BStringView* shown = dynamic_cast<BStringView*>(window->CodeView()->TabAt(0)->View());
		EXPECT_EQ(std::string(shown->Text()), code_label(Raw(3)));
		return true;
	});
}

TEST_F(FilterWindowTest, AfterTheWindowQuitsTheNextScanMakesANewOneHoldingOnlyIt)
{
	CueCatFilter filter;
	StreamRunner runner(filter);
	runner.Play(Scan(Record(1), 1000000));
	ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 1; }));

	BPrivate::newest_live_window().SendMessage(B_QUIT_REQUESTED);
	ASSERT_TRUE(WaitForNoWindows());

	runner.Play(Scan(Record(2), 2000000));
	ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return !Rows(window).empty(); }));
	OnNewestWindow([](StriaWindow* window) {
		EXPECT_EQ(Rows(window), std::vector<std::string>{Raw(2)});
		return true;
	});
}

TEST_F(FilterWindowTest, DestroyingTheFilterClosesTheWindowBeforeTheShutdownNotice)
{
	WindowWatcher* watcher = new WindowWatcher;
	watcher->Run();
	{
		CueCatFilter filter;
		StreamRunner runner(filter);
		// The stream owns what it plays, as the input server does.
		BMessage* subscription = new BMessage(STRIA_SUBSCRIBE);
		subscription->AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(watcher));
		runner.Play(subscription);
		runner.Play(Scan(Record(1), 1000000));
		ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 1; }));
	}
	EXPECT_EQ(BPrivate::count_live_windows(), 0) << "gone when the destructor returns";
	for (int i = 0; i < 3000 && watcher->windowsAtShutdown < 0; i++)
		snooze(1000);
	EXPECT_EQ(watcher->windowsAtShutdown, 0);
	EXPECT_EQ(watcher->scans, 1);
	if (watcher->Lock())
		watcher->Quit();
}

// A window that does not answer holds back its own rows only: every scan
// reaches the subscriber at once, and the keys keep flowing.
TEST_F(FilterWindowTest, AStuckWindowHoldsBackOnlyItsOwnRows)
{
	const int kScans = 30;
	ScanCollector* collector = ScanCollector::Start();
	{
		CueCatFilter filter;
		StreamRunner runner(filter);
		BMessage* subscription = new BMessage(collector->Subscription());
		runner.Play(subscription);
		runner.Play(Scan(Record(1), 1000000));
		ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 1; }));

		WindowHolder holder(BPrivate::newest_live_window());
		ASSERT_TRUE(holder.WaitUntilHeld());
		for (int number = 2; number <= kScans; number++)
			runner.Play(Scan(Record(number), number * 1000000));
		std::vector<std::string> notes = collector->WaitForNotes(kScans);
		EXPECT_EQ(notes.size(), size_t(kScans)) << "while the window is still held";
		holder.Release();

		ASSERT_TRUE(OnNewestWindow(
		        [](StriaWindow* window) { return Rows(window).size() == size_t(kScans); }));
		OnNewestWindow([](StriaWindow* window) {
			EXPECT_EQ(Rows(window).front(), Raw(kScans));
			EXPECT_EQ(Rows(window).back(), Raw(1));
			return true;
		});
	}
	collector->Stop();
}

// Destroying the filter while its window is held past the close time: the
// window goes once it is let go, and never touches the filter's memory
// (AddressSanitizer watches the freed filter).
TEST_F(FilterWindowTest, AWindowHeldPastTheCloseTimeNeverReachesTheGoneFilter)
{
	CueCatFilter* filter = new CueCatFilter({StriaClock::System(), 200000, {}});
	{
		StreamRunner runner(*filter);
		runner.Play(Scan(Record(1), 1000000));
		ASSERT_TRUE(OnNewestWindow([](StriaWindow* window) { return Rows(window).size() == 1; }));
	}
	WindowHolder holder(BPrivate::newest_live_window());
	ASSERT_TRUE(holder.WaitUntilHeld());
	testing::internal::CaptureStderr();
	delete filter;
	std::string log = testing::internal::GetCapturedStderr();
	EXPECT_NE(log.find("does not respond"), std::string::npos) << log;
	EXPECT_EQ(BPrivate::count_live_windows(), 1) << "still held";

	// The window takes the quit request it was sent, and the person's own
	// close as well, without its owner.
	BPrivate::newest_live_window().SendMessage(B_QUIT_REQUESTED);
	holder.Release();
	EXPECT_TRUE(WaitForNoWindows());
}

// The processor's check, end to end: a scan that is not whole and right
// reaches neither subscriber nor window, and its one log line says why; a
// wrong check digit is sent flagged and shown marked.
TEST_F(FilterWindowTest, OnlyWholeRightScansAreSentAndShownAndEachDroppedOneIsLogged)
{
	const struct {
		std::string record;
		// The code sent and shown; empty for a scan that is dropped.
		std::string code;
		// The subscriber's note, or the log line of a dropped scan.
		std::string noteOrLine;
	} scans[] = {
	        {".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.", "IBN 9780201889543",
	         "CATSCAN IBN 9780201889543"},
	        {".hello.", "",
	         "scan dropped: not a scanner record (it has 1 field between full stops, not 3: "
	         "scanner identifier, symbology, data): .hello."},
	        {make_record("128", std::string("ls\0\nrm -rf x", 12), 0x43), "",
	         "scan dropped: the code holds a zero byte: 128 ls\\x00\\x0arm -rf x"},
	        {make_record("UA5", "01234567890551995", 0x43), "UA5 01234567890551995",
	         "CATSCAN UA5 01234567890551995"},
	        {make_record("UPA", "012345678904", 0x43), "UPA 012345678904",
	         "CATSCAN UPA 012345678904 (check failed)"},
	        {make_record("UPA", "01234567890", 0x43), "",
	         "scan dropped: UPC-A codes have 12 digits, this one 11: UPA 01234567890"},
	        {".C3nZC3nZC3nYCxP2Dxb1CNnY.fHmg.C3DXDNf1CG.", "UPE 04252614", "CATSCAN UPE 04252614"},
	};

	std::mutex logLock;
	std::vector<std::string> dropLines;
	stria::SetLogSink([&](const char* addOn, const std::string& text) {
		std::lock_guard lock(logLock);
		if (text.find("scan dropped") != std::string::npos)
			dropLines.push_back(std::string(addOn) + ": " + text);
	});

	std::vector<std::string> rows;
	std::vector<std::string> notes;
	std::vector<std::string> lines;
	for (const auto& scan : scans) {
		if (scan.code.empty()) {
			lines.push_back("StriaFilter: " + scan.noteOrLine);
			continue;
		}
		rows.insert(rows.begin(), scan.code);
		notes.push_back(scan.noteOrLine);
	}
	notes.push_back("SHUTDOWN");

	ScanCollector* collector = ScanCollector::Start();
	{
		CueCatFilter filter;
		StreamRunner runner(filter);
		runner.Play(new BMessage(collector->Subscription()));
		bigtime_t when = 1000000;
		for (const auto& scan : scans)
			runner.Play(Scan(scan.record, when += 1000000));
		ASSERT_TRUE(OnNewestWindow(
		        [&](StriaWindow* window) { return Rows(window).size() == rows.size(); }));
		OnNewestWindow([&](StriaWindow* window) {
			EXPECT_EQ(Rows(window), rows);
			StriaListView* list = window->ListView();
			EXPECT_EQ(std::string(((StriaCode*)list->ItemAt(1))->Text()),
			          "UPA: '0-12345-67890-4' [UPE equiv: none] [check digit wrong]");
			return true;
		});
	}
	EXPECT_EQ(collector->WaitForNotes(notes.size()), notes);
	collector->Stop();
	stria::SetLogSink({});
	std::lock_guard lock(logLock);
	EXPECT_EQ(dropLines, lines);
}

} // namespace
