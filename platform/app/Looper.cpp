// BLooper: a thread with a message queue and a recursive lock.
#include <Looper.h>

#include <Message.h>
#include <Messenger.h>

#include "LooperLock.h"
#include "LooperPort.h"
#include "TokenRegistry.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace BPrivate;

struct BLooper::Private {
	std::shared_ptr<LooperPort> port;
	std::shared_ptr<LooperLock> lock;
	std::vector<BHandler*> handlers;
	BHandler* preferred = NULL;
	BMessage* currentMessage = NULL;
	bool currentDetached = false;
	int32 priority = B_NORMAL_PRIORITY;
	std::atomic<thread_id> thread{-1};
	std::atomic<std::thread::id> loopThread{};
	std::atomic<bool> runCalled{false};
	std::atomic<bool> loopActive{false};
	// Set on the loop's thread when Quit was called there.
	bool terminating = false;
};

BLooper::BLooper(const char* name, int32 priority, int32 portCapacity)
    : BHandler(name), fPrivate(new Private)
{
	fPrivate->port = std::make_shared<LooperPort>(
	        portCapacity > 0 ? portCapacity : B_LOOPER_PORT_DEFAULT_CAPACITY);
	fPrivate->lock = std::make_shared<LooperLock>();
	fPrivate->priority = priority;
	// The constructing thread holds the lock until Run.
	fPrivate->lock->Lock();
	AddHandler(this);
	LooperEntry entry;
	entry.looper = this;
	entry.port = fPrivate->port;
	entry.lock = fPrivate->lock;
	TokenRegistry::Default().AddLooper(fToken, entry);
}

BLooper::~BLooper()
{
	if (fPrivate->loopActive.load() && !_IsLoopThread()) {
		// Deleted from outside while its thread still runs: stop the loop and
		// wait, so that at least no message is dispatched into freed memory.
		fprintf(stderr, "BLooper \"%s\": deleted while running; call Quit() instead\n",
		        Name() != NULL ? Name() : "");
		fPrivate->port->Close();
		status_t result;
		thread_id thread = fPrivate->thread.load();
		if (thread >= 0) {
			while (wait_for_thread(thread, &result) == B_INTERRUPTED) {
			}
		}
	}
	fPrivate->lock->Lock();
	TokenRegistry::Default().RemoveLooper(fToken);
	fPrivate->port->Close();
	for (BHandler* handler : fPrivate->handlers)
		handler->_SetLooper(NULL);
	fPrivate->handlers.clear();
	if (fPrivate->currentMessage != NULL && !fPrivate->currentDetached)
		fPrivate->currentMessage = NULL;
	fPrivate->lock->Kill();
	fPrivate->lock->UnlockFully();
	delete fPrivate;
}

thread_id BLooper::Run()
{
	if (fPrivate->runCalled.load())
		return B_ALREADY_RUNNING;
	thread_id thread =
	        spawn_thread(_LoopThread, Name() != NULL ? Name() : "looper", fPrivate->priority, this);
	if (thread < 0)
		return thread;
	fPrivate->thread.store(thread);
	fPrivate->runCalled.store(true);
	fPrivate->loopActive.store(true);
	// Give up the lock the constructor took, if this thread holds it.
	if (fPrivate->lock->IsHeldByCaller())
		fPrivate->lock->Unlock();
	status_t status = resume_thread(thread);
	if (status != B_OK) {
		fPrivate->loopActive.store(false);
		return status;
	}
	return thread;
}

status_t BLooper::_LoopThread(void* data)
{
	BLooper* looper = static_cast<BLooper*>(data);
	looper->_RunLoop();
	// Either Quit was called on this thread (the lock is still held) or a
	// quit request came through the queue.
	looper->fPrivate->lock->Lock();
	delete looper;
	return B_OK;
}

void BLooper::_RunLoop()
{
	Private& state = *fPrivate;
	state.loopThread.store(std::this_thread::get_id());
	state.loopActive.store(true);
	state.runCalled.store(true);
	if (state.thread.load() < 0)
		state.thread.store(find_thread(NULL));

	LooperEnvelope envelope;
	while (!state.terminating && state.port->Next(&envelope)) {
		if (envelope.quit)
			break;
		if (state.lock->Lock() != B_OK)
			break;
		BHandler* handler = _HandlerFor(envelope.handlerToken);
		state.currentDetached = false;
		BMessenger::_BeginDispatch(envelope.message.get());
		if (handler != NULL) {
			state.currentMessage = envelope.message.get();
			DispatchMessage(envelope.message.get(), handler);
			state.currentMessage = NULL;
		}
		BMessenger::_EndDispatch(state.currentDetached);
		if (state.currentDetached)
			(void)envelope.message.release();
		envelope.message.reset();
		if (state.terminating)
			break;
		state.lock->Unlock();
	}
	envelope.message.reset();
	state.loopActive.store(false);
}

BHandler* BLooper::_HandlerFor(int32 token)
{
	if (token == kPreferredHandlerToken)
		return fPrivate->preferred != NULL ? fPrivate->preferred : this;
	BHandler* handler = TokenRegistry::Default().HandlerFor(token);
	// A handler that left this looper after the message was sent gets
	// nothing.
	if (handler == NULL || handler->Looper() != this)
		return NULL;
	return handler;
}

