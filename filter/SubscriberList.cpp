#include "SubscriberList.h"

#include "StriaClock.h"

#include <Looper.h>
#include <OS.h>

#include <StriaLog.h>
#include <StriaProtocol.h>
#include <StriaTime.h>

#include <algorithm>
#include <cerrno>
#include <limits>
#include <signal.h>
#include <system_error>

namespace {

// Longest single wait of a send: how long a stopped subscriber can hold a
// delivery thread before it is set aside for its pause.
const bigtime_t kSendSlice = 100000;
// Pauses between tries to reach a subscriber that takes nothing.
const bigtime_t kFirstRetryPause = 100000;
const bigtime_t kLongestRetryPause = 5000000;

const bigtime_t kNever = stria::kLatestTime;

// Whether the target of a messenger that waits for nothing may still be
// there. IsValid never waits on the target: a process that is stopped
// counts as there, and one whose port has refused the looper (it quit)
// does not, from the check after the port has answered.
bool MayStillBeThere(const BMessenger& messenger)
{
	if (messenger.IsTargetLocal())
		return messenger.IsValid();
	team_id team = messenger.Team();
	if (team > 0 && kill(team, 0) != 0 && errno == ESRCH)
		return false;
	return messenger.IsValid();
}

// Whether two messengers make one subscriber. A looper of this process is
// one whichever of its handlers a messenger names, so that the typer (or
// any looper here) is sent each scan once however it was subscribed again;
// elsewhere it is the messenger, whose process id counts for nothing.
bool SameSubscriber(const BMessenger& a, const BMessenger& b)
{
	if (a == b)
		return true;
	if (!a.IsTargetLocal() || !b.IsTargetLocal())
		return false;
	BLooper* first = NULL;
	BLooper* second = NULL;
	a.Target(&first);
	b.Target(&second);
	return first != NULL && first == second;
}

} // namespace

SubscriberList::Limits SubscriberList::DefaultLimits()
{
	return Limits{kQueueCapacity, kMaxSubscribers, kDeliveryThreads, kCheckInterval,
	              kRefusalQueueSize};
}

SubscriberList::SubscriberList(StriaClock* clock) : SubscriberList(clock, DefaultLimits()) {}

SubscriberList::SubscriberList(StriaClock* clock, const Limits& limits)
    : fClock(clock), fLimits(limits),
      fNextCheck(stria::Shifted(clock->Now(), limits.checkInterval)), fDeadline(kNever)
{
	for (int i = 0; i < std::max(limits.threads, 1); i++) {
		try {
			fThreads.emplace_back(&SubscriberList::_Loop, this);
		} catch (const std::system_error&) {
			break;
		}
	}
}

SubscriberList::~SubscriberList()
{
	{
		std::lock_guard lock(fLock);
		fShuttingDown = true;
		fDeadline = stria::kEarliestTime;
	}
	_StopThreads();
	std::lock_guard lock(fLock);
	for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers)
		_EndDropRun(*subscriber);
	_EndRefusalRun();
}

SubscriberList::AddResult SubscriberList::Add(const BMessage& subscription)
{
	BMessenger messenger;
	if (subscription.FindMessenger(STRIA_MESSENGER_FIELD, &messenger) != B_OK)
		return kNoMessenger;

	bool firstRefusal = false;
	{
		std::lock_guard lock(fLock);
		if (fShuttingDown)
			return kRefused;
		for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers) {
			if (SameSubscriber(subscriber->messenger, messenger))
				return kAlreadySubscribed;
		}
		if (fSubscribers.size() < fLimits.maxSubscribers) {
			auto subscriber = std::make_shared<Subscriber>();
			subscriber->messenger = messenger;
			subscriber->local = messenger.IsTargetLocal();
			subscriber->number = ++fLastNumber;
			fSubscribers.push_back(std::move(subscriber));
			_EndRefusalRun();
			return kAdded;
		}
		fRefused++;
		firstRefusal = fRefusalRun.Drop();
		// A full queue gives up its oldest refusal, not the newest: a
		// subscriber refused after a flood of subscriptions is still told,
		// while the flood's refusals are being sent.
		if (fRefusals.size() >= std::max<size_t>(fLimits.refusalQueueSize, 1))
			fRefusals.pop_front();
		fRefusals.push_back(messenger);
	}
	fChanged.notify_one();
	if (firstRefusal) {
		stria::Log("StriaFilter",
		           "%zu subscribers already; subscription refused "
		           "(more refusals are counted)",
		           fLimits.maxSubscribers);
	}
	return kRefused;
}

