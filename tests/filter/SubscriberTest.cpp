// SubscriberList on its own: the bounded queues, drops and their log lines,
// duplicates and the limit, subscribers that leave, and the end of delivery.
#include "../MadeUpSubscription.h"
#include "ManualClock.h"
#include "ScanCollector.h"

#include <StriaClock.h>
#include <SubscriberList.h>

#include <OS.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <private/LocalSocket.h>

#include <cstring>
#include <dirent.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace filter_test;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {

std::string Code(int number)
{
	return "C39 SCAN" + std::to_string(number);
}

SubscriberList::Limits WithCapacity(size_t capacity)
{
	SubscriberList::Limits limits = SubscriberList::DefaultLimits();
	limits.queueCapacity = capacity;
	return limits;
}

SubscriberList::Limits WithMaxSubscribers(size_t count)
{
	SubscriberList::Limits limits = SubscriberList::DefaultLimits();
	limits.maxSubscribers = count;
	return limits;
}

// The pid of a process that has ended.
pid_t EndedProcess()
{
	pid_t pid = fork();
	if (pid == 0)
		_exit(0);
	waitpid(pid, nullptr, 0);
	return pid;
}

size_t CountThreads()
{
	size_t count = 0;
	if (DIR* tasks = opendir("/proc/self/task")) {
		while (struct dirent* entry = readdir(tasks))
			count += entry->d_name[0] != '.';
		closedir(tasks);
	}
	return count;
}

size_t CountLines(const std::string& text, const std::string& part)
{
	size_t count = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
		count++;
	return count;
}

TEST(SubscriberList, FullQueueDropsScansAndKeepsTheOthersInOrder)
{
	// A looper that holds one message in its queue and stalls on the first
	// it handles: the subscriber's queue of three fills at once.
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	std::vector<std::string> accepted;
	{
		SubscriberList list(StriaClock::System(), WithCapacity(3));
		ASSERT_EQ(list.Add(collector->Subscription()), SubscriberList::kAdded);
		for (int number = 1; number <= 50; number++) {
			if (list.QueueScan(Code(number)) == 0)
				accepted.push_back("CATSCAN " + Code(number));
		}
		EXPECT_GE(accepted.size(), 3u);
		EXPECT_LE(accepted.size(), 3u + 3u) << "queue, one in flight, port, handler";
		EXPECT_EQ(list.CountDropped(), 50 - (int64)accepted.size());

		collector->SetGate(true);
		list.Shutdown(system_time() + 30000000);
		EXPECT_EQ(list.CountDropped(), 50 - (int64)accepted.size());
	}
	accepted.push_back("SHUTDOWN");
	EXPECT_THAT(collector->WaitForNotes(accepted.size()), ElementsAreArray(accepted));
	collector->Stop();
}

TEST(SubscriberList, DroppedScansAreLoggedOncePerRunWithTheirCount)
{
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	testing::internal::CaptureStderr();
	int64 dropped;
	{
		SubscriberList list(StriaClock::System(), WithCapacity(2));
		list.Add(collector->Subscription());
		// Once the looper holds the first scan, its port takes one more and
		// the queue cannot empty before the gate opens.
		list.QueueScan(Code(1));
		EXPECT_TRUE(collector->WaitUntilStalled());
		for (int number = 2; number <= 2000; number++)
			list.QueueScan(Code(number));
		dropped = list.CountDropped();
		// It catches up; the run of drops ends there, and later drops start
		// a run of their own.
		collector->SetGate(true);
		list.Shutdown(system_time() + 30000000);
	}
	std::string log = testing::internal::GetCapturedStderr();
	ASSERT_GT(dropped, 1000);
	EXPECT_EQ(CountLines(log, "scan dropped"), 1u) << log;
	EXPECT_EQ(CountLines(log, "\n"), 2u) << log;
	EXPECT_THAT(log, HasSubstr(std::to_string(dropped - 1) +
	                           " more scans were dropped for subscriber 1\n"));
	collector->Stop();
}

