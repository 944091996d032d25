// One subscription of the filter: the STRIA_SUBSCRIBE message as it came in
// and, when it holds a messenger, a delivery thread fed through a bounded
// queue. The processor thread only queues; the delivery thread does the
// sending, so a subscriber that stops reading holds back nobody but itself.
#ifndef STRIA_SUBSCRIBER_H
#define STRIA_SUBSCRIBER_H

#include <Message.h>
#include <Messenger.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

class StriaSubscriber {
public:
	// Scans a subscriber may fall behind by before its scans are dropped.
	static constexpr size_t kDefaultCapacity = 1000;

	// number: the subscription's place in arrival order, for log lines.
	StriaSubscriber(const BMessage& subscription, int32 number, size_t capacity = kDefaultCapacity);
	// Ends delivery at once (whatever is still queued is dropped, a send
	// under way gives up within a fraction of a second) and waits for the
	// delivery thread. Call QueueShutdown first for an orderly end.
	~StriaSubscriber();

	StriaSubscriber(const StriaSubscriber&) = delete;
	StriaSubscriber& operator=(const StriaSubscriber&) = delete;

	const BMessage& Subscription() const { return fSubscription; }
	// False for a subscription without a "messenger" field: it gets nothing.
	bool HasMessenger() const { return fHasMessenger; }

	// Queues one STRIA_CATSCAN carrying barcode. Never waits on the
	// subscriber: when the queue is full the scan is dropped with a log
	// line and false is returned.
	bool QueueScan(const char* barcode);

	// Queues STRIA_SHUTDOWN behind every queued scan (a full queue does not
	// refuse it) and lets the delivery thread end once it is sent. What is
	// not sent by deadline (system_time) is dropped with a log line.
	void QueueShutdown(bigtime_t deadline);

	// Waits until the delivery thread has ended (after QueueShutdown).
	void WaitForDelivery();

	// Scans dropped so far because the queue was full or time ran out.
	int64 CountDropped() const;

	// True once a send found the subscriber gone; its delivery thread has
	// then ended and later scans are skipped.
	bool IsGone() const;

private:
	struct Item {
		bool shutdown;
		std::string barcode;
	};

	enum SendResult { kSent, kGone, kOutOfTime };

	void _DeliveryLoop();
	// Sends in time slices, so that a stopped subscriber cannot keep the
	// thread past the deadline.
	SendResult _Send(BMessage& message);
	// Drops what is still queued, with a log line.
	void _DropRest();

	BMessage fSubscription;
	BMessenger fMessenger;
	bool fHasMessenger;
	int32 fNumber;
	size_t fCapacity;

	mutable std::mutex fLock;
	std::condition_variable fChanged;
	std::deque<Item> fQueue;
	bool fStopping;
	bigtime_t fDeadline;
	int64 fDropped;
	bool fGone;
	std::thread fThread;
};

#endif // STRIA_SUBSCRIBER_H
