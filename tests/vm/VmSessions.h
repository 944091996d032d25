// What the test machine's scanner and person type in each case, and where
// the guest leaves what it saw: shared by the program that runs in the guest
// and the tests that judge its results on the host.
#ifndef STRIA_TEST_VM_SESSIONS_H
#define STRIA_TEST_VM_SESSIONS_H

#include "FixtureSessions.h"

#include <cstdint>
#include <string>
#include <vector>

namespace stria::test::vm {

// The scanner's and the person's keyboards, made through uinput.
inline constexpr const char* kScannerName = "Stria Test Scanner";
inline constexpr const char* kKeyboardName = "Stria Test Keyboard";
// The names udev would give them under /dev/input/by-id.
inline constexpr const char* kScannerId = "usb-Stria_Test_Scanner-event-kbd";
inline constexpr const char* kKeyboardId = "usb-Stria_Test_Keyboard-event-kbd";

// Both keyboards at once: the person types while the scanner scans, so that
// their keys interleave; then a scan alone and more typing.
Session TypingPerson();
Session TypingScanner();

// The person holds a key while the server starts, then types.
Session HeldAtStartRest();

// Caps Lock: the person turns it on, types, turns it off.
Session CapsLockPerson();
Session CapsLockScanner();

// Before, while and after the scanner is away: typing and whole scans.
Session UnplugPerson();
Session UnplugScannerBefore();
Session UnplugScannerAfter();
// The first part of a scan, cut off by the unplugging.
Session CutScan();

// Scans for stria-listen.
Session ListenScanner();

// Scans whose codes the typer types (type = data, free-text = yes) while a
// desktop reader comes 50 ms late: a 13-digit book code, a Code 128 name,
// the book code again and a 40-character Code 128 label, one session each.
std::vector<Session> LateReaderScans();
// What the typer types for each: the code's data and Enter.
std::vector<std::string> LateReaderTyped();
// The desktop in the machine: Xorg reads only the virtual keyboard, and a
// plain X client holds the focus and logs what it gets (vm_desktop_client).
inline constexpr const char* kDesktopDisplay = ":1";
inline constexpr const char* kDesktopClientTitle = "Stria test client";

// A scan the typer types, and the text the focused application gets for it
// under the desktop's layout (Enter gives "\r").
struct TypedScan {
	std::string record;
	std::string barcode;
	std::string text;
};

// A keyboard layout of the desktop and what the typer must type under it.
struct DesktopLayout {
	std::string layout;
	std::string variant;
	// What the layout asks of the typer.
	std::string checks;
	std::vector<TypedScan> scans;

	// The case that runs it: "desktop" for us, whose case does more.
	std::string CaseName() const;
};

// The layouts the guest runs; the typer finds each on the X server.
std::vector<DesktopLayout> DesktopLayouts();

// The desktop case: the person types while the scanner scans, typer off.
Session DesktopPerson();
Session DesktopScanner();
// The latency scans: a 13-digit code, typed by the typer each time.
inline constexpr size_t kLatencyScans = 100;
Session LatencyScan();
inline constexpr const char* kLatencyText = "9780201889543\r";
// What the person types around the scans while every processor is busy,
// and a long code typed first: more keys than the kernel keeps for a
// reader (64 events) come in one go.
inline constexpr const char* kBusyBefore = "busy ";
TypedScan LongScan();
inline constexpr const char* kBusyAfter = "done\n";

// What the client logged, one event a line:
//   ready WINDOW              it has mapped WINDOW and taken the focus
//   key NS KEYSYM TEXT        a key press; TEXT in hex, "-" for none
//   focus-in NS / focus-out NS
//   mapped NS WINDOW NAME     another top-level window was mapped
// NS: CLOCK_MONOTONIC in nanoseconds.
struct DesktopKey {
	int64_t when;
	std::string text;
};
struct DesktopEvents {
	bool ready = false;
	std::vector<DesktopKey> keys; // those that gave text
	std::string text;
	size_t focusOuts = 0;
	std::vector<std::string> mapped; // names
};
// Adds the events of log's lines to events.
DesktopEvents ParseDesktopLog(const std::string& log, DesktopEvents events = {});
std::string Hex(const std::string& bytes);

// Folder of one case's results, relative to the results folder.
inline std::string CaseFolder(const std::string& results, const std::string& name)
{
	return results + "/" + name;
}

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_SESSIONS_H