TEST(SubscriberList, DeliveryEndsAtTheDeadlineWhenTheSubscriberTakesNothing)
{
	ManualClock clock(1000);
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	{
		SubscriberList list(&clock);
		list.Add(collector->Subscription());
		// Its looper holds the first scan; the second is handed to its
		// port, which then is full: the rest wait in the list.
		EXPECT_EQ(list.QueueScan(Code(1)), 0u);
		EXPECT_TRUE(collector->WaitUntilStalled());
		for (int number = 2; number <= 5; number++)
			EXPECT_EQ(list.QueueScan(Code(number)), 0u);
		std::thread ending([&] { list.Shutdown(301000); });
		EXPECT_TRUE(clock.WaitForWaiter(301000));
		clock.Set(301000);
		ending.join();
		// The looper took two (one handled, one queued); three were given up.
		EXPECT_EQ(list.CountDropped(), 3);
		EXPECT_EQ(list.QueueScan(Code(6)), 1u) << "no scans after the shutdown";
	}
	EXPECT_THAT(collector->Flush(), ElementsAreArray({"CATSCAN " + Code(1), "CATSCAN " + Code(2)}));
	collector->Stop();
}

TEST(SubscriberList, SubscriberFoundGoneBySendIsRemovedWithoutDrops)
{
	ScanCollector* collector = ScanCollector::Start();
	BMessage subscription = collector->Subscription();
	collector->Stop();

	SubscriberList list(StriaClock::System());
	EXPECT_EQ(list.Add(subscription), SubscriberList::kAdded);
	EXPECT_EQ(list.QueueScan(Code(1)), 0u);
	for (int round = 0; round < 1000 && list.CountSubscribers() != 0; round++)
		snooze(10000);
	EXPECT_EQ(list.CountSubscribers(), 0u);
	list.Shutdown(system_time() + 30000000);
	EXPECT_EQ(list.CountDropped(), 0);
}

TEST(SubscriberList, SubscribersThatLeftAreRemovedAtTheNextCheckWithoutAScan)
{
	ManualClock clock(0);
	ScanCollector* leaving = ScanCollector::Start();
	ScanCollector* staying = ScanCollector::Start();
	SubscriberList list(&clock);
	list.Add(leaving->Subscription());
	list.Add(staying->Subscription());
	// A process that has ended; a looper that does not exist in a process
	// that lives, which only its port can tell.
	list.Add(MadeUpSubscription(EndedProcess(), 7));
	list.Add(MadeUpSubscription(getpid(), 8));
	ASSERT_EQ(list.CountSubscribers(), 4u);
	leaving->Stop();

	// Nothing is looked at before the check is due.
	EXPECT_TRUE(clock.WaitForWaiter(SubscriberList::kCheckInterval));
	EXPECT_EQ(list.CountChecks(), 0);
	EXPECT_EQ(list.CountSubscribers(), 4u);

	clock.Set(SubscriberList::kCheckInterval);
	while (list.CountChecks() == 0)
		std::this_thread::yield();
	EXPECT_LE(list.CountSubscribers(), 2u);
	// The port refuses the made-up looper once asked; a later check, still
	// with no scan, removes it.
	for (int64 check = 1; check < 1000 && list.CountSubscribers() > 1; check++) {
		EXPECT_TRUE(clock.WaitForWaiter(SubscriberList::kCheckInterval * (check + 1)));
		clock.Set(SubscriberList::kCheckInterval * (check + 1));
		while (list.CountChecks() == check)
			std::this_thread::yield();
		snooze(1000);
	}
	EXPECT_EQ(list.CountSubscribers(), 1u);

	list.QueueScan(Code(1));
	// The clock stays: the shutdown ends once everything is delivered.
	list.Shutdown(clock.Now() + 1000000);
	EXPECT_THAT(staying->Flush(), ElementsAre("CATSCAN " + Code(1), "SHUTDOWN"));
	staying->Stop();
}