bool BLooper::_IsLoopThread() const
{
	return fPrivate->loopActive.load() && fPrivate->loopThread.load() == std::this_thread::get_id();
}

bool BLooper::_RunCalled() const
{
	return fPrivate->runCalled.load();
}

status_t BLooper::_PostQuit()
{
	return fPrivate->port->PushQuit();
}

void BLooper::_SetTerminating()
{
	fPrivate->terminating = true;
}

void BLooper::Quit()
{
	if (!fPrivate->lock->IsHeldByCaller()) {
		fprintf(stderr, "BLooper \"%s\": Quit() called without holding the lock\n",
		        Name() != NULL ? Name() : "");
		if (!Lock())
			return;
	}
	if (!fPrivate->runCalled.load()) {
		delete this;
		return;
	}
	if (_IsLoopThread()) {
		fPrivate->terminating = true;
		return;
	}
	// Another thread: queue the request behind what is waiting, let the
	// loop have the lock, and wait for the thread to delete the looper.
	// Nothing of this object may be touched once the lock is released.
	thread_id thread = fPrivate->thread.load();
	std::shared_ptr<LooperLock> lock = fPrivate->lock;
	fPrivate->port->PushQuit();
	lock->UnlockFully();
	status_t result;
	while (wait_for_thread(thread, &result) == B_INTERRUPTED) {
	}
}

bool BLooper::QuitRequested()
{
	return true;
}

status_t BLooper::PostMessage(uint32 command)
{
	BMessage message(command);
	return PostMessage(&message, this, NULL);
}

status_t BLooper::PostMessage(BMessage* message)
{
	return PostMessage(message, this, NULL);
}

status_t BLooper::PostMessage(uint32 command, BHandler* handler, BHandler* replyTo)
{
	BMessage message(command);
	return PostMessage(&message, handler, replyTo);
}

status_t BLooper::PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo)
{
	if (message == NULL)
		return B_BAD_VALUE;
	status_t status;
	BMessenger messenger(handler, this, &status);
	if (status != B_OK)
		return status;
	return messenger.SendMessage(message, replyTo, 0);
}

void BLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->what == B_QUIT_REQUESTED && handler == this) {
		if (QuitRequested())
			Quit();
		return;
	}
	handler->MessageReceived(message);
}

void BLooper::MessageReceived(BMessage* message)
{
	BHandler::MessageReceived(message);
}

BMessage* BLooper::CurrentMessage() const
{
	return fPrivate->currentMessage;
}

BMessage* BLooper::DetachCurrentMessage()
{
	BMessage* message = fPrivate->currentMessage;
	if (message != NULL)
		fPrivate->currentDetached = true;
	fPrivate->currentMessage = NULL;
	return message;
}

void BLooper::AddHandler(BHandler* handler)
{
	if (handler == NULL || handler->Looper() != NULL)
		return;
	handler->_SetLooper(this);
	fPrivate->handlers.push_back(handler);
}

bool BLooper::RemoveHandler(BHandler* handler)
{
	if (handler == NULL || handler == this)
		return false;
	auto& handlers = fPrivate->handlers;
	auto found = std::find(handlers.begin(), handlers.end(), handler);
	if (found == handlers.end())
		return false;
	handlers.erase(found);
	handler->_SetLooper(NULL);
	if (fPrivate->preferred == handler)
		fPrivate->preferred = NULL;
	return true;
}

int32 BLooper::CountHandlers() const
{
	return int32(fPrivate->handlers.size());
}

BHandler* BLooper::HandlerAt(int32 index) const
{
	if (index < 0 || size_t(index) >= fPrivate->handlers.size())
		return NULL;
	return fPrivate->handlers[size_t(index)];
}

BHandler* BLooper::PreferredHandler() const
{
	return fPrivate->preferred;
}

void BLooper::SetPreferredHandler(BHandler* handler)
{
	if (handler == NULL || handler->Looper() == this)
		fPrivate->preferred = handler;
}

bool BLooper::Lock()
{
	return LockWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

void BLooper::Unlock()
{
	fPrivate->lock->Unlock();
}

status_t BLooper::LockWithTimeout(bigtime_t timeout)
{
	// The looper may quit (and be deleted) while this thread waits, or may
	// be gone already: it is looked up by address in the token table, never
	// dereferenced, and the wait holds its own reference to the lock, which
	// the deletion marks dead and so wakes every waiter with an error.
	LooperEntry entry;
	if (!TokenRegistry::Default().FindLooper(this, &entry) || entry.lock == nullptr)
		return B_BAD_VALUE;
	return entry.lock->Lock(timeout);
}

bool BLooper::IsLocked() const
{
	return fPrivate->lock->IsHeldByCaller();
}

thread_id BLooper::LockingThread() const
{
	return fPrivate->lock->Owner();
}

int32 BLooper::CountLocks() const
{
	return fPrivate->lock->Count();
}

thread_id BLooper::Thread() const
{
	return fPrivate->thread.load();
}

team_id BLooper::Team() const
{
	return getpid();
}