size_t SubscriberList::QueueScan(const std::string& barcode, bool checkFailed)
{
	const Item scan{false, barcode, checkFailed};
	std::vector<std::pair<int32, size_t>> firstDrops;
	std::vector<std::shared_ptr<Subscriber>> atOnce;
	size_t dropped = 0;
	bool queued = false;
	{
		std::lock_guard lock(fLock);
		if (fShuttingDown)
			return fSubscribers.size();
		for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers) {
			if (_TakesAtOnce(*subscriber)) {
				subscriber->busy = true;
				atOnce.push_back(subscriber);
				continue;
			}
			if (subscriber->queue.size() < fLimits.queueCapacity) {
				subscriber->queue.push_back(scan);
				queued = true;
				continue;
			}
			fDropped++;
			dropped++;
			if (subscriber->drops.Drop())
				firstDrops.emplace_back(subscriber->number, subscriber->queue.size());
		}
	}
	if (!atOnce.empty() && _HandOver(atOnce, scan))
		queued = true;
	// Delivery threads are woken only for work: a scan every subscriber
	// took at once leaves them asleep.
	if (queued)
		fChanged.notify_all();
	for (auto [number, waiting] : firstDrops) {
		stria::Log("StriaFilter",
		           "subscriber %d is not taking its scans (%zu waiting); scan dropped "
		           "(more drops are counted)",
		           (int)number, waiting);
	}
	return dropped;
}

void SubscriberList::Shutdown(bigtime_t deadline)
{
	{
		std::unique_lock lock(fLock);
		if (fShuttingDown)
			return;
		fShuttingDown = true;
		fDeadline = deadline;
		for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers)
			subscriber->queue.push_back({true, std::string()});
		fChanged.notify_all();
		while (!_AllDelivered() && !fThreads.empty()) {
			if (fClock->Now() < fDeadline)
				fClock->WaitUntil(lock, fChanged, fDeadline);
			else
				fChanged.wait(lock);
		}
		for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers)
			_EndDropRun(*subscriber);
		_EndRefusalRun();
	}
	_StopThreads();
}

size_t SubscriberList::CountSubscribers() const
{
	std::lock_guard lock(fLock);
	return fSubscribers.size();
}

int64 SubscriberList::CountDropped() const
{
	std::lock_guard lock(fLock);
	return fDropped;
}

int64 SubscriberList::CountRefused() const
{
	std::lock_guard lock(fLock);
	return fRefused;
}

int64 SubscriberList::CountChecks() const
{
	std::lock_guard lock(fLock);
	return fChecks;
}

void SubscriberList::_Loop()
{
	std::unique_lock lock(fLock);
	while (!fStopping) {
		bigtime_t now = fClock->Now();
		if (_DeliverOne(lock, now) || _SendRefusal(lock) || _Check(lock, now))
			continue;
		if (fStopping)
			break;
		bigtime_t wake = _NextWake(now);
		if (wake == kNever)
			fChanged.wait(lock);
		else
			fClock->WaitUntil(lock, fChanged, wake);
	}
}

