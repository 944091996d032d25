#include "ListenApplication.h"

#include "ServerReach.h"

#include <Input.h>
#include <Message.h>
#include <Messenger.h>
#include <private/InputServerControl.h>
#include <private/MessagingPortProblem.h>

#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

namespace {

// Sent by the watcher to the application.
const uint32 kServerGone = 'SGon';

// How often the watcher looks, and how long the server may be silent
// before it counts as gone: long enough for a server that is shutting down
// to deliver its notice first.
const std::chrono::milliseconds kWatchInterval(500);
const int kSilentChecksUntilGone = 4;

std::string describe_status(status_t status)
{
	switch (status) {
	case B_NAME_NOT_FOUND:
		return "it has no \"" + std::string(STRIA_DEVICE_NAME) +
		       "\" device (is the StriaDevice add-on loaded?)";
	case B_TIMED_OUT:
		return "it did not answer in time";
	case B_PERMISSION_DENIED:
		return "it belongs to another user";
	default:
		return "error " + std::to_string(status);
	}
}

} // namespace

ListenApplication::ListenApplication(ScanFormat format, const std::string& controlSocket,
                                     FILE* output)
    : BApplication("application/x-vnd.Stria-listen"), fFormat(format),
      fControlSocket(controlSocket), fOutput(output), fStatus(B_OK), fStopWatching(false)
{
}

ListenApplication::~ListenApplication()
{
	_StopWatching();
}

void ListenApplication::ReadyToRun()
{
	std::unique_ptr<BInputDevice> device(find_input_device(STRIA_DEVICE_NAME));
	if (!device) {
		Unreachable why = why_no_server_answers(fControlSocket);
		_Fail("no Stria input server answers at " + fControlSocket + ": " + why.message,
		      why.reason);
		return;
	}

	status_t status = subscribe_to_scans(BMessenger(this), device.get());
	// Without a message port of its own nothing could reach this process:
	// the subscription cannot be made, and the reason is the port's.
	std::string portProblem = status != B_OK ? BPrivate::message_port_problem() : "";
	if (!portProblem.empty()) {
		_Fail("cannot receive scans from another process: " + portProblem);
		return;
	}
	if (status != B_OK) {
		_Fail("the input server at " + fControlSocket +
		      " took no subscription: " + describe_status(status));
		return;
	}

	fWatcher = std::thread(&ListenApplication::_WatchServer, this);
}

void ListenApplication::MessageReceived(BMessage* message)
{
	switch (message->what) {
	case STRIA_CATSCAN: {
		const char* barcode = "";
		message->FindString(STRIA_BARCODE_FIELD, &barcode);
		bool checkFailed = false;
		message->FindBool(STRIA_CHECK_FAILED_FIELD, &checkFailed);
		std::string line = scan_line(barcode, fFormat, checkFailed) + "\n";
		errno = 0;
		if (fwrite(line.data(), 1, line.size(), fOutput) != line.size() || fflush(fOutput) != 0)
			_Fail(std::string("cannot write standard output: ") + strerror(errno ? errno : EIO));
		break;
	}
	case STRIA_SUBSCRIBE_REFUSED:
		_Fail("the input server at " + fControlSocket +
		      " took no subscription: it has as many subscribers as it serves");
		break;
	case STRIA_SHUTDOWN:
		fStatus = B_OK;
		Quit();
		break;
	case kServerGone:
		_Fail("the input server at " + fControlSocket + " went away without a shutdown notice");
		break;
	default:
		BApplication::MessageReceived(message);
		break;
	}
}

bool ListenApplication::QuitRequested()
{
	return true;
}

void ListenApplication::_Fail(const std::string& why, status_t reason)
{
	fprintf(stderr, "stria-listen: %s\n", why.c_str());
	fStatus = reason;
	Quit();
}

void ListenApplication::_WatchServer()
{
	int silentChecks = 0;
	std::unique_lock lock(fWatchLock);
	while (!fWatchWake.wait_for(lock, kWatchInterval, [this] { return fStopWatching; })) {
		lock.unlock();
		bool answers = BPrivate::control_socket_answers(fControlSocket.c_str());
		lock.lock();
		silentChecks = answers ? 0 : silentChecks + 1;
		if (silentChecks == kSilentChecksUntilGone) {
			PostMessage(kServerGone);
			return;
		}
	}
}

void ListenApplication::_StopWatching()
{
	{
		std::lock_guard lock(fWatchLock);
		fStopWatching = true;
	}
	fWatchWake.notify_all();
	if (fWatcher.joinable())
		fWatcher.join();
}
