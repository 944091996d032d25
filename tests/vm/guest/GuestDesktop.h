// A desktop of the test machine: Debian's Xorg (dummy video, evdev input)
// reading only the server's virtual keyboard under a keyboard layout, and
// the client that holds the focus (vm_desktop_client). What they logged goes
// into the case's results folder.
#ifndef STRIA_TEST_VM_GUEST_DESKTOP_H
#define STRIA_TEST_VM_GUEST_DESKTOP_H

#include "GuestCase.h"
#include "VmSessions.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace stria::test::vm {

class GuestDesktop {
public:
	// Starts Xorg on kDesktopDisplay with keyboard (the virtual keyboard's
	// event node) as its only input device, and the client; returns once
	// the client has the focus. tag names its files in the results.
	GuestDesktop(const GuestCase& run, const std::string& keyboard, const DesktopLayout& layout,
	             const std::string& tag);
	// Stops the client and Xorg (when still there) and saves their logs.
	~GuestDesktop();

	// Kills Xorg as a crash would (SIGKILL); the client goes with it.
	void KillX();

	DesktopEvents Events() const;
	// Waits up to limit until the events satisfy done; its last answer.
	bool WaitFor(const std::function<bool(const DesktopEvents&)>& done,
	             std::chrono::seconds limit) const;
	// Waits until the client's text holds characters bytes.
	bool WaitForText(size_t characters, std::chrono::seconds limit) const;

private:
	void Save();

	const GuestCase& fRun;
	std::string fTag;
	std::string fLog;
	std::string fXorgLog;
	std::unique_ptr<ServerProcess> fXorg;
	std::unique_ptr<ServerProcess> fClient;
	bool fSaved = false;
	// What Events has read of the client's log so far.
	mutable size_t fRead = 0;
	mutable DesktopEvents fEvents;
};

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_GUEST_DESKTOP_H
