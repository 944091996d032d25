// A keyboard made through uinput for the test machine: the scanner or the
// person's keyboard. It types sessions at the pace of their time stamps,
// can be unplugged and plugged in again, and keeps a /dev/input/by-id link
// to its node as udev would.
#ifndef STRIA_TEST_VM_TEST_KEYBOARD_H
#define STRIA_TEST_VM_TEST_KEYBOARD_H

#include "EventRecord.h"

#include <chrono>
#include <span>
#include <string>

namespace stria::test::vm {

class TestKeyboard {
public:
	// Plugs the keyboard in; throws std::runtime_error when it cannot.
	TestKeyboard(std::string name, std::string id);
	~TestKeyboard();

	TestKeyboard(const TestKeyboard&) = delete;
	TestKeyboard& operator=(const TestKeyboard&) = delete;

	void Plug();
	void Unplug();

	// The by-id link, which stays while the keyboard is away.
	std::string Link() const;
	// The event node, while plugged in.
	const std::string& Node() const { return fNode; }

	// Types records; each waits until start plus its distance from the
	// stamp origin. Records other than keys, scan codes and reports are
	// left out.
	void Play(std::span<const EventRecord> records, std::chrono::steady_clock::time_point start,
	          bigtime_t origin);
	// From now on, at the pace of the records' own stamps.
	void Play(std::span<const EventRecord> records);
	// One key change and its report, at once.
	void Key(uint16 code, int32 value);
	// Sets the Caps Lock light, as the desktop would.
	void SetCapsLock(bool on);

private:
	void Write(uint16 type, uint16 code, int32 value);

	std::string fName;
	std::string fId;
	int fFd = -1;
	std::string fNode;
};

// The event node of the input device named name, or "" while there is none.
std::string FindNode(const std::string& name);

} // namespace stria::test::vm

#endif // STRIA_TEST_VM_TEST_KEYBOARD_H
