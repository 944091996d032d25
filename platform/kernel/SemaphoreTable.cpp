#include "SemaphoreTable.h"

#include <climits>
#include <new>
#include <unistd.h>

namespace stria::kernel {

SemaphoreTable& SemaphoreTable::Default()
{
	static SemaphoreTable* table = new SemaphoreTable;
	return *table;
}

sem_id SemaphoreTable::Create(int32 count, const char* name)
{
	if (count < 0)
		return B_BAD_VALUE;
	std::lock_guard lock(fLock);
	if (fSemaphores.size() >= kMaxSemaphores || fNextId == INT32_MAX)
		return B_NO_MORE_SEMS;
	try {
		sem_id id = fNextId;
		fSemaphores.emplace(id, std::make_shared<Semaphore>(id, count, name, getpid()));
		fNextId++;
		return id;
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
}

status_t SemaphoreTable::Delete(sem_id id)
{
	std::shared_ptr<Semaphore> semaphore;
	{
		std::lock_guard lock(fLock);
		auto found = fSemaphores.find(id);
		if (found == fSemaphores.end())
			return B_BAD_SEM_ID;
		semaphore = std::move(found->second);
		fSemaphores.erase(found);
	}
	semaphore->Delete();
	return B_OK;
}

std::shared_ptr<Semaphore> SemaphoreTable::Find(sem_id id) const
{
	std::lock_guard lock(fLock);
	auto found = fSemaphores.find(id);
	return found != fSemaphores.end() ? found->second : nullptr;
}

} // namespace stria::kernel
