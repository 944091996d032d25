// All threads of the process that the kernel kit knows, by id, plus the
// results of ended threads that nobody has waited for yet. Ids count up and
// are never reused.
#ifndef STRIA_KERNEL_THREAD_TABLE_H
#define STRIA_KERNEL_THREAD_TABLE_H

#include "KernelThread.h"

#include <OS.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>

namespace stria::kernel {

class ThreadTable {
public:
	// Lives for the whole process: threads may end after main() returns.
	static ThreadTable& Default();

	// A fresh id, or B_NO_MORE_THREADS once the ids are used up.
	thread_id NextId();
	void Add(std::shared_ptr<KernelThread> thread);
	// Forgets a thread whose system thread could not be made.
	void Remove(thread_id id);

	// A thread that has not ended.
	std::shared_ptr<KernelThread> Find(thread_id id) const;
	// A thread that has not ended, or one that has and whose result is
	// still kept.
	std::shared_ptr<KernelThread> FindForWait(thread_id id) const;
	thread_id FindByName(const char* name) const;

	// Moves the thread to the ended ones and wakes whoever waits on it.
	void ThreadEnded(const std::shared_ptr<KernelThread>& thread);
	// Drops the kept result once a waiter collected it.
	void ForgetEnded(thread_id id);

	// The calling thread, adopted with a new id when it was not made by
	// spawn_thread.
	const std::shared_ptr<KernelThread>& Current();
	void SetCurrent(std::shared_ptr<KernelThread> thread);

	// fork(): the table is held across the fork; the child, which has only
	// the forking thread, forgets every other thread so that nothing waits
	// for threads that do not exist there.
	void LockForFork() { fLock.lock(); }
	void UnlockInParent() { fLock.unlock(); }
	void ResetInChild();

private:
	// Results of ended threads nobody waits for are kept up to this bound.
	static constexpr size_t kMaxKeptResults = 4096;

	mutable std::mutex fLock;
	std::map<thread_id, std::shared_ptr<KernelThread>> fThreads;
	std::map<thread_id, std::shared_ptr<KernelThread>> fEnded;
	std::deque<thread_id> fEndedOrder;
	thread_id fNextId = 1;
};

} // namespace stria::kernel

#endif // STRIA_KERNEL_THREAD_TABLE_H
