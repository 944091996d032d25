// Application kit: BMessenger, the address of a handler in this process or
// in another one.
#ifndef _MESSENGER_H
#define _MESSENGER_H

#include <OS.h>

class BHandler;
class BLooper;
class BMessage;

class BMessenger {
public:
	BMessenger();
	BMessenger(const BHandler* handler, const BLooper* looper = NULL, status_t* result = NULL);
	BMessenger(const BMessenger& other);
	~BMessenger();
	BMessenger& operator=(const BMessenger& other);

	// Two messengers are equal when they lead to the same handler: the
	// same looper of this process, or the same port and tokens in another
	// one, whatever process id either claims.
	bool operator==(const BMessenger& other) const;
	bool operator!=(const BMessenger& other) const { return !(*this == other); }
	bool operator<(const BMessenger& other) const;

	// True while the target looper (and its process) still exists.
	bool IsValid() const;
	bool IsTargetLocal() const;
	BHandler* Target(BLooper** looper) const;
	bool LockTarget() const;
	status_t LockTargetWithTimeout(bigtime_t timeout) const;
	// This process for a target here; for a target elsewhere, the process
	// id its byte form named, which only its sender vouches for.
	team_id Team() const;

	status_t SendMessage(uint32 command, BHandler* replyTo = NULL) const;
	status_t SendMessage(BMessage* message, BHandler* replyTo = NULL,
	                     bigtime_t timeout = B_INFINITE_TIMEOUT) const;
	status_t SendMessage(BMessage* message, BMessenger replyTo,
	                     bigtime_t timeout = B_INFINITE_TIMEOUT) const;
	// Sends and waits for the reply, which is copied into *reply. A target
	// that handles the message without replying answers B_NO_REPLY. Gives
	// B_TIMED_OUT when either time-out expires, B_MESSAGE_TO_SELF when the
	// target is the calling thread's own looper.
	status_t SendMessage(uint32 command, BMessage* reply) const;
	status_t SendMessage(BMessage* message, BMessage* reply,
	                     bigtime_t deliveryTimeout = B_INFINITE_TIMEOUT,
	                     bigtime_t replyTimeout = B_INFINITE_TIMEOUT) const;

	// Byte form used when a messenger travels inside a flattened message.
	ssize_t FlattenedSize() const;
	status_t Flatten(void* buffer, ssize_t size) const;
	status_t Unflatten(const void* buffer, ssize_t size);

private:
	friend class BLooper;
	struct Address;

	// Around each dispatch: a message whose sender waits for the reply gets
	// B_NO_REPLY if it was handled (and not detached) without one.
	static void _BeginDispatch(const BMessage* message);
	static void _EndDispatch(bool detached);

	Address* fAddress; // none for a messenger without a target
};

#endif // _MESSENGER_H
