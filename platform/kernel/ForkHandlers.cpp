// Keeps the kernel kit usable in a child made by fork(): its tables are
// never inherited locked, and the child knows only its own thread.

#include "SemaphoreTable.h"
#include "ThreadTable.h"

#include <pthread.h>

namespace stria::kernel {

namespace {

void PrepareFork()
{
	ThreadTable::Default().LockForFork();
	SemaphoreTable::Default().LockForFork();
}

void ParentAfterFork()
{
	SemaphoreTable::Default().UnlockAfterFork();
	ThreadTable::Default().UnlockInParent();
}

void ChildAfterFork()
{
	SemaphoreTable::Default().UnlockAfterFork();
	ThreadTable::Default().ResetInChild();
}

// Registered when the kit is loaded, before anyone can fork.
const int sForkHandlersRegistered = pthread_atfork(PrepareFork, ParentAfterFork, ChildAfterFork);

} // namespace

} // namespace stria::kernel
