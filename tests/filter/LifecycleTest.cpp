// The filter with real subscribers: deliveries, subscriptions that arrive
// while scans are delivered, slow subscribers, and destruction (threads end,
// records already handed off are delivered, then the shutdown notice).
#include "FilterTestSupport.h"
#include "ManualClock.h"
#include "ScanCollector.h"

#include <List.h>
#include <String.h>
#include <private/TestInputServerHost.h>

#include <record_encoder.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <mutex>

using namespace filter_test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::UnorderedElementsAre;

namespace {

// The record of a Code 39 scan "C39 SCAN<number>".
std::string NumberedRecord(int number)
{
	return make_record("C39", "SCAN" + std::to_string(number), 0x43);
}

std::string NumberedNote(int number)
{
	return "CATSCAN C39 SCAN" + std::to_string(number);
}

size_t CountThreads()
{
	size_t count = 0;
	if (DIR* tasks = opendir("/proc/self/task")) {
		while (struct dirent* entry = readdir(tasks)) {
			if (entry->d_name[0] != '.')
				count++;
		}
		closedir(tasks);
	}
	return count;
}

// The count once threads that are ending have gone: the same for a while.
size_t SettledThreadCount()
{
	size_t count = CountThreads();
	for (int same = 0, round = 0; same < 5 && round < 200; round++) {
		snooze(20000);
		size_t now = CountThreads();
		same = now == count ? same + 1 : 0;
		count = now;
	}
	return count;
}

std::string ThreadNames()
{
	std::string names;
	if (DIR* tasks = opendir("/proc/self/task")) {
		while (struct dirent* entry = readdir(tasks)) {
			if (entry->d_name[0] == '.')
				continue;
			std::string path = std::string("/proc/self/task/") + entry->d_name + "/comm";
			if (FILE* comm = fopen(path.c_str(), "r")) {
				char name[64] = "";
				if (fgets(name, sizeof(name), comm) != NULL)
					names += name;
				fclose(comm);
			}
		}
		closedir(tasks);
	}
	return names;
}

class LifecycleTest : public ::testing::Test {
protected:
	static void Subscribe(CueCatFilter& filter, const BMessage& subscription)
	{
		BMessage message(subscription);
		BList outList;
		EXPECT_EQ(filter.Filter(&message, &outList), B_SKIP_MESSAGE);
		EXPECT_TRUE(outList.IsEmpty());
	}

	// Plays scans number first .. first + count - 1, a second apart.
	static void PlayScans(StreamRunner& runner, int first, int count)
	{
		for (int number = first; number < first + count; number++)
			runner.Play(Scan(NumberedRecord(number), (bigtime_t)number * 1000000));
	}

	static std::vector<std::string> Notes(int first, int count, bool shutdown = true)
	{
		std::vector<std::string> notes;
		for (int number = first; number < first + count; number++)
			notes.push_back(NumberedNote(number));
		if (shutdown)
			notes.push_back("SHUTDOWN");
		return notes;
	}

