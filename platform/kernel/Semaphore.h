// A counting semaphore of the kernel kit. Waiters queue in arrival order; a
// waiter is served only when the whole count it asked for is there, and
// nobody overtakes the head of the queue.
#ifndef STRIA_KERNEL_SEMAPHORE_H
#define STRIA_KERNEL_SEMAPHORE_H

#include "Deadline.h"

#include <OS.h>

#include <condition_variable>
#include <list>
#include <mutex>
#include <string>

namespace stria::kernel {

class Semaphore {
public:
	Semaphore(sem_id id, int32 count, const char* name, team_id owner);
	Semaphore(const Semaphore&) = delete;
	Semaphore& operator=(const Semaphore&) = delete;

	sem_id Id() const { return fId; }

	status_t Acquire(int32 count, const Deadline& deadline, thread_id caller);
	status_t Release(int32 count, uint32 flags);
	// Wakes every waiter with B_BAD_SEM_ID; later calls fail the same way.
	void Delete();

	// The free count, minus what the waiters still ask for.
	int32 Count() const;
	void SetOwner(team_id owner);
	void GetInfo(sem_info* info) const;

private:
	struct Waiter {
		explicit Waiter(int32 count) : count(count) {}
		int32 count;
		bool granted = false;
		std::condition_variable wakeUp;
	};

	void _ServeWaiters();
	int64 _WaitingCount() const;

	const sem_id fId;
	const std::string fName;
	mutable std::mutex fLock;
	std::list<Waiter*> fWaiters;
	int64 fAvailable;
	team_id fOwner;
	thread_id fLatestHolder = -1;
	bool fDeleted = false;
};

} // namespace stria::kernel

#endif // STRIA_KERNEL_SEMAPHORE_H
