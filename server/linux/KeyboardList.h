// The keyboards this machine has, for --list-devices: each evdev node whose
// keys include a typing keyboard's, with its name and the stable paths
// under /dev/input/by-id (and by-path) that lead to it. Read from sysfs, so
// that listing works before the user may open the nodes.
#ifndef STRIA_KEYBOARD_LIST_H
#define STRIA_KEYBOARD_LIST_H

#include <ostream>
#include <string>
#include <vector>

namespace stria {

class KeyboardList {
public:
	struct Keyboard {
		std::string node;               // /dev/input/eventN
		std::string name;               // what the device calls itself
		std::vector<std::string> links; // by-id paths first, then by-path
		bool readable = false;          // this user may open the node
	};

	explicit KeyboardList(std::string classRoot = "/sys/class/input",
	                      std::string deviceRoot = "/dev/input");

	std::vector<Keyboard> Find() const;

	// The listing as --list-devices prints it; false when there is none
	// (the text then says so and where it looked).
	bool Print(std::ostream& out) const;

	// Parses a sysfs capability bitmap ("120013 0 ... fffffffe", words of
	// the machine's long, most significant first) and tests one bit.
	static bool HasBit(const std::string& bitmap, unsigned bit);

private:
	std::string fClassRoot;
	std::string fDeviceRoot;
};

} // namespace stria

#endif // STRIA_KEYBOARD_LIST_H
