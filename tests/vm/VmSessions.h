// What the test machine's scanner and person type in each case, and where
// the guest leaves what it saw: shared by the program that runs in the guest
// and the tests that judge its results on the host.
#ifndef STRIA_TEST_VM_SESSIONS_H
#define STRIA_TEST_VM_SESSIONS_H

#include "FixtureSessions.h"

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

// Folder of one case's results, relative to the results folder.
inline std::string CaseFolder(const std::string& results, const std::string& name)
{
	return results + "/" + name;
}

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_SESSIONS_H