TEST(SubscriberList, DuplicatesAreNotAddedAndThoseBeyondTheLimitAreRefusedAndTold)
{
	ScanCollector* collectors[4];
	for (ScanCollector*& collector : collectors)
		collector = ScanCollector::Start();
	BMessage withoutMessenger(STRIA_SUBSCRIBE);
	withoutMessenger.AddString(STRIA_MESSENGER_FIELD, "not a messenger");
	const struct {
		int collector; // -1: the subscription without a messenger
		SubscriberList::AddResult result;
	} kSteps[] = {
	        {0, SubscriberList::kAdded},    {0, SubscriberList::kAlreadySubscribed},
	        {1, SubscriberList::kAdded},    {-1, SubscriberList::kNoMessenger},
	        {2, SubscriberList::kRefused},  {2, SubscriberList::kRefused},
	        {3, SubscriberList::kRefused},  {1, SubscriberList::kAlreadySubscribed},
	};

	testing::internal::CaptureStderr();
	{
		SubscriberList list(StriaClock::System(), WithMaxSubscribers(2));
		for (size_t step = 0; step < std::size(kSteps); step++) {
			int which = kSteps[step].collector;
			EXPECT_EQ(list.Add(which < 0 ? withoutMessenger : collectors[which]->Subscription()),
			          kSteps[step].result)
			        << "step " << step;
		}
		EXPECT_EQ(list.CountSubscribers(), 2u);
		EXPECT_EQ(list.CountRefused(), 3);
		list.QueueScan(Code(1));
		// The refused hear of it once per refusal; the others get the scan
		// once.
		EXPECT_THAT(collectors[2]->WaitForNotes(2),
		            ElementsAreArray({"REFUSED " + std::to_string(B_BUSY),
		                              "REFUSED " + std::to_string(B_BUSY)}));
		EXPECT_THAT(collectors[3]->WaitForNotes(1),
		            ElementsAre("REFUSED " + std::to_string(B_BUSY)));
		list.Shutdown(system_time() + 30000000);
	}
	std::string log = testing::internal::GetCapturedStderr();
	EXPECT_EQ(CountLines(log, "subscription refused"), 1u) << log;
	EXPECT_THAT(log, HasSubstr("2 more subscriptions were refused\n"));
	for (int which : {0, 1})
		EXPECT_THAT(collectors[which]->Flush(), ElementsAre("CATSCAN " + Code(1), "SHUTDOWN"));
	for (int which : {2, 3})
		EXPECT_EQ(CountLines(testing::PrintToString(collectors[which]->Flush()), "CATSCAN"), 0u);
	for (ScanCollector* collector : collectors)
		collector->Stop();
}

TEST(SubscriberList, OneTargetIsOneSubscriberWhateverProcessIdOrHandlerItNames)
{
	// The collector's messenger comes back as a program could send it: under
	// made-up process ids at this process's port, or naming the looper's
	// preferred handler; another process's looper under several ids.
	ScanCollector* collector = ScanCollector::Start();
	const BMessage original = collector->Subscription();
	BMessenger messenger;
	ASSERT_EQ(original.FindMessenger(STRIA_MESSENGER_FIELD, &messenger), B_OK);
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	ASSERT_EQ(messenger.Flatten(bytes.data(), ssize_t(bytes.size())), B_OK);
	int32 looper;
	memcpy(&looper, &bytes[8], 4);
	const std::string ownPort(bytes.begin() + 16, bytes.end());
	const std::string otherPort = "/tmp/stria-made-up-port-other";

	const struct {
		const char* name;
		BMessage subscription;
		SubscriberList::AddResult result;
	} steps[] = {
	        {"the collector", original, SubscriberList::kAdded},
	        {"again", original, SubscriberList::kAlreadySubscribed},
	        {"preferred handler", MadeUpSubscription(getpid(), looper, ownPort),
	         SubscriberList::kAlreadySubscribed},
	        {"made-up pid 4242", MadeUpSubscription(4242, looper, ownPort),
	         SubscriberList::kAlreadySubscribed},
	        {"made-up pid 1", MadeUpSubscription(1, looper, ownPort),
	         SubscriberList::kAlreadySubscribed},
	        {"another process", MadeUpSubscription(100, 5, otherPort), SubscriberList::kAdded},
	        {"another process, made-up pid", MadeUpSubscription(200, 5, otherPort),
	         SubscriberList::kAlreadySubscribed},
	        {"another looper there", MadeUpSubscription(100, 6, otherPort), SubscriberList::kAdded},
	};
	{
		SubscriberList list(StriaClock::System());
		for (const auto& step : steps)
			EXPECT_EQ(list.Add(step.subscription), step.result) << step.name;
		EXPECT_EQ(list.CountSubscribers(), 3u);
		list.QueueScan(Code(1));
		list.Shutdown(system_time() + 30000000);
	}
	EXPECT_THAT(collector->Flush(), ElementsAre("CATSCAN " + Code(1), "SHUTDOWN"));
	collector->Stop();
}