	// A host without the device: nothing leaves the test process.
	BPrivate::TestInputServerHost fHost;
};

TEST_F(LifecycleTest, EverySubscriberGetsEveryScanInOrderThenTheShutdown)
{
	ScanCollector* first = ScanCollector::Start();
	ScanCollector* second = ScanCollector::Start();
	{
		CueCatFilter filter;
		Subscribe(filter, first->Subscription());
		Subscribe(filter, second->Subscription());
		StreamRunner runner(filter);
		// Destroyed right after the last scan: records still on their way
		// are processed and delivered before the shutdown notice.
		PlayScans(runner, 1, 25);
	}
	EXPECT_THAT(first->WaitForNotes(26), ElementsAreArray(Notes(1, 25)));
	EXPECT_THAT(second->WaitForNotes(26), ElementsAreArray(Notes(1, 25)));
	first->Stop();
	second->Stop();
}

TEST_F(LifecycleTest, SubscribingTwiceGivesOneDelivery)
{
	ScanCollector* collector = ScanCollector::Start();
	{
		CueCatFilter filter;
		Subscribe(filter, collector->Subscription());
		Subscribe(filter, collector->Subscription());
		StreamRunner runner(filter);
		PlayScans(runner, 7, 1);
	}
	EXPECT_THAT(collector->WaitForNotes(2), ElementsAre(NumberedNote(7), "SHUTDOWN"));
	EXPECT_THAT(collector->Flush(), ElementsAre(NumberedNote(7), "SHUTDOWN"));
	collector->Stop();
}

TEST_F(LifecycleTest, SubscriptionsWithoutAValidMessengerAreSkipped)
{
	ScanCollector* gone = ScanCollector::Start();
	BMessage goneSubscription = gone->Subscription();
	gone->Stop();
	ScanCollector* valid = ScanCollector::Start();

	BMessage withoutMessenger(STRIA_SUBSCRIBE);
	BMessage wrongType(STRIA_SUBSCRIBE);
	wrongType.AddString(STRIA_MESSENGER_FIELD, "not a messenger");
	{
		CueCatFilter filter;
		Subscribe(filter, goneSubscription);
		Subscribe(filter, withoutMessenger);
		Subscribe(filter, wrongType);
		Subscribe(filter, valid->Subscription());
		StreamRunner runner(filter);
		PlayScans(runner, 1, 3);
	}
	EXPECT_THAT(valid->WaitForNotes(4), ElementsAreArray(Notes(1, 3)));
	valid->Stop();
}

TEST_F(LifecycleTest, DestroyingBeforeAnyF10TellsSubscribersGoodbyeOnly)
{
	for (int round = 0; round < 10; round++) {
		ScanCollector* collector = ScanCollector::Start();
		{
			CueCatFilter filter;
			if (round % 2 == 0)
				Subscribe(filter, collector->Subscription());
		}
		std::vector<std::string> expected;
		if (round % 2 == 0)
			expected.push_back("SHUTDOWN");
		EXPECT_THAT(collector->WaitForNotes(expected.size()), ElementsAreArray(expected));
		collector->Stop();
	}
}

TEST_F(LifecycleTest, NoThreadOutlivesTheFilter)
{
	ScanCollector* collector = ScanCollector::Start();
	{
		// Kits start threads of their own for the whole process on first
		// use (the message port that a messenger put into a message
		// publishes, the viewer's window system); those are no filter's.
		CueCatFilter warmUp;
		Subscribe(warmUp, collector->Subscription());
		StreamRunner runner(warmUp);
		PlayScans(runner, 1, 1);
	}
	size_t before = SettledThreadCount();
	{
		// A timer whose clock never reaches the F10's deadline: the
		// destructor must not wait for it.
		ManualClock clock;
		CueCatFilter filter({&clock, CueCatFilter::WINDOW_CLOSE_TIME, {}});
		Subscribe(filter, collector->Subscription());
		Subscribe(filter, BMessage(STRIA_SUBSCRIBE));
		StreamRunner runner(filter);
		PlayScans(runner, 1, 2);
		runner.Play(Down(kF10, 0x10, 9000000));
		EXPECT_GT(CountThreads(), before);
	}
	EXPECT_EQ(SettledThreadCount(), before) << ThreadNames();
	EXPECT_THAT(collector->WaitForNotes(5),
	            ElementsAre(NumberedNote(1), "SHUTDOWN", NumberedNote(1), NumberedNote(2),
	                        "SHUTDOWN"));
	collector->Stop();
}

TEST_F(LifecycleTest, SubscriptionsArrivingDuringDeliveriesAreNeitherLostNorHarmful)
{
	const int kRounds = 30;
	std::vector<ScanCollector*> collectors;
	{
		CueCatFilter filter;
		StreamRunner runner(filter);
		for (int round = 0; round < kRounds; round++) {
			PlayScans(runner, round, 1);
			collectors.push_back(ScanCollector::Start());
			Subscribe(filter, collectors.back()->Subscription());
		}
	}
	for (int round = 0; round < kRounds; round++) {
		// Every scan handed off after the subscription reaches it, in order.
		// Scans handed off before may too, while the processor still had
		// them: the notes are a run of scans that ends with the last one.
		std::vector<std::string> notes = collectors[round]->Flush();
		ASSERT_GE(notes.size(), size_t(kRounds - round)) << "subscriber " << round;
		int first = kRounds - int(notes.size() - 1);
		EXPECT_THAT(notes, ElementsAreArray(Notes(first, kRounds - first)))
		        << "subscriber " << round;
		collectors[round]->Stop();
	}
}

TEST_F(LifecycleTest, StalledSubscriberHoldsBackNobody)
{
	ScanCollector* stalled = ScanCollector::Start(2);
	ScanCollector* lively = ScanCollector::Start();
	stalled->SetGate(false);
	{
		CueCatFilter filter;
		Subscribe(filter, stalled->Subscription());
		Subscribe(filter, lively->Subscription());
		StreamRunner runner(filter);
		PlayScans(runner, 1, 40);
		EXPECT_THAT(lively->WaitForNotes(40), ElementsAreArray(Notes(1, 40, false)));
		EXPECT_TRUE(stalled->WaitUntilStalled());
		// It catches up once it reads again.
		stalled->SetGate(true);
	}
	EXPECT_THAT(stalled->WaitForNotes(41), ElementsAreArray(Notes(1, 40)));
	EXPECT_THAT(lively->WaitForNotes(41), ElementsAreArray(Notes(1, 40)));
	stalled->Stop();
	lively->Stop();
}

TEST_F(LifecycleTest, StalledSubscriberDoesNotKeepTheFilterFromEnding)
{
	ScanCollector* stalled = ScanCollector::Start(1);
	stalled->SetGate(false);
	{
		CueCatFilter filter;
		Subscribe(filter, stalled->Subscription());
		StreamRunner runner(filter);
		PlayScans(runner, 1, 5);
		EXPECT_TRUE(stalled->WaitUntilStalled());
	}
	// What the looper had taken before it stalled arrives; the rest and the
	// shutdown notice were given up.
	EXPECT_THAT(stalled->Flush(), ElementsAre(NumberedNote(1), NumberedNote(2)));
	stalled->Stop();
}

// A processor that stops inside each code until the test opens the gate,
// like one that fell behind.
class Gate {
public:
	void Pass(const std::string& code)
	{
		std::unique_lock lock(fLock);
		fHeld = true;
		fChanged.notify_all();
		fChanged.wait(lock, [this] { return fOpen; });
		fCodes.push_back(code);
	}

