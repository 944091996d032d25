// All semaphores of the process, by id. Ids count up and are never reused,
// so a stale id can never reach a newer semaphore.
#ifndef STRIA_KERNEL_SEMAPHORE_TABLE_H
#define STRIA_KERNEL_SEMAPHORE_TABLE_H

#include "Semaphore.h"

#include <OS.h>

#include <memory>
#include <mutex>
#include <unordered_map>

namespace stria::kernel {

class SemaphoreTable {
public:
	// Lives for the whole process, so it is still there for threads that
	// outlast main().
	static SemaphoreTable& Default();

	sem_id Create(int32 count, const char* name);
	status_t Delete(sem_id id);
	// The semaphore, or nothing once it was deleted or never existed.
	std::shared_ptr<Semaphore> Find(sem_id id) const;

	// fork(): held across the fork so that the child never inherits it
	// locked. Semaphores themselves keep their counts in the child.
	void LockForFork() { fLock.lock(); }
	void UnlockAfterFork() { fLock.unlock(); }

private:
	// A bound that stops a leak of semaphores from eating all memory.
	static constexpr size_t kMaxSemaphores = 65536;

	mutable std::mutex fLock;
	std::unordered_map<sem_id, std::shared_ptr<Semaphore>> fSemaphores;
	sem_id fNextId = 1;
};

} // namespace stria::kernel

#endif // STRIA_KERNEL_SEMAPHORE_TABLE_H
