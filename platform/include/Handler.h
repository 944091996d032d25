// Application kit: BHandler, an object that receives messages in a looper.
#ifndef _HANDLER_H
#define _HANDLER_H

#include <SupportDefs.h>

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
	void _SetLooper(BLooper* looper);

	char* fName;
	BLooper* fLooper;
	BHandler* fNextHandler;
	int32 fToken;
};

#endif  // _HANDLER_H
