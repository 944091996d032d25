#include "KernelThread.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace stria::kernel {

namespace {

std::string PlatformName(const char* name)
{
	if (name == NULL)
		return "unnamed thread";
	return std::string(name, strnlen(name, B_OS_NAME_LENGTH - 1));
}

// The system keeps 15 bytes of a thread name; cut at a character boundary
// so that tools showing the name do not get half a UTF-8 sequence.
std::string SystemName(const std::string& name)
{
	constexpr size_t kSystemNameLength = 15;
	if (name.size() <= kSystemNameLength)
		return name;
	size_t length = kSystemNameLength;
	while (length > 0 && (uint8(name[length]) & 0xc0) == 0x80)
		length--;
	return name.substr(0, length);
}

} // namespace

KernelThread::KernelThread(thread_id id, const char* name, int32 priority, thread_func function,
                           void* data)
    : fId(id), fFunction(function), fData(data), fName(PlatformName(name)), fPriority(priority),
      fLife(Life::kSuspended), fState(B_THREAD_SUSPENDED)
{
}

KernelThread::KernelThread(thread_id id, const char* name, pthread_t handle)
    : fId(id), fFunction(NULL), fData(NULL), fName(PlatformName(name)),
      fPriority(B_NORMAL_PRIORITY), fHandle(handle), fHasHandle(true), fLife(Life::kRunning),
      fState(B_THREAD_RUNNING)
{
}

std::shared_ptr<KernelThread> KernelThread::CopyForChild(pthread_t self) const
{
	auto copy = std::make_shared<KernelThread>(fId, fName.c_str(), self);
	copy->fPriority = fPriority;
	return copy;
}

std::string KernelThread::Name() const
{
	std::lock_guard lock(fLock);
	return fName;
}

void KernelThread::SetName(const char* name)
{
	std::lock_guard lock(fLock);
	fName = PlatformName(name);
	if (fLife == Life::kRunning)
		_ApplySystemName();
}

void KernelThread::GetInfo(thread_info* info, bool isCaller) const
{
	std::lock_guard lock(fLock);
	memset(info, 0, sizeof(*info));
	info->thread = fId;
	info->team = getpid();
	strncpy(info->name, fName.c_str(), B_OS_NAME_LENGTH - 1);
	info->state = isCaller ? B_THREAD_RUNNING : fState.load(std::memory_order_relaxed);
	info->priority = fPriority;
	info->sem = fBlockedOn.load(std::memory_order_relaxed);
}

status_t KernelThread::Resume()
{
	std::lock_guard lock(fLock);
	if (fLife != Life::kSuspended)
		return B_BAD_THREAD_STATE;
	fLife = Life::kRunning;
	fState = B_THREAD_RUNNING;
	fLifeChanged.notify_all();
	return B_OK;
}

void KernelThread::WaitUntilResumed(pthread_t self)
{
	std::unique_lock lock(fLock);
	fHandle = self;
	fHasHandle = true;
	fLifeChanged.wait(lock, [this] { return fLife != Life::kSuspended; });
	_ApplySystemName();
}

bool KernelThread::IsSuspended() const
{
	std::lock_guard lock(fLock);
	return fLife == Life::kSuspended;
}

void KernelThread::SetExitStatus(status_t status)
{
	std::lock_guard lock(fLock);
	fExitStatus = status;
}

void KernelThread::End()
{
	std::lock_guard lock(fLock);
	if (fLife == Life::kEnded)
		return;
	fLife = Life::kEnded;
	fHasHandle = false;
	fSlotFull = false;
	fSlotPayload.clear();
	fSlotPayload.shrink_to_fit();
	fSlotFreed.notify_all();
	fLifeChanged.notify_all();
}

status_t KernelThread::WaitForEnd(status_t* exitStatus)
{
	std::unique_lock lock(fLock);
	fLifeChanged.wait(lock, [this] { return fLife == Life::kEnded; });
	if (exitStatus != NULL)
		*exitStatus = fExitStatus;
	return B_OK;
}

status_t KernelThread::Send(KernelThread& sender, int32 code, const void* buffer, size_t size)
{
	std::unique_lock lock(fLock);
	if (fSlotFull && &sender == this) {
		// Nobody but this thread could empty the slot: waiting would never end.
		return B_WOULD_BLOCK;
	}
	if (fSlotFull && fLife != Life::kEnded) {
		sender.SetBlocked(B_THREAD_WAITING);
		fSlotFreed.wait(lock, [this] { return !fSlotFull || fLife == Life::kEnded; });
		sender.SetUnblocked();
	}
	if (fLife == Life::kEnded)
		return B_BAD_THREAD_ID;
	try {
		fSlotPayload.assign(static_cast<const char*>(buffer),
		                    static_cast<const char*>(buffer) + size);
	} catch (const std::bad_alloc&) {
		return B_NO_MEMORY;
	}
	fSlotFull = true;
	fSlotCode = code;
	fSlotSender = sender.Id();
	fSlotFilled.notify_one();
	return B_OK;
}

int32 KernelThread::Receive(thread_id* sender, void* buffer, size_t size)
{
	std::unique_lock lock(fLock);
	if (!fSlotFull) {
		SetBlocked(B_THREAD_RECEIVING);
		fSlotFilled.wait(lock, [this] { return fSlotFull; });
		SetUnblocked();
	}
	size_t copied = buffer != NULL ? std::min(size, fSlotPayload.size()) : 0;
	if (copied > 0)
		memcpy(buffer, fSlotPayload.data(), copied);
	if (sender != NULL)
		*sender = fSlotSender;
	fSlotFull = false;
	// One waiting sender can fill the slot again; the others keep waiting.
	fSlotFreed.notify_one();
	return fSlotCode;
}

bool KernelThread::HasData() const
{
	std::lock_guard lock(fLock);
	return fSlotFull;
}

void KernelThread::SetBlocked(thread_state state, sem_id sem)
{
	fBlockedOn.store(sem, std::memory_order_relaxed);
	fState.store(state, std::memory_order_relaxed);
}

void KernelThread::_ApplySystemName()
{
	if (fHasHandle)
		pthread_setname_np(fHandle, SystemName(fName).c_str());
}

} // namespace stria::kernel
