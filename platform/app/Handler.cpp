// BHandler: an object that receives messages in a looper.
#include <Handler.h>

#include <Looper.h>
#include <Message.h>

#include "LooperLock.h"
#include "TokenRegistry.h"

#include <cstdlib>
#include <cstring>

using namespace BPrivate;

BHandler::BHandler(const char* name)
    : fName(name != NULL ? strdup(name) : NULL), fLooper(NULL), fNextHandler(NULL),
      fToken(TokenRegistry::Default().AddHandler(this))
{
}

BHandler::~BHandler()
{
	// A handler deleted while still in a looper leaves it first; the looper
	// itself has already cleared its list by the time its own BHandler part
	// goes away.
	BLooper* looper = fLooper.load();
	if (looper != NULL && looper != this)
		looper->RemoveHandler(this);
	TokenRegistry::Default().RemoveHandler(fToken);
	free(fName);
}

void BHandler::MessageReceived(BMessage* message)
{
	if (fNextHandler != NULL)
		fNextHandler->MessageReceived(message);
}

BLooper* BHandler::Looper() const
{
	return fLooper.load();
}

const char* BHandler::Name() const
{
	return fName;
}

void BHandler::SetName(const char* name)
{
	char* copy = name != NULL ? strdup(name) : NULL;
	free(fName);
	fName = copy;
}

BHandler* BHandler::NextHandler() const
{
	return fNextHandler;
}

void BHandler::SetNextHandler(BHandler* handler)
{
	if (handler != this)
		fNextHandler = handler;
}

bool BHandler::LockLooper()
{
	return LockLooperWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BHandler::LockLooperWithTimeout(bigtime_t timeout)
{
	BLooper* looper = fLooper.load();
	if (looper == NULL)
		return B_BAD_VALUE;
	// The looper is reached through the token table, never through the
	// pointer alone: it may be deleted while this thread waits.
	LooperEntry entry;
	if (!TokenRegistry::Default().FindLooper(looper, &entry))
		return B_BAD_VALUE;
	status_t status = entry.lock->Lock(timeout);
	if (status != B_OK)
		return status;
	if (fLooper.load() != looper) {
		entry.lock->Unlock();
		return B_MISMATCHED_VALUES;
	}
	return B_OK;
}

void BHandler::UnlockLooper()
{
	BLooper* looper = fLooper.load();
	if (looper != NULL)
		looper->Unlock();
}

void BHandler::_SetLooper(BLooper* looper)
{
	fLooper.store(looper);
}
