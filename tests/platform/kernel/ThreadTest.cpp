// Threads: suspended start, joining, ids, names, exit_thread.

#include "BoundedWait.h"

#include <OS.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <pthread.h>
#include <set>
#include <string>
#include <thread>

using stria::test::StateOf;
using stria::test::WaitUntil;

namespace {

struct Probe {
	std::atomic<bool> ran{false};
	std::atomic<thread_id> seenId{-1};
	char systemName[16] = "";
};

status_t RecordAndReturn(void* data)
{
	auto* probe = static_cast<Probe*>(data);
	probe->seenId = find_thread(NULL);
	pthread_getname_np(pthread_self(), probe->systemName, sizeof(probe->systemName));
	probe->ran = true;
	return 1234;
}

struct SetOnDestruction {
	std::atomic<bool>* flag;
	~SetOnDestruction() { *flag = true; }
};

status_t ExitEarly(void* data)
{
	SetOnDestruction guard{static_cast<std::atomic<bool>*>(data)};
	exit_thread(-77);
	return 0;
}

status_t WaitForData(void*)
{
	return receive_data(NULL, NULL, 0);
}

TEST(ThreadTest, SpawnedThreadWaitsForResume)
{
	Probe probe;
	thread_id thread = spawn_thread(RecordAndReturn, "suspended", B_NORMAL_PRIORITY, &probe);
	ASSERT_GT(thread, 0);

	snooze(50000);
	EXPECT_FALSE(probe.ran);
	EXPECT_EQ(StateOf(thread), B_THREAD_SUSPENDED);

	ASSERT_EQ(resume_thread(thread), B_OK);
	status_t result = 0;
	ASSERT_EQ(wait_for_thread(thread, &result), B_OK);
	EXPECT_TRUE(probe.ran);
	EXPECT_EQ(result, 1234);
	EXPECT_EQ(probe.seenId, thread);
}

TEST(ThreadTest, WaitingForAThreadNeverResumedStartsIt)
{
	Probe probe;
	thread_id thread = spawn_thread(RecordAndReturn, "never resumed", B_NORMAL_PRIORITY, &probe);
	status_t result = 0;
	ASSERT_EQ(wait_for_thread(thread, &result), B_OK);
	EXPECT_EQ(result, 1234);
}

TEST(ThreadTest, ExitThreadGivesItsStatusAndUnwinds)
{
	std::atomic<bool> destroyed{false};
	thread_id thread = spawn_thread(ExitEarly, "exits", B_NORMAL_PRIORITY, &destroyed);
	resume_thread(thread);
	status_t result = 0;
	ASSERT_EQ(wait_for_thread(thread, &result), B_OK);
	EXPECT_EQ(result, -77);
	EXPECT_TRUE(destroyed);
}

TEST(ThreadTest, CallsOnBadIdsFail)
{
	Probe probe;
	thread_id ended = spawn_thread(RecordAndReturn, "ended", B_NORMAL_PRIORITY, &probe);
	resume_thread(ended);
	ASSERT_EQ(wait_for_thread(ended, NULL), B_OK);

	thread_info info;
	for (thread_id id : {ended, thread_id(-1), thread_id(0), thread_id(INT32_MAX)}) {
		SCOPED_TRACE(id);
		EXPECT_EQ(resume_thread(id), B_BAD_THREAD_ID);
		EXPECT_EQ(wait_for_thread(id, NULL), B_BAD_THREAD_ID);
		EXPECT_EQ(get_thread_info(id, &info), B_BAD_THREAD_ID);
		EXPECT_EQ(rename_thread(id, "x"), B_BAD_THREAD_ID);
		EXPECT_EQ(send_data(id, 1, NULL, 0), B_BAD_THREAD_ID);
		EXPECT_FALSE(has_data(id));
	}
}

TEST(ThreadTest, InvalidRequestsAreRefused)
{
	EXPECT_EQ(spawn_thread(NULL, "no entry", B_NORMAL_PRIORITY, NULL), B_BAD_VALUE);
	EXPECT_EQ(wait_for_thread(find_thread(NULL), NULL), B_BAD_THREAD_ID);

	thread_id thread = spawn_thread(WaitForData, "resumed twice", B_NORMAL_PRIORITY, NULL);
	EXPECT_EQ(resume_thread(thread), B_OK);
	EXPECT_EQ(resume_thread(thread), B_BAD_THREAD_STATE);
	EXPECT_EQ(rename_thread(thread, NULL), B_BAD_VALUE);
	EXPECT_EQ(get_thread_info(thread, NULL), B_BAD_VALUE);
	send_data(thread, 5, NULL, 0);
	status_t result = 0;
	wait_for_thread(thread, &result);
	EXPECT_EQ(result, 5);
}

TEST(ThreadTest, IdsAreNeverReused)
{
	std::set<thread_id> seen;
	thread_id previous = 0;
	for (int i = 0; i < 50; i++) {
		Probe probe;
		thread_id thread = spawn_thread(RecordAndReturn, "short", B_NORMAL_PRIORITY, &probe);
		ASSERT_GT(thread, previous);
		ASSERT_TRUE(seen.insert(thread).second);
		resume_thread(thread);
		ASSERT_EQ(wait_for_thread(thread, NULL), B_OK);
		previous = thread;
	}
}

TEST(ThreadTest, ThreadsNotMadeBySpawnGetAStableIdOfTheirOwn)
{
	thread_id mainId = find_thread(NULL);
	EXPECT_GT(mainId, 0);
	EXPECT_EQ(find_thread(NULL), mainId);

	thread_id otherId = -1;
	std::thread([&] { otherId = find_thread(NULL); }).join();
	EXPECT_GT(otherId, 0);
	EXPECT_NE(otherId, mainId);
	// Once the foreign thread is gone its id is dead.
	EXPECT_EQ(send_data(otherId, 1, NULL, 0), B_BAD_THREAD_ID);
}

TEST(ThreadTest, NamesAreKeptInFullAndFoundAgain)
{
	const char* longName = "a rather long thread name"; // 25 bytes
	Probe probe;
	thread_id thread = spawn_thread(RecordAndReturn, longName, B_NORMAL_PRIORITY, &probe);

	thread_info info;
	ASSERT_EQ(get_thread_info(thread, &info), B_OK);
	EXPECT_STREQ(info.name, longName);
	EXPECT_EQ(info.thread, thread);
	EXPECT_EQ(info.team, getpid());
	EXPECT_EQ(info.priority, B_NORMAL_PRIORITY);
	EXPECT_EQ(find_thread(longName), thread);
	EXPECT_EQ(find_thread("a rather long"), B_NAME_NOT_FOUND);

	ASSERT_EQ(rename_thread(thread, "renamed worker"), B_OK);
	EXPECT_EQ(find_thread("renamed worker"), thread);
	EXPECT_EQ(find_thread(longName), B_NAME_NOT_FOUND);

	resume_thread(thread);
	wait_for_thread(thread, NULL);
	EXPECT_STREQ(probe.systemName, "renamed worker");
	EXPECT_EQ(find_thread("renamed worker"), B_NAME_NOT_FOUND);
}

TEST(ThreadTest, SystemNameIsCutAtFifteenBytes)
{
	Probe probe;
	thread_id thread =
	        spawn_thread(RecordAndReturn, "0123456789abcdefXYZ", B_NORMAL_PRIORITY, &probe);
	resume_thread(thread);
	wait_for_thread(thread, NULL);
	EXPECT_STREQ(probe.systemName, "0123456789abcde");
}

TEST(ThreadTest, NamesLongerThanThePlatformLimitAreCut)
{
	std::string name(60, 'n');
	thread_id thread = spawn_thread(WaitForData, name.c_str(), B_NORMAL_PRIORITY, NULL);
	thread_info info;
	ASSERT_EQ(get_thread_info(thread, &info), B_OK);
	EXPECT_EQ(strlen(info.name), size_t(B_OS_NAME_LENGTH - 1));
	EXPECT_EQ(find_thread(name.c_str()), thread);
	send_data(thread, 0, NULL, 0);
	wait_for_thread(thread, NULL);
}

TEST(ThreadTest, PriorityIsClampedToThePlatformRange)
{
	const struct {
		int32 asked;
		int32 kept;
	} cases[] = {
	        {B_LOW_PRIORITY, B_LOW_PRIORITY},
	        {-5, B_IDLE_PRIORITY},
	        {500, B_REAL_TIME_PRIORITY},
	};
	for (const auto& c : cases) {
		thread_id thread = spawn_thread(WaitForData, "priority", c.asked, NULL);
		thread_info info;
		ASSERT_EQ(get_thread_info(thread, &info), B_OK);
		EXPECT_EQ(info.priority, c.kept) << c.asked;
		send_data(thread, 0, NULL, 0);
		wait_for_thread(thread, NULL);
	}
}

TEST(ThreadTest, SeveralWaitersAllGetTheResult)
{
	thread_id thread = spawn_thread(WaitForData, "joined twice", B_NORMAL_PRIORITY, NULL);
	resume_thread(thread);
	status_t results[2] = {0, 0};
	std::atomic<thread_id> waiterIds[2] = {-1, -1};
	auto wait = [&](int i) {
		waiterIds[i] = find_thread(NULL);
		wait_for_thread(thread, &results[i]);
	};
	std::thread first(wait, 0);
	std::thread second(wait, 1);
	// Both must be waiting before the thread ends: the first waiter to
	// return collects the result for good.
	for (auto& id : waiterIds) {
		ASSERT_TRUE(WaitUntil([&] { return id > 0 && StateOf(id) == B_THREAD_WAITING; }));
	}
	send_data(thread, 99, NULL, 0);
	first.join();
	second.join();
	EXPECT_EQ(results[0], 99);
	EXPECT_EQ(results[1], 99);
	EXPECT_EQ(wait_for_thread(thread, NULL), B_BAD_THREAD_ID);
}

} // namespace
