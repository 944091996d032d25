// Kernel kit: counting semaphores.

#include "Deadline.h"
#include "SemaphoreTable.h"
#include "ThreadTable.h"

#include <OS.h>

using stria::kernel::Deadline;
using stria::kernel::Semaphore;
using stria::kernel::SemaphoreTable;
using stria::kernel::ThreadTable;

sem_id create_sem(int32 count, const char* name)
{
	return SemaphoreTable::Default().Create(count, name);
}

status_t delete_sem(sem_id id)
{
	return SemaphoreTable::Default().Delete(id);
}

status_t acquire_sem(sem_id id)
{
	return acquire_sem_etc(id, 1, 0, 0);
}

status_t acquire_sem_etc(sem_id id, int32 count, uint32 flags, bigtime_t timeout)
{
	std::shared_ptr<Semaphore> semaphore = SemaphoreTable::Default().Find(id);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	if (count < 1)
		return B_BAD_VALUE;
	if ((flags & B_RELATIVE_TIMEOUT) != 0 && (flags & B_ABSOLUTE_TIMEOUT) != 0)
		return B_BAD_VALUE;

	const std::shared_ptr<stria::kernel::KernelThread>& self = ThreadTable::Default().Current();
	self->SetBlocked(B_THREAD_WAITING, id);
	status_t status = semaphore->Acquire(count, Deadline::FromFlags(flags, timeout), self->Id());
	self->SetUnblocked();
	return status;
}

status_t release_sem(sem_id id)
{
	return release_sem_etc(id, 1, 0);
}

status_t release_sem_etc(sem_id id, int32 count, uint32 flags)
{
	std::shared_ptr<Semaphore> semaphore = SemaphoreTable::Default().Find(id);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	return semaphore->Release(count, flags);
}

status_t get_sem_count(sem_id id, int32* threadCount)
{
	if (threadCount == NULL)
		return B_BAD_VALUE;
	std::shared_ptr<Semaphore> semaphore = SemaphoreTable::Default().Find(id);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	*threadCount = semaphore->Count();
	return B_OK;
}

status_t set_sem_owner(sem_id id, team_id team)
{
	std::shared_ptr<Semaphore> semaphore = SemaphoreTable::Default().Find(id);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	if (team < 0)
		return B_BAD_TEAM_ID;
	semaphore->SetOwner(team);
	return B_OK;
}

status_t get_sem_info(sem_id id, sem_info* info)
{
	if (info == NULL)
		return B_BAD_VALUE;
	std::shared_ptr<Semaphore> semaphore = SemaphoreTable::Default().Find(id);
	if (semaphore == nullptr)
		return B_BAD_SEM_ID;
	semaphore->GetInfo(info);
	return B_OK;
}
