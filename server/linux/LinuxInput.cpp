#include "LinuxInput.h"

#include "EvdevKeyboard.h"
#include "KeyboardList.h"
#include "UinputKeyboard.h"

namespace stria {

status_t LinuxInput::ListDevices(std::ostream& out)
{
	return KeyboardList().Print(out) ? B_OK : B_NAME_NOT_FOUND;
}

status_t LinuxInput::Open(const Options& options, Logger log, std::string& error)
{
	auto node = std::make_shared<EvdevNode>();
	EvdevKeyboard::Options keyboardOptions;
	keyboardOptions.grab = options.grab;
	keyboardOptions.fast = options.fast;
	for (const std::string& path : options.devices) {
		std::unique_ptr<EvdevKeyboard> keyboard =
		        EvdevKeyboard::Create(path, keyboardOptions, node, error);
		if (!keyboard) {
			bool notEvents = error.find("not a file of input events") != std::string::npos;
			return notEvents ? B_BAD_DATA : B_ERROR;
		}
		fSources.push_back(std::move(keyboard));
	}
	if (!options.grab && options.uinput && !options.devices.empty() && log) {
		log("--no-grab with --uinput: the desktop gets the keys of shared keyboards twice, "
		    "from the keyboard and from Stria");
	}
	if (options.uinput) {
		std::unique_ptr<UinputKeyboard> keyboard =
		        UinputKeyboard::CreateDevice(options.uinputPath, log, error);
		if (!keyboard)
			return B_ERROR;
		fSides.push_back(std::move(keyboard));
	}
	if (!options.uinputFile.empty()) {
		std::unique_ptr<UinputKeyboard> keyboard =
		        UinputKeyboard::CreateFile(options.uinputFile, log, error);
		if (!keyboard)
			return B_ERROR;
		fSides.push_back(std::move(keyboard));
	}
	return B_OK;
}

} // namespace stria