bool SubscriberList::_DeliverOne(std::unique_lock<std::mutex>& lock, bigtime_t now)
{
	// Round the list from where the last thread left off, so that every
	// subscriber gets its turn.
	size_t count = fSubscribers.size();
	std::shared_ptr<Subscriber> chosen;
	bool late = fShuttingDown && now >= fDeadline;
	for (size_t step = 0; step < count; step++) {
		const std::shared_ptr<Subscriber>& subscriber = fSubscribers[(fCursor + step) % count];
		if (subscriber->busy || subscriber->queue.empty())
			continue;
		if (late) {
			_DropRest(*subscriber);
			fChanged.notify_all();
			return true;
		}
		if (subscriber->retryAt > now && !(fShuttingDown && subscriber->retryAt >= fDeadline))
			continue;
		chosen = subscriber;
		fCursor = (fCursor + step + 1) % count;
		break;
	}
	if (!chosen)
		return false;

	chosen->busy = true;
	Item item = chosen->queue.front();
	bigtime_t deadline = fShuttingDown ? fDeadline : kNever;
	lock.unlock();
	SendResult result = _Send(*chosen, item, deadline);
	lock.lock();
	chosen->busy = false;

	switch (result) {
	case kSent:
		chosen->queue.pop_front();
		chosen->pause = 0;
		chosen->retryAt = 0;
		// Caught up: a run of drops has ended.
		if (chosen->queue.empty())
			_EndDropRun(*chosen);
		break;
	case kGone:
		// It never comes back (ports and loopers are not reused).
		_Remove(chosen);
		break;
	case kStalled:
		// Stopped or stuck: set aside for a pause that grows, so that a
		// subscriber stopped for hours costs next to nothing.
		chosen->pause = chosen->pause == 0 ? kFirstRetryPause
		                                   : std::min(chosen->pause * 2, kLongestRetryPause);
		chosen->retryAt = stria::Shifted(fClock->Now(), chosen->pause);
		break;
	case kOutOfTime:
		_DropRest(*chosen);
		break;
	}
	fChanged.notify_all();
	return true;
}

bool SubscriberList::_SendRefusal(std::unique_lock<std::mutex>& lock)
{
	// One thread at a time, so that refusals to targets that do not answer
	// never take the threads from the subscribers.
	if (fRefusing || fRefusals.empty())
		return false;
	fRefusing = true;
	BMessenger messenger = fRefusals.front();
	fRefusals.pop_front();
	lock.unlock();
	BMessage refusal(STRIA_SUBSCRIBE_REFUSED);
	refusal.AddInt32(STRIA_ERROR_FIELD, B_BUSY);
	// A slice, not 0: a send that may not wait at all gives up before a new
	// connection's hello is answered, and the refusal would never arrive.
	messenger.SendMessage(&refusal, (BHandler*)NULL, kSendSlice);
	lock.lock();
	fRefusing = false;
	return true;
}

bool SubscriberList::_Check(std::unique_lock<std::mutex>& lock, bigtime_t now)
{
	if (fChecking || fShuttingDown || now < fNextCheck)
		return false;
	fChecking = true;
	std::vector<std::shared_ptr<Subscriber>> idle;
	for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers) {
		if (!subscriber->busy && subscriber->queue.empty())
			idle.push_back(subscriber);
	}
	// One at a time: whoever is being looked at is not sent to meanwhile.
	for (const std::shared_ptr<Subscriber>& subscriber : idle) {
		if (subscriber->busy || !subscriber->queue.empty() ||
		    std::find(fSubscribers.begin(), fSubscribers.end(), subscriber) == fSubscribers.end())
			continue;
		subscriber->busy = true;
		lock.unlock();
		bool there = MayStillBeThere(subscriber->messenger);
		lock.lock();
		subscriber->busy = false;
		if (!there)
			_Remove(subscriber);
		fChanged.notify_all();
	}
	fChecking = false;
	fChecks++;
	fNextCheck = stria::Shifted(fClock->Now(), fLimits.checkInterval);
	fChanged.notify_all();
	return true;
}

bigtime_t SubscriberList::_NextWake(bigtime_t now) const
{
	bigtime_t wake = kNever;
	if (!fShuttingDown && !fChecking)
		wake = fNextCheck;
	for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers) {
		if (!subscriber->busy && !subscriber->queue.empty())
			wake = std::min(wake, subscriber->retryAt);
	}
	// Past the deadline only a send under way is waited for: it says when
	// it is done.
	if (fShuttingDown && fDeadline > now)
		wake = std::min(wake, fDeadline);
	return wake;
}

SubscriberList::SendResult SubscriberList::_Send(Subscriber& subscriber, const Item& item,
                                                 bigtime_t deadline)
{
	BMessage message(item.shutdown ? STRIA_SHUTDOWN : STRIA_CATSCAN);
	if (!item.shutdown)
		_AddScan(message, item);
	bigtime_t timeout = kSendSlice;
	if (deadline != kNever) {
		bigtime_t left = deadline - fClock->Now();
		if (left <= 0)
			return kOutOfTime;
		timeout = std::min(timeout, left);
	}
	return _Outcome(subscriber.messenger.SendMessage(&message, (BHandler*)NULL, timeout),
	                subscriber.messenger);
}

