#include "ThreadTable.h"

#include <climits>
#include <cstring>
#include <vector>

namespace stria::kernel {

namespace {

// Ends the adopted thread's record when its system thread ends, so that
// senders stop waiting for it and waiters get their answer.
struct CurrentThreadSlot {
	std::shared_ptr<KernelThread> thread;

	~CurrentThreadSlot()
	{
		if (thread != nullptr)
			ThreadTable::Default().ThreadEnded(thread);
	}
};

thread_local CurrentThreadSlot sCurrent;

} // namespace

ThreadTable& ThreadTable::Default()
{
	static ThreadTable* table = new ThreadTable;
	return *table;
}

thread_id ThreadTable::NextId()
{
	std::lock_guard lock(fLock);
	if (fNextId == INT32_MAX)
		return B_NO_MORE_THREADS;
	return fNextId++;
}

void ThreadTable::Add(std::shared_ptr<KernelThread> thread)
{
	std::lock_guard lock(fLock);
	thread_id id = thread->Id();
	fThreads.emplace(id, std::move(thread));
}

void ThreadTable::Remove(thread_id id)
{
	std::lock_guard lock(fLock);
	fThreads.erase(id);
}

std::shared_ptr<KernelThread> ThreadTable::Find(thread_id id) const
{
	std::lock_guard lock(fLock);
	auto found = fThreads.find(id);
	return found != fThreads.end() ? found->second : nullptr;
}

std::shared_ptr<KernelThread> ThreadTable::FindForWait(thread_id id) const
{
	std::lock_guard lock(fLock);
	auto found = fThreads.find(id);
	if (found != fThreads.end())
		return found->second;
	found = fEnded.find(id);
	return found != fEnded.end() ? found->second : nullptr;
}

thread_id ThreadTable::FindByName(const char* name) const
{
	std::string wanted(name, strnlen(name, B_OS_NAME_LENGTH - 1));
	std::lock_guard lock(fLock);
	for (const auto& [id, thread] : fThreads) {
		if (thread->Name() == wanted)
			return id;
	}
	return B_NAME_NOT_FOUND;
}

void ThreadTable::ThreadEnded(const std::shared_ptr<KernelThread>& thread)
{
	{
		std::lock_guard lock(fLock);
		auto found = fThreads.find(thread->Id());
		if (found == fThreads.end() || found->second != thread)
			return;
		fThreads.erase(found);
		fEnded.emplace(thread->Id(), thread);
		fEndedOrder.push_back(thread->Id());
		while (fEndedOrder.size() > kMaxKeptResults) {
			fEnded.erase(fEndedOrder.front());
			fEndedOrder.pop_front();
		}
	}
	thread->End();
}

void ThreadTable::ForgetEnded(thread_id id)
{
	std::lock_guard lock(fLock);
	// The order queue keeps the id; erasing it there later is harmless.
	fEnded.erase(id);
}

void ThreadTable::ResetInChild()
{
	// The records of the parent's other threads may have their locks held by
	// threads that are gone; they are set aside for good, never touched.
	static auto* leftBehind = new std::vector<std::shared_ptr<KernelThread>>;
	for (auto& [id, thread] : fThreads)
		leftBehind->push_back(std::move(thread));
	for (auto& [id, thread] : fEnded)
		leftBehind->push_back(std::move(thread));
	fThreads.clear();
	fEnded.clear();
	fEndedOrder.clear();

	if (sCurrent.thread != nullptr) {
		auto fresh = sCurrent.thread->CopyForChild(pthread_self());
		leftBehind->push_back(std::move(sCurrent.thread));
		fThreads.emplace(fresh->Id(), fresh);
		sCurrent.thread = std::move(fresh);
	}
	fLock.unlock();
}

const std::shared_ptr<KernelThread>& ThreadTable::Current()
{
	if (sCurrent.thread == nullptr) {
		thread_id id = NextId();
		char name[16] = "";
		pthread_getname_np(pthread_self(), name, sizeof(name));
		auto thread = std::make_shared<KernelThread>(id, name[0] != '\0' ? name : "thread",
		                                             pthread_self());
		Add(thread);
		sCurrent.thread = std::move(thread);
	}
	return sCurrent.thread;
}

void ThreadTable::SetCurrent(std::shared_ptr<KernelThread> thread)
{
	sCurrent.thread = std::move(thread);
}

} // namespace stria::kernel
