// Application kit: BHandler, an object that receives messages in a looper.
#ifndef _HANDLER_H
#define _HANDLER_H

#include <SupportDefs.h>

#include <atomic>

class BLooper;
class BMessage;

class BHandler {
public:
	explicit BHandler(const char* name = NULL);
	virtual ~BHandler();

	virtual void MessageReceived(BMessage* message);

	BLooper* Looper() const;
	const char* Name() const;
	void SetName(const char* name);

	BHandler* NextHandler() const;
	void SetNextHandler(BHandler* handler);

	bool LockLooper();
	status_t LockLooperWithTimeout(bigtime_t timeout);
	void UnlockLooper();

private:
	friend class BLooper;
	friend class BMessenger;
	void _SetLooper(BLooper* looper);

	BHandler(const BHandler&) = delete;
	BHandler& operator=(const BHandler&) = delete;

	char* fName;
	// Read by other threads (LockLooper, messengers) while the looper's
	// thread may change it.
	std::atomic<BLooper*> fLooper;
	BHandler* fNextHandler;
	// The handler's entry in the process-wide token table; messengers carry
	// it instead of a pointer.
	int32 fToken;
};

#endif // _HANDLER_H