TEST(SubscriberList, SubscriberRefusedAfterAFloodIsToldWhileTheFloodsRefusalsWait)
{
	// The flood's loopers sit at a port that takes connections and never
	// answers: a refusal to one of them waits a second for the port's
	// answer, so the queue of refusals (one long here) is full when the last
	// subscriber comes.
	char folder[] = "/tmp/stria-refusals-XXXXXX";
	ASSERT_NE(mkdtemp(folder), nullptr);
	const std::string silentPath = std::string(folder) + "/silent-port";
	BPrivate::LocalSocket silentPort;
	ASSERT_EQ(BPrivate::LocalSocket::Listen(silentPath.c_str(), &silentPort), B_OK);
	ScanCollector* subscribed = ScanCollector::Start();
	ScanCollector* last = ScanCollector::Start();

	testing::internal::CaptureStderr();
	{
		SubscriberList::Limits limits = WithMaxSubscribers(1);
		limits.refusalQueueSize = 1;
		SubscriberList list(StriaClock::System(), limits);
		EXPECT_EQ(list.Add(subscribed->Subscription()), SubscriberList::kAdded);
		for (int32 looper = 1; looper <= 3; looper++) {
			EXPECT_EQ(list.Add(MadeUpSubscription(getpid(), looper, silentPath)),
			          SubscriberList::kRefused);
		}
		EXPECT_EQ(list.Add(last->Subscription()), SubscriberList::kRefused);
		EXPECT_THAT(last->WaitForNotes(1), ElementsAre("REFUSED " + std::to_string(B_BUSY)));
		list.Shutdown(system_time() + 1000000);
	}
	std::string log = testing::internal::GetCapturedStderr();
	EXPECT_THAT(log, HasSubstr("3 more subscriptions were refused\n"));
	subscribed->Stop();
	last->Stop();
	silentPort.Close();
	std::filesystem::remove_all(folder);
}

TEST(SubscriberList, FloodOfMadeUpSubscriptionsCostsNoThreads)
{
	// A first thread may bring helpers of the runtime with it (the thread
	// sanitizer's own): they are there before the count.
	std::thread([] {}).join();
	size_t before = CountThreads();
	// No check for subscribers that have gone comes between the Adds, however
	// slowly they run: the list's clock stands still.
	ManualClock clock(0);
	SubscriberList list(&clock);
	size_t running = CountThreads();
	EXPECT_LE(running - before, (size_t)SubscriberList::kDeliveryThreads);
	for (int32 looper = 1; looper <= 2000; looper++) {
		SubscriberList::AddResult result = list.Add(MadeUpSubscription(getpid(), looper));
		EXPECT_EQ(result, looper <= (int32)SubscriberList::kMaxSubscribers
		                          ? SubscriberList::kAdded
		                          : SubscriberList::kRefused);
		EXPECT_EQ(list.Add(MadeUpSubscription(getpid(), looper)),
		          looper <= (int32)SubscriberList::kMaxSubscribers
		                  ? SubscriberList::kAlreadySubscribed
		                  : SubscriberList::kRefused);
	}
	EXPECT_EQ(list.CountSubscribers(), SubscriberList::kMaxSubscribers);
	EXPECT_EQ(CountThreads(), running);
	// Their ports answer nobody: the first scan finds each gone.
	list.QueueScan(Code(1));
	for (int round = 0; round < 1000 && list.CountSubscribers() != 0; round++)
		snooze(10000);
	EXPECT_EQ(list.CountSubscribers(), 0u);
	EXPECT_EQ(CountThreads(), running);
}

TEST(SubscriberList, SubscriptionWithoutMessengerGetsNothing)
{
	BMessage subscription(STRIA_SUBSCRIBE);
	subscription.AddInt32("other", 1);
	SubscriberList list(StriaClock::System());
	EXPECT_EQ(list.Add(subscription), SubscriberList::kNoMessenger);
	EXPECT_EQ(list.QueueScan("UPA 012000003455"), 0u);
	list.Shutdown(system_time());
	EXPECT_EQ(list.CountDropped(), 0);
	EXPECT_EQ(list.CountSubscribers(), 0u);
}

TEST(SubscriberList, DestroyingWithoutShutdownEndsPromptly)
{
	ScanCollector* collector = ScanCollector::Start(1);
	collector->SetGate(false);
	{
		SubscriberList list(StriaClock::System());
		list.Add(collector->Subscription());
		for (int number = 1; number <= 5; number++)
			list.QueueScan(Code(number));
		EXPECT_TRUE(collector->WaitUntilStalled());
	}
	// What the looper took before it stalled (the first scan, perhaps the
	// second) arrives; nothing after.
	std::vector<std::string> notes = collector->Flush();
	ASSERT_GE(notes.size(), 1u);
	ASSERT_LE(notes.size(), 2u);
	for (size_t i = 0; i < notes.size(); i++)
		EXPECT_EQ(notes[i], "CATSCAN " + Code(i + 1));
	collector->Stop();
}

} // namespace
