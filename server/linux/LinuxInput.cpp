#include "LinuxInput.h"

#include "EvdevKeyboard.h"
#include "KeyboardList.h"
#include "UinputKeyboard.h"

namespace stria {

int LinuxInput::ListDevices(std::ostream& out)
{
	return KeyboardList().Print(out) ? 0 : 1;
}

bool LinuxInput::Open(const Options& options, Logger log, std::string& error, int& exitStatus)
{
	auto node = std::make_shared<EvdevNode>();
	EvdevKeyboard::Options keyboardOptions;
	keyboardOptions.grab = options.grab;
	keyboardOptions.fast = options.fast;
	for (const std::string& path : options.devices) {
		std::unique_ptr<EvdevKeyboard> keyboard =
		        EvdevKeyboard::Create(path, keyboardOptions, node, error);
		if (!keyboard) {
			exitStatus = error.find("not a file of input events") != std::string::npos ? 2 : 1;
			return false;
		}
		fSources.push_back(std::move(keyboard));
	}
	exitStatus = 1;
	if (!options.grab && options.uinput && !options.devices.empty() && log) {
		log("--no-grab with --uinput: the desktop gets the keys of shared keyboards twice, "
		    "from the keyboard and from Stria");
	}
	if (options.uinput) {
		std::unique_ptr<UinputKeyboard> keyboard =
		        UinputKeyboard::CreateDevice(options.uinputPath, {}, log, error);
		if (!keyboard)
			return false;
		fSides.push_back(std::move(keyboard));
	}
	if (!options.uinputFile.empty()) {
		std::unique_ptr<UinputKeyboard> keyboard =
		        UinputKeyboard::CreateFile(options.uinputFile, {}, log, error);
		if (!keyboard)
			return false;
		fSides.push_back(std::move(keyboard));
	}
	return true;
}

} // namespace stria
