// Application kit: BLooper, a thread with a message queue and a lock.
#ifndef _LOOPER_H
#define _LOOPER_H

#include <Handler.h>
#include <OS.h>

class BMessage;

#define B_LOOPER_PORT_DEFAULT_CAPACITY 200

class BLooper : public BHandler {
public:
	explicit BLooper(const char* name = NULL, int32 priority = B_NORMAL_PRIORITY,
		int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY);
	~BLooper() override;

	// Starts the looper's thread; returns its id.
	virtual thread_id Run();
	// Called with the looper locked: stops the loop, deletes the looper.
	virtual void Quit();
	virtual bool QuitRequested();

	status_t PostMessage(uint32 command);
	status_t PostMessage(BMessage* message);
	status_t PostMessage(uint32 command, BHandler* handler, BHandler* replyTo = NULL);
	status_t PostMessage(BMessage* message, BHandler* handler, BHandler* replyTo = NULL);

	virtual void DispatchMessage(BMessage* message, BHandler* handler);
	void MessageReceived(BMessage* message) override;
	BMessage* CurrentMessage() const;
	BMessage* DetachCurrentMessage();

	void AddHandler(BHandler* handler);
	bool RemoveHandler(BHandler* handler);
	int32 CountHandlers() const;
	BHandler* HandlerAt(int32 index) const;
	BHandler* PreferredHandler() const;
	void SetPreferredHandler(BHandler* handler);

	// Recursive and owner-aware.
	bool Lock();
	void Unlock();
	status_t LockWithTimeout(bigtime_t timeout);
	bool IsLocked() const;
	thread_id LockingThread() const;
	int32 CountLocks() const;

	thread_id Thread() const;
	team_id Team() const;

protected:
	// For BApplication, which runs the loop on the calling thread.
	void _RunLoop();

private:
	friend class BMessenger;
	struct Private;
	Private* fPrivate;
};

#endif  // _LOOPER_H
