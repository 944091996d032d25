// The input stream: one thread that takes the messages of every input
// device in the order they came, passes each through the filters and hands
// what leaves the last filter to the application side.
//
// The queue is bounded for the server's readers: when applications fall
// behind, a reader waits before it enqueues (the kernel keeps the keys)
// rather than the queue growing with the backlog; nothing is dropped. What
// the add-ons enqueue themselves never waits, since the filters run on the
// very thread that makes room.
#ifndef STRIA_INPUT_STREAM_H
#define STRIA_INPUT_STREAM_H

#include "FilterChain.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class BMessage;

namespace stria {

class ApplicationSide;

class InputStream {
public:
	// Neither chain nor side (which may be null: delivered messages are
	// then dropped) is owned; both must outlive the stream's thread.
	// Messages the readers may have queued before they wait.
	static constexpr size_t kDefaultCapacity = 1024;

	InputStream(const FilterChain& chain, ApplicationSide* side,
	            size_t capacity = kDefaultCapacity);
	~InputStream();

	InputStream(const InputStream&) = delete;
	InputStream& operator=(const InputStream&) = delete;

	void Start();

	// Queues a message for the stream's thread without waiting, past the
	// capacity if need be (for the add-ons). After Close the message is
	// dropped and false returned.
	bool Enqueue(std::unique_ptr<BMessage> message);

	// The same for several messages (none null), queued together with one
	// wake-up of the stream's thread: it takes them in a row instead of
	// being woken, and taking the processor from their sender, for each.
	bool EnqueueAll(std::vector<std::unique_ptr<BMessage>> messages);

	// Queues a message for the stream's thread once fewer than the capacity
	// wait (for the readers). Close releases every waiting caller: false
	// then, and the message is dropped.
	bool EnqueueWaiting(std::unique_ptr<BMessage> message);

	// Returns once no message has been queued or passed for quiet, or after
	// limit at the latest: lets messages that the filters ask for on their
	// own time limits still pass before the stream closes.
	void WaitUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

	// Takes no more messages, passes every one still queued, calls the
	// application side's Finish and ends the thread.
	void Close();

	uint64_t CountDelivered() const;
	size_t Capacity() const { return fCapacity; }
	// The most messages that were ever queued at once.
	size_t HighWaterMark() const;
	// How many times a reader had to wait for room.
	uint64_t CountWaits() const;

private:
	void Loop();

	const FilterChain& fChain;
	ApplicationSide* fSide;

	bool _Push(std::unique_ptr<BMessage> message, std::unique_lock<std::mutex>& lock);
	// With the lock held, after messages were queued: notes them and wakes
	// the stream's thread, the lock released.
	void _Queued(std::unique_lock<std::mutex>& lock);

	const size_t fCapacity;
	mutable std::mutex fLock;
	std::condition_variable fChanged;
	// Notified whenever a message leaves the queue, and on Close.
	std::condition_variable fRoom;
	std::deque<std::unique_ptr<BMessage>> fQueue;
	size_t fHighWater = 0;
	uint64_t fWaits = 0;
	bool fBusy = false;
	bool fClosing = false;
	std::chrono::steady_clock::time_point fLastActivity;
	uint64_t fDelivered = 0;

	std::thread fThread;
};

} // namespace stria

#endif // STRIA_INPUT_STREAM_H
