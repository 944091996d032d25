// The filter's subscribers: one bounded queue of scans for each messenger
// that subscribed, and a few delivery threads shared by all of them. The
// delivery threads do the sending, each subscriber's messages in order and
// never two at once, so a subscriber that stops reading holds back nobody
// but itself: a send that finds it full gives up after a short slice, and
// the subscriber is tried again after a pause that grows, without holding a
// thread meanwhile.
//
// The one exception saves a scan a thread hop on its way: a looper of this
// process that has nothing queued is handed the scan by whoever queues it,
// when its port has room. Such a send never waits; a full port queues the
// scan for the delivery threads like any other.
//
// A subscriber costs no thread. Subscribing a messenger that is subscribed
// already changes nothing, whatever process id it claims, and a looper of
// this process is one subscriber whichever of its handlers it names; past
// the limit a subscription is refused, and the messenger is told so with
// STRIA_SUBSCRIBE_REFUSED. A subscriber whose looper or process has gone is
// removed: when a send finds it gone, and, while it waits for nothing, at
// the next check (every check interval on the list's clock).
#ifndef STRIA_SUBSCRIBER_LIST_H
#define STRIA_SUBSCRIBER_LIST_H

#include <Message.h>
#include <Messenger.h>
#include <DropCounter.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class StriaClock;

class SubscriberList {
public:
	// Scans a subscriber may fall behind by before its scans are dropped.
	static constexpr size_t kQueueCapacity = 1000;
	// Live subscriptions at most; more are refused.
	static constexpr size_t kMaxSubscribers = 256;
	// Threads that deliver to every subscriber.
	static constexpr int kDeliveryThreads = 4;
	// How often subscribers that wait for nothing are looked at.
	static constexpr bigtime_t kCheckInterval = 1000000;
	// Refusals that may wait for a delivery thread; beyond them the oldest
	// is only counted.
	static constexpr size_t kRefusalQueueSize = 16;

	struct Limits {
		size_t queueCapacity;
		size_t maxSubscribers;
		int threads;
		bigtime_t checkInterval;
		size_t refusalQueueSize;
	};
	static Limits DefaultLimits();

	// clock: what pauses, checks and the shutdown deadline go by; must
	// outlive the list.
	explicit SubscriberList(StriaClock* clock);
	SubscriberList(StriaClock* clock, const Limits& limits);
	// Ends delivery at once: whatever is still queued is dropped, a send
	// under way gives up within a slice. Call Shutdown first for an orderly
	// end.
	~SubscriberList();

	SubscriberList(const SubscriberList&) = delete;
	SubscriberList& operator=(const SubscriberList&) = delete;

	// False when no delivery thread could be started.
	bool IsRunning() const { return !fThreads.empty(); }

	enum AddResult {
		kAdded,
		// The messenger is subscribed already: nothing changes.
		kAlreadySubscribed,
		// No "messenger" field: there is nobody to send to.
		kNoMessenger,
		// The list is full; the messenger is told so.
		kRefused
	};
	AddResult Add(const BMessage& subscription);

	// Queues one STRIA_CATSCAN carrying barcode for every subscriber, or
	// hands it over at once (see above); a code whose check digit is wrong
	// carries STRIA_CHECK_FAILED_FIELD, true (good codes go without it).
	// Never waits on a subscriber: one whose queue is full loses this scan
	// (the first of a run of drops is logged at once, the rest counted and
	// logged as one line when it has caught up or at the end). Returns how
	// many subscribers lost the scan.
	size_t QueueScan(const std::string& barcode, bool checkFailed = false);

	// Queues STRIA_SHUTDOWN behind every subscriber's scans (a full queue
	// does not refuse it) and waits until all is sent or the deadline (on
	// the list's clock) has passed; what is not sent by then is dropped
	// with a log line. No scan is taken afterwards.
	void Shutdown(bigtime_t deadline);

	size_t CountSubscribers() const;
	// Scans dropped so far, over every subscriber.
	int64 CountDropped() const;
	// Subscriptions refused so far because the list was full.
	int64 CountRefused() const;
	// Checks for subscribers that have gone completed so far.
	int64 CountChecks() const;

private:
	struct Item {
		bool shutdown;
		std::string barcode;
		bool checkFailed = false;
	};

	struct Subscriber {
		BMessenger messenger;
		// A looper of this process: its port says at once when it is full.
		bool local = false;
		int32 number;
		std::deque<Item> queue;
		// A delivery thread sends to it or checks it; nobody else may.
		bool busy = false;
		// No send before this (a stalled subscriber's pause).
		bigtime_t retryAt = 0;
		bigtime_t pause = 0;
		// Scans dropped since it last took one.
		stria::DropCounter drops;
	};

	enum SendResult { kSent, kGone, kStalled, kOutOfTime };

	void _Loop();
	// With the lock held: one step of work for a delivery thread, done
	// with the lock released meanwhile; false when there is nothing to do.
	bool _DeliverOne(std::unique_lock<std::mutex>& lock, bigtime_t now);
	bool _SendRefusal(std::unique_lock<std::mutex>& lock);
	bool _Check(std::unique_lock<std::mutex>& lock, bigtime_t now);
	bigtime_t _NextWake(bigtime_t now) const;
	SendResult _Send(Subscriber& subscriber, const Item& item, bigtime_t deadline);
	static SendResult _Outcome(status_t status, const BMessenger& messenger);
	// With the lock held: whether a scan may go to subscriber at once,
	// without a delivery thread.
	static bool _TakesAtOnce(const Subscriber& subscriber);
	// Sends the scan to each of subscribers (marked busy) without waiting;
	// those whose port is full have it queued. True when anything was
	// queued.
	bool _HandOver(const std::vector<std::shared_ptr<Subscriber>>& subscribers, const Item& scan);
	static void _AddScan(BMessage& message, const Item& scan);
	// With the lock held: drops what is queued for subscriber, with a log
	// line.
	void _DropRest(Subscriber& subscriber);
	void _Remove(const std::shared_ptr<Subscriber>& subscriber);
	static void _EndDropRun(Subscriber& subscriber);
	void _EndRefusalRun();
	bool _AllDelivered() const;
	void _StopThreads();

	StriaClock* fClock;
	const Limits fLimits;

	mutable std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::shared_ptr<Subscriber>> fSubscribers;
	size_t fCursor = 0;
	int32 fLastNumber = 0;
	std::deque<BMessenger> fRefusals;
	bool fRefusing = false;
	stria::DropCounter fRefusalRun;
	int64 fRefused = 0;
	bool fChecking = false;
	bigtime_t fNextCheck;
	int64 fChecks = 0;
	int64 fDropped = 0;
	bool fShuttingDown = false;
	bigtime_t fDeadline;
	bool fStopping = false;
	std::vector<std::thread> fThreads;
};

#endif // STRIA_SUBSCRIBER_LIST_H
