// HandOffQueue: hands items from one thread of the filter to another. The
// giving side never waits: when the queue is full the item is refused. The
// taking side waits for the next item, and learns when the queue has been
// closed and emptied.
#ifndef HAND_OFF_QUEUE_H
#define HAND_OFF_QUEUE_H

#include <condition_variable>
#include <deque>
#include <mutex>

template <typename Item>
class HandOffQueue {
public:
	explicit HandOffQueue(size_t capacity) : fCapacity(capacity), fClosed(false) {}

	HandOffQueue(const HandOffQueue&) = delete;
	HandOffQueue& operator=(const HandOffQueue&) = delete;

	// False, with item left as it was, when the queue is full or closed.
	bool Push(Item& item)
	{
		{
			std::lock_guard lock(fLock);
			if (fClosed || fItems.size() >= fCapacity)
				return false;
			fItems.push_back(std::move(item));
		}
		fChanged.notify_one();
		return true;
	}

	// Waits for the oldest item; false once the queue is closed and empty.
	bool Pop(Item& item)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [this] { return !fItems.empty() || fClosed; });
		if (fItems.empty())
			return false;
		item = std::move(fItems.front());
		fItems.pop_front();
		return true;
	}

	// Takes no more items; those queued can still be taken.
	void Close()
	{
		{
			std::lock_guard lock(fLock);
			fClosed = true;
		}
		fChanged.notify_all();
	}

	size_t Capacity() const { return fCapacity; }

private:
	const size_t fCapacity;
	std::mutex fLock;
	std::condition_variable fChanged;
	std::deque<Item> fItems;
	bool fClosed;
};

#endif // HAND_OFF_QUEUE_H
