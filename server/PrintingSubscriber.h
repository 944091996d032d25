// --subscribe: a looper of the server that subscribes to scans the way any
// application does and prints what it gets.
#ifndef STRIA_PRINTING_SUBSCRIBER_H
#define STRIA_PRINTING_SUBSCRIBER_H

#include <Looper.h>

#include <condition_variable>
#include <mutex>

namespace stria {

class LineOutput;

class PrintingSubscriber : public BLooper {
public:
	explicit PrintingSubscriber(LineOutput& output);

	// Prints "CATSCAN <barcode>" for each scan and "SHUTDOWN" when the
	// filter goes away. The filter is in this process: what another
	// process sends is not printed, so that no program can make up a scan
	// or the end in the server's output.
	void DispatchMessage(BMessage* message, BHandler* handler) override;
	void MessageReceived(BMessage* message) override;

	// Waits up to timeout microseconds for the SHUTDOWN line; false when it
	// did not come.
	bool WaitForShutdown(bigtime_t timeout);

private:
	LineOutput& fOutput;
	std::mutex fLock;
	std::condition_variable fShutdownCame;
	bool fShutdown = false;
};

} // namespace stria

#endif // STRIA_PRINTING_SUBSCRIBER_H
