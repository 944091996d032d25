// stria-input-server's Linux keyboards: the input devices of --device (evdev
// nodes, event files, FIFOs), the application sides of --uinput and
// --uinput-file, and --list-devices. Everything is opened before the server
// starts, so that a bad path stops it with a clear message.
#ifndef STRIA_LINUX_INPUT_H
#define STRIA_LINUX_INPUT_H

#include "ApplicationSide.h"
#include "InputSource.h"

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace stria {

class LinuxInput {
public:
	struct Options {
		std::vector<std::string> devices;
		bool grab = true;
		bool fast = false;
		bool uinput = false;
		std::string uinputFile;
		std::string uinputPath = "/dev/uinput";
	};

	using Logger = std::function<void(const std::string&)>;

	// Prints the keyboards for --list-devices; B_NAME_NOT_FOUND when there
	// is none.
	static status_t ListDevices(std::ostream& out);

	// Opens every device and virtual keyboard. On failure error names the
	// path and what is wrong, and the result is B_BAD_DATA for a file that
	// is not a file of input events, B_ERROR for anything else.
	status_t Open(const Options& options, Logger log, std::string& error);

	bool HasApplicationSide() const { return !fSides.empty(); }

	std::vector<std::unique_ptr<InputSource>> TakeSources() { return std::move(fSources); }
	std::vector<std::unique_ptr<ApplicationSide>> TakeApplicationSides()
	{
		return std::move(fSides);
	}

private:
	std::vector<std::unique_ptr<InputSource>> fSources;
	std::vector<std::unique_ptr<ApplicationSide>> fSides;
};

} // namespace stria

#endif // STRIA_LINUX_INPUT_H