	bool WaitUntilHeld()
	{
		std::unique_lock lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(20), [this] { return fHeld; });
	}

	void Open()
	{
		std::lock_guard lock(fLock);
		fOpen = true;
		fChanged.notify_all();
	}

	std::vector<std::string> Codes()
	{
		std::lock_guard lock(fLock);
		return fCodes;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	bool fHeld = false;
	bool fOpen = false;
	std::vector<std::string> fCodes;
};

// The input thread never waits for the processor: records wait in a queue
// of their own, and one too many is dropped with a line that says so (once
// for a run of drops).
TEST_F(LifecycleTest, KeysKeepFlowingWhileTheProcessorIsBehind)
{
	ManualClock clock;
	auto gate = std::make_shared<Gate>();
	CueCatFilter filter({&clock, CueCatFilter::WINDOW_CLOSE_TIME,
	                     [gate](const ScanCode& scan) { gate->Pass(scan.code); }});
	StreamRunner runner(filter);
	PlayScans(runner, 1, 1);
	ASSERT_TRUE(gate->WaitUntilHeld());

	const int kQueued = CueCatFilter::RECORD_QUEUE_SIZE;
	testing::internal::CaptureStderr();
	PlayScans(runner, 2, kQueued + 3);
	std::string log = testing::internal::GetCapturedStderr();
	size_t dropped = 0;
	for (size_t at = log.find("scan dropped"); at != std::string::npos;
	     at = log.find("scan dropped", at + 1))
		dropped++;
	EXPECT_EQ(dropped, 1u) << log;
	EXPECT_NE(log.find("more drops are counted"), std::string::npos) << log;

	std::vector<std::string> expected;
	for (int number = 1; number <= kQueued + 1; number++)
		expected.push_back(NumberedNote(number).substr(strlen("CATSCAN ")));
	gate->Open();
	filter.StopThreads();
	EXPECT_EQ(gate->Codes(), expected);
}

} // namespace
