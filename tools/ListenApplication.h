// stria-listen's application: subscribes to the input server's
// "CueCat [Keyboard]" device through the control socket, prints each scan
// that arrives, and ends on the server's shutdown notice, or with an error
// when there is no server or it goes away without one.
#ifndef STRIA_LISTEN_APPLICATION_H
#define STRIA_LISTEN_APPLICATION_H

#include "ScanLine.h"

#include <Application.h>

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class ListenApplication : public BApplication {
public:
	// controlSocket: the path find_input_device uses, for messages.
	ListenApplication(ScanFormat format, const std::string& controlSocket, FILE* output);
	~ListenApplication() override;

	void ReadyToRun() override;
	void MessageReceived(BMessage* message) override;
	bool QuitRequested() override;

	// B_OK after the server's shutdown notice or a quit request; else why
	// it failed (B_BAD_VALUE for a socket path that can never work).
	status_t Status() const { return fStatus; }

private:
	// Says why on standard error and quits with reason as the status.
	void _Fail(const std::string& why, status_t reason = B_ERROR);
	// Runs on a thread of its own: checks now and then that the server
	// still answers, and tells the application when it has gone.
	void _WatchServer();
	void _StopWatching();

	ScanFormat fFormat;
	std::string fControlSocket;
	FILE* fOutput;
	status_t fStatus;

	std::thread fWatcher;
	std::mutex fWatchLock;
	std::condition_variable fWatchWake;
	bool fStopWatching;
};

#endif // STRIA_LISTEN_APPLICATION_H
