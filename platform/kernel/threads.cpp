// Kernel kit: threads and thread data, on POSIX threads.

#include "KernelThread.h"
#include "ThreadTable.h"

#include <OS.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <pthread.h>

using stria::kernel::KernelThread;
using stria::kernel::ThreadTable;

namespace {

// Runs on the new system thread: waits for resume_thread, runs the entry,
// and ends the record however the entry leaves (return or exit_thread).
void* ThreadEntry(void* argument)
{
	std::shared_ptr<KernelThread> thread(
	        std::move(*static_cast<std::shared_ptr<KernelThread>*>(argument)));
	delete static_cast<std::shared_ptr<KernelThread>*>(argument);

	ThreadTable::Default().SetCurrent(thread);
	thread->WaitUntilResumed(pthread_self());

	struct EndOnExit {
		const std::shared_ptr<KernelThread>& thread;
		~EndOnExit() { ThreadTable::Default().ThreadEnded(thread); }
	} endOnExit{thread};

	thread->SetExitStatus(thread->Function()(thread->Data()));
	return NULL;
}

int32 ClampPriority(int32 priority)
{
	return std::clamp<int32>(priority, B_IDLE_PRIORITY, B_REAL_TIME_PRIORITY);
}

} // namespace

thread_id spawn_thread(thread_func function, const char* name, int32 priority, void* data)
{
	if (function == NULL)
		return B_BAD_VALUE;

	ThreadTable& table = ThreadTable::Default();
	thread_id id = table.NextId();
	if (id < 0)
		return id;

	std::shared_ptr<KernelThread> thread;
	std::shared_ptr<KernelThread>* handOver;
	try {
		thread = std::make_shared<KernelThread>(id, name, ClampPriority(priority), function, data);
		handOver = new std::shared_ptr<KernelThread>(thread);
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
	table.Add(thread);

	pthread_attr_t attributes;
	pthread_attr_init(&attributes);
	pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
	pthread_t handle;
	int error = pthread_create(&handle, &attributes, ThreadEntry, handOver);
	pthread_attr_destroy(&attributes);
	if (error != 0) {
		table.Remove(id);
		delete handOver;
		return error == EAGAIN ? status_t(B_NO_MORE_THREADS) : status_t(B_NO_MEMORY);
	}
	return id;
}

status_t resume_thread(thread_id id)
{
	std::shared_ptr<KernelThread> thread = ThreadTable::Default().Find(id);
	if (thread == nullptr)
		return B_BAD_THREAD_ID;
	return thread->Resume();
}

status_t wait_for_thread(thread_id id, status_t* returnValue)
{
	ThreadTable& table = ThreadTable::Default();
	if (id == table.Current()->Id())
		return B_BAD_THREAD_ID;
	std::shared_ptr<KernelThread> thread = table.FindForWait(id);
	if (thread == nullptr)
		return B_BAD_THREAD_ID;
	// Waiting for a thread that was never started starts it, as the
	// platform does; otherwise the wait could never end.
	thread->Resume();

	const std::shared_ptr<KernelThread>& self = table.Current();
	self->SetBlocked(B_THREAD_WAITING);
	status_t status = thread->WaitForEnd(returnValue);
	self->SetUnblocked();
	table.ForgetEnded(id);
	return status;
}

thread_id find_thread(const char* name)
{
	ThreadTable& table = ThreadTable::Default();
	if (name == NULL)
		return table.Current()->Id();
	return table.FindByName(name);
}

void exit_thread(status_t status)
{
	ThreadTable::Default().Current()->SetExitStatus(status);
	// Unwinds the thread's stack, so destructors run; the record is ended by
	// the thread's entry or, for adopted threads, at thread exit.
	pthread_exit(NULL);
}

status_t rename_thread(thread_id id, const char* newName)
{
	if (newName == NULL)
		return B_BAD_VALUE;
	std::shared_ptr<KernelThread> thread = ThreadTable::Default().Find(id);
	if (thread == nullptr)
		return B_BAD_THREAD_ID;
	thread->SetName(newName);
	return B_OK;
}

status_t get_thread_info(thread_id id, thread_info* info)
{
	if (info == NULL)
		return B_BAD_VALUE;
	ThreadTable& table = ThreadTable::Default();
	std::shared_ptr<KernelThread> thread = table.Find(id);
	if (thread == nullptr)
		return B_BAD_THREAD_ID;
	thread->GetInfo(info, thread == table.Current());
	return B_OK;
}

status_t send_data(thread_id id, int32 code, const void* buffer, size_t bufferSize)
{
	if (buffer == NULL && bufferSize > 0)
		return B_BAD_VALUE;
	ThreadTable& table = ThreadTable::Default();
	std::shared_ptr<KernelThread> target = table.Find(id);
	if (target == nullptr)
		return B_BAD_THREAD_ID;
	return target->Send(*table.Current(), code, buffer, bufferSize);
}

int32 receive_data(thread_id* sender, void* buffer, size_t bufferSize)
{
	return ThreadTable::Default().Current()->Receive(sender, buffer, bufferSize);
}

bool has_data(thread_id id)
{
	std::shared_ptr<KernelThread> thread = ThreadTable::Default().Find(id);
	return thread != nullptr && thread->HasData();
}
