// A subscriber for tests: a looper that notes each STRIA_CATSCAN ("CATSCAN
// <barcode>", and " (check failed)" behind it when the scan says so) and
// STRIA_SHUTDOWN ("SHUTDOWN") it handles. Closing its gate
// makes it stall inside MessageReceived, like an application that stopped
// reading.
#ifndef STRIA_SCAN_COLLECTOR_H
#define STRIA_SCAN_COLLECTOR_H

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>

#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace filter_test {

class ScanCollector : public BLooper {
public:
	explicit ScanCollector(int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY)
	    : BLooper("scan collector", B_NORMAL_PRIORITY, portCapacity)
	{
	}

	// Starts a collector; stop it with Stop().
	static ScanCollector* Start(int32 portCapacity = B_LOOPER_PORT_DEFAULT_CAPACITY)
	{
		ScanCollector* collector = new ScanCollector(portCapacity);
		collector->Run();
		return collector;
	}

	// Opens the gate and ends the looper, which deletes it.
	void Stop()
	{
		SetGate(true);
		Lock();
		Quit();
	}

	BMessage Subscription() const
	{
		BMessage message;
		make_scan_subscription(BMessenger(this), &message);
		return message;
	}

	void SetGate(bool open)
	{
		std::lock_guard lock(fLock);
		fGateOpen = open;
		fChanged.notify_all();
	}

	// Waits (boundedly) until the collector is inside MessageReceived with
	// its gate closed.
	bool WaitUntilStalled()
	{
		std::unique_lock lock(fLock);
		return fChanged.wait_for(lock, std::chrono::seconds(20), [this] { return fStalled; });
	}

	// Waits until every message queued before has been handled (with the
	// gate open) and returns the notes.
	std::vector<std::string> Flush()
	{
		SetGate(true);
		// Sent, not posted: a post finds a small port that still holds a
		// scan full and is lost, and the wait would run into its limit.
		BMessage flush(kFlush);
		BMessenger(this).SendMessage(&flush, (BHandler*)NULL, B_INFINITE_TIMEOUT);
		std::unique_lock lock(fLock);
		fChanged.wait_for(lock, std::chrono::seconds(30), [this] { return fFlushed; });
		fFlushed = false;
		return fNoted;
	}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == kFlush) {
			std::lock_guard lock(fLock);
			fFlushed = true;
			fChanged.notify_all();
			return;
		}
		std::string noted;
		if (message->what == STRIA_CATSCAN) {
			const char* barcode = "(none)";
			message->FindString(STRIA_BARCODE_FIELD, &barcode);
			noted = std::string("CATSCAN ") + barcode;
			bool checkFailed = false;
			if (message->FindBool(STRIA_CHECK_FAILED_FIELD, &checkFailed) == B_OK)
				noted += checkFailed ? " (check failed)" : " (check passed)";
		} else if (message->what == STRIA_SHUTDOWN)
			noted = message->IsEmpty() ? "SHUTDOWN" : "SHUTDOWN with fields";
		else if (message->what == STRIA_SUBSCRIBE_REFUSED)
			noted = "REFUSED " + std::to_string(message->GetInt32(STRIA_ERROR_FIELD, 0));
		else {
			BLooper::MessageReceived(message);
			return;
		}
		std::unique_lock lock(fLock);
		fStalled = !fGateOpen;
		fChanged.notify_all();
		fChanged.wait(lock, [this] { return fGateOpen; });
		fStalled = false;
		fNoted.push_back(noted);
		fChanged.notify_all();
	}

	// Waits (boundedly) for count notes; returns them all.
	std::vector<std::string> WaitForNotes(size_t count)
	{
		std::unique_lock lock(fLock);
		fChanged.wait_for(lock, std::chrono::seconds(30), [&] { return fNoted.size() >= count; });
		return fNoted;
	}

	std::vector<std::string> Notes()
	{
		std::lock_guard lock(fLock);
		return fNoted;
	}

private:
	static constexpr uint32 kFlush = 'Flsh';

	std::mutex fLock;
	std::condition_variable fChanged;
	std::vector<std::string> fNoted;
	bool fGateOpen = true;
	bool fStalled = false;
	bool fFlushed = false;
};

} // namespace filter_test

#endif // STRIA_SCAN_COLLECTOR_H
