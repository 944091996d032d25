// The input stream: one thread that takes the messages of every input
// device in the order they came, passes each through the filters and hands
// what leaves the last filter to the application side.
#ifndef STRIA_INPUT_STREAM_H
#define STRIA_INPUT_STREAM_H

#include "FilterChain.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class BMessage;

namespace stria {

class ApplicationSide;

class InputStream {
public:
	// Neither chain nor side (which may be null: delivered messages are
	// then dropped) is owned; both must outlive the stream's thread.
	InputStream(const FilterChain& chain, ApplicationSide* side);
	~InputStream();

	InputStream(const InputStream&) = delete;
	InputStream& operator=(const InputStream&) = delete;

	void Start();

	// Queues a message for the stream's thread. After Close the message is
	// dropped and false returned.
	bool Enqueue(std::unique_ptr<BMessage> message);

	// Returns once no message has been queued or passed for quiet, or after
	// limit at the latest: lets messages that the filters ask for on their
	// own time limits still pass before the stream closes.
	void WaitUntilQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds limit);

	// Takes no more messages, passes every one still queued, calls the
	// application side's Finish and ends the thread.
	void Close();

	uint64_t CountDelivered() const;

private:
	void Loop();

	const FilterChain& fChain;
	ApplicationSide* fSide;

	mutable std::mutex fLock;
	std::condition_variable fChanged;
	std::deque<std::unique_ptr<BMessage>> fQueue;
	bool fBusy = false;
	bool fClosing = false;
	std::chrono::steady_clock::time_point fLastActivity;
	uint64_t fDelivered = 0;

	std::thread fThread;
};

} // namespace stria

#endif // STRIA_INPUT_STREAM_H