SubscriberList::SendResult SubscriberList::_Outcome(status_t status, const BMessenger& messenger)
{
	if (status == B_OK)
		return kSent;
	if (status == B_TIMED_OUT || status == B_WOULD_BLOCK)
		return kStalled;
	// A subscriber that has gone fails the send at once; it is removed
	// silently, like one whose messenger was never valid. Other failures
	// lose this message only.
	return messenger.IsValid() ? kSent : kGone;
}

bool SubscriberList::_TakesAtOnce(const Subscriber& subscriber)
{
	// Only with nothing queued or under way, so that its scans stay in
	// order, and not while it sits out a pause for taking nothing.
	return subscriber.local && !subscriber.busy && subscriber.queue.empty() &&
	       subscriber.retryAt == 0;
}

void SubscriberList::_AddScan(BMessage& message, const Item& scan)
{
	message.AddString(STRIA_BARCODE_FIELD, scan.barcode.c_str());
	if (scan.checkFailed)
		message.AddBool(STRIA_CHECK_FAILED_FIELD, true);
}

bool SubscriberList::_HandOver(const std::vector<std::shared_ptr<Subscriber>>& subscribers,
                               const Item& scan)
{
	BMessage message(STRIA_CATSCAN);
	_AddScan(message, scan);
	std::vector<SendResult> results;
	results.reserve(subscribers.size());
	// A local port that is full refuses at once; nothing here waits.
	for (const std::shared_ptr<Subscriber>& subscriber : subscribers) {
		results.push_back(_Outcome(subscriber->messenger.SendMessage(&message, (BHandler*)NULL, 0),
		                           subscriber->messenger));
	}

	bool queued = false;
	std::lock_guard lock(fLock);
	for (size_t index = 0; index < subscribers.size(); index++) {
		Subscriber& subscriber = *subscribers[index];
		subscriber.busy = false;
		switch (results[index]) {
		case kSent:
		case kOutOfTime:
			break;
		case kStalled:
			// In front of whatever was queued meanwhile (a shutdown notice
			// among them): this scan came first.
			subscriber.queue.push_front(scan);
			queued = true;
			break;
		case kGone:
			_Remove(subscribers[index]);
			break;
		}
	}
	// A shutdown may be waiting for these subscribers to be free.
	if (fShuttingDown)
		queued = true;
	return queued;
}

void SubscriberList::_DropRest(Subscriber& subscriber)
{
	size_t scans = 0;
	bool shutdown = false;
	for (const Item& item : subscriber.queue) {
		if (item.shutdown)
			shutdown = true;
		else
			scans++;
	}
	subscriber.queue.clear();
	fDropped += scans;
	if (scans != 0 || shutdown) {
		stria::Log("StriaFilter", "subscriber %d did not take %zu scan%s%s in time; dropped",
		           (int)subscriber.number, scans, scans == 1 ? "" : "s",
		           shutdown ? " and the shutdown notice" : "");
	}
}

void SubscriberList::_Remove(const std::shared_ptr<Subscriber>& subscriber)
{
	_EndDropRun(*subscriber);
	std::erase(fSubscribers, subscriber);
	if (fCursor >= fSubscribers.size())
		fCursor = 0;
}

void SubscriberList::_EndDropRun(Subscriber& subscriber)
{
	// The first drop of the run was logged when it happened.
	int64 more = subscriber.drops.EndRun();
	if (more > 0) {
		stria::Log("StriaFilter", "%lld more scan%s dropped for subscriber %d", (long long)more,
		           more == 1 ? " was" : "s were", (int)subscriber.number);
	}
}

void SubscriberList::_EndRefusalRun()
{
	int64 more = fRefusalRun.EndRun();
	if (more > 0) {
		stria::Log("StriaFilter", "%lld more subscription%s refused", (long long)more,
		           more == 1 ? " was" : "s were");
	}
}

bool SubscriberList::_AllDelivered() const
{
	for (const std::shared_ptr<Subscriber>& subscriber : fSubscribers) {
		if (subscriber->busy || !subscriber->queue.empty())
			return false;
	}
	return true;
}

void SubscriberList::_StopThreads()
{
	{
		std::lock_guard lock(fLock);
		fStopping = true;
	}
	fChanged.notify_all();
	for (std::thread& thread : fThreads) {
		if (thread.joinable())
			thread.join();
	}
}
