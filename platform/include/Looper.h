// Application kit: BLooper, a thread with a message queue and a lock.
//
// As on the platform, a looper is locked by the thread that constructs it;
// Run() starts its thread and releases that lock. Never delete a looper that
// runs: call Quit() (with the looper locked), which deletes it.
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
	// From the looper's own thread the current message is finished first;
	// from another thread every message queued before is handled, and Quit
	// returns once the looper is gone.
	virtual void Quit();
	virtual bool QuitRequested();

	// A copy of the message (the caller keeps its own) goes to the looper
	// itself, or to handler (NULL: the preferred handler). B_WOULD_BLOCK when
	// the queue holds portCapacity messages already.
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
	bool _IsLoopThread() const;
	bool _RunCalled() const;
	// Asks the loop to end after the messages queued before.
	status_t _PostQuit();
	// Ends the loop after the current message (from the loop's thread).
	void _SetTerminating();

private:
	friend class BMessenger;
	struct Private;

	static status_t _LoopThread(void* looper);
	BHandler* _HandlerFor(int32 token);

	BLooper(const BLooper&) = delete;
	BLooper& operator=(const BLooper&) = delete;

	Private* fPrivate;
};

#endif // _LOOPER_H
