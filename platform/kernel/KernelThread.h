// One thread known to the kernel kit: either made by spawn_thread, or a
// thread the process started otherwise (main, std::thread) that got an id on
// first use. Holds the thread's one-slot mailbox for send_data/receive_data
// and what wait_for_thread needs once the thread has ended.
#ifndef STRIA_KERNEL_KERNEL_THREAD_H
#define STRIA_KERNEL_KERNEL_THREAD_H

#include <OS.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <string>
#include <vector>

namespace stria::kernel {

class KernelThread {
public:
	enum class Life { kSuspended, kRunning, kEnded };

	// A thread that spawn_thread makes: suspended until Resume.
	KernelThread(thread_id id, const char* name, int32 priority, thread_func function, void* data);
	// A thread that already runs and is adopted on first use.
	KernelThread(thread_id id, const char* name, pthread_t handle);
	KernelThread(const KernelThread&) = delete;
	KernelThread& operator=(const KernelThread&) = delete;

	thread_id Id() const { return fId; }
	// A fresh record with this thread's id and name, for the only thread of a
	// child process. Reads without the lock: another thread of the parent may
	// have held it at the fork and will never release it.
	std::shared_ptr<KernelThread> CopyForChild(pthread_t self) const;
	thread_func Function() const { return fFunction; }
	void* Data() const { return fData; }

	std::string Name() const;
	void SetName(const char* name);
	void GetInfo(thread_info* info, bool isCaller) const;

	// Start gate of a spawned thread.
	status_t Resume();
	// Called on the new thread: blocks until resumed, then gives the thread
	// its system name.
	void WaitUntilResumed(pthread_t self);
	bool IsSuspended() const;

	// The end: senders waiting for the mailbox fail, waiters for the
	// result wake. Only the first call counts.
	void SetExitStatus(status_t status);
	void End();
	status_t WaitForEnd(status_t* exitStatus);

	// Mailbox.
	status_t Send(KernelThread& sender, int32 code, const void* buffer, size_t size);
	int32 Receive(thread_id* sender, void* buffer, size_t size);
	bool HasData() const;

	// What get_thread_info reports while the thread blocks. Kept apart from
	// the lock: a sender marks itself while holding its target's lock.
	void SetBlocked(thread_state state, sem_id sem = -1);
	void SetUnblocked() { SetBlocked(B_THREAD_RUNNING); }

private:
	void _ApplySystemName();

	const thread_id fId;
	const thread_func fFunction;
	void* const fData;

	mutable std::mutex fLock;
	std::condition_variable fLifeChanged;
	std::condition_variable fSlotFreed;
	std::condition_variable fSlotFilled;

	std::string fName;
	int32 fPriority;
	pthread_t fHandle{};
	bool fHasHandle = false;
	Life fLife;
	status_t fExitStatus = B_OK;
	std::atomic<thread_state> fState;
	std::atomic<sem_id> fBlockedOn = -1;

	bool fSlotFull = false;
	int32 fSlotCode = 0;
	thread_id fSlotSender = -1;
	std::vector<char> fSlotPayload;
};

} // namespace stria::kernel

#endif // STRIA_KERNEL_KERNEL_THREAD_H
