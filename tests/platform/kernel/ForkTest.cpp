// A child made by fork() has only the forking thread: the kit must not let
// it wait for the parent's other threads or on locks they held.

#include "BoundedWait.h"

#include <OS.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

using stria::test::WaitUntilBlocked;

namespace {

status_t ReceiveOnce(void*)
{
	return receive_data(NULL, NULL, 0);
}

TEST(ForkTest, ChildForgetsTheParentsOtherThreads)
{
	thread_id self = find_thread(NULL);
	thread_id worker = spawn_thread(ReceiveOnce, "parent worker", B_NORMAL_PRIORITY, NULL);
	resume_thread(worker);
	ASSERT_TRUE(WaitUntilBlocked(worker, B_THREAD_RECEIVING));
	sem_id sem = create_sem(1, "inherited");

	pid_t child = fork();
	ASSERT_GE(child, 0);
	if (child == 0) {
		// One bit per check that failed; threads are not started here, as
		// sanitizers do not support that after a fork.
		int failures = 0;
		if (send_data(worker, 1, NULL, 0) != B_BAD_THREAD_ID)
			failures |= 1;
		if (find_thread("parent worker") != B_NAME_NOT_FOUND)
			failures |= 2;
		if (find_thread(NULL) != self)
			failures |= 4;
		if (acquire_sem_etc(sem, 1, B_RELATIVE_TIMEOUT, 0) != B_OK || release_sem(sem) != B_OK)
			failures |= 8;
		if (send_data(self, 5, "x", 1) != B_OK || receive_data(NULL, NULL, 0) != 5)
			failures |= 16;
		_exit(failures);
	}
	int status = 0;
	ASSERT_EQ(waitpid(child, &status, 0), child);
	ASSERT_TRUE(WIFEXITED(status));
	EXPECT_EQ(WEXITSTATUS(status), 0);

	// The parent's own thread is untouched.
	EXPECT_EQ(send_data(worker, 1, NULL, 0), B_OK);
	EXPECT_EQ(wait_for_thread(worker, NULL), B_OK);
	delete_sem(sem);
}

} // namespace
