#include "DesktopLayout.h"

#include "KeyboardDefaults.h"
#include "X11Keymap.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

bool DesktopLayout::FileStamp::operator==(const FileStamp& other) const
{
	return device == other.device && inode == other.inode && size == other.size &&
	       modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

DesktopLayout::Sources DesktopLayout::SystemSources()
{
	const char* display = getenv("DISPLAY");
	return {display != nullptr ? display : "", "/etc/default/keyboard"};
}

DesktopLayout::DesktopLayout(Sources sources, Logger log)
    : fSources(std::move(sources)), fLog(std::move(log))
{
}

DesktopLayout::~DesktopLayout() = default;

void DesktopLayout::_Log(const std::string& line)
{
	if (fLog)
		fLog(line);
}

std::shared_ptr<const LayoutKeys> DesktopLayout::For(const TyperSettings& settings,
                                                     std::string* error)
{
	std::lock_guard lock(fLock);
	std::shared_ptr<const LayoutKeys> layout;
	std::string source;
	if (!settings.layout.empty()) {
		const LayoutNames names = {"", settings.layout, settings.variant, ""};
		if (!fSet || names != fSetNames) {
			std::string why;
			fSet = LayoutKeys::FromNames(names, &why);
			fSetNames = names;
			if (!fSet) {
				*error = why + " (the typer's layout setting)";
				fUsing.clear();
				return nullptr;
			}
		}
		layout = fSet;
		source = "the typer's layout setting";
	}
	if (!layout && (layout = _FromDisplay()))
		source = "the desktop";
	if (!layout && (layout = _FromFile()))
		source = fSources.keyboardFile;
	if (!layout) {
		if (!fUs) {
			if (!(fUs = LayoutKeys::FromNames({"", "us", "", ""}, error)))
				return nullptr;
		}
		layout = fUs;
		source = "no X display or keyboard configuration names one";
	}
	const std::string now = layout->Name() + " (" + source + ")";
	if (now != fUsing) {
		fUsing = now;
		_Log("codes are typed for the keyboard layout " + now);
	}
	return layout;
}

std::shared_ptr<const LayoutKeys> DesktopLayout::_FromDisplay()
{
	if (fSources.display.empty())
		return nullptr;
	std::string why;
	if (!fDisplay)
		fDisplay = X11Keymap::Connect(fSources.display, &why);
	std::shared_ptr<const LayoutKeys> layout;
	if (fDisplay && !(layout = fDisplay->Current(&why)))
		fDisplay.reset();
	// One line when the display goes or cannot be had, not one per code;
	// the next code tries again.
	if (!layout && !fDisplayFailed)
		_Log("cannot read the keyboard layout of the desktop: " + why);
	fDisplayFailed = !layout;
	return layout;
}

std::shared_ptr<const LayoutKeys> DesktopLayout::_FromFile()
{
	const std::string& path = fSources.keyboardFile;
	struct stat info;
	if (path.empty() || ::stat(path.c_str(), &info) != 0) {
		fFileStamp = {};
		fFromFile.reset();
		return nullptr;
	}
	const FileStamp stamp = {info.st_dev, info.st_ino, info.st_size, info.st_mtim};
	if (stamp == fFileStamp)
		return fFromFile;
	fFileStamp = stamp;
	fFromFile.reset();

	std::ifstream file(path);
	std::stringstream text;
	if (file.is_open())
		text << file.rdbuf();
	if (!file.is_open() || file.bad()) {
		_Log("cannot read " + path + ": " + strerror(errno ? errno : EIO));
		return nullptr;
	}
	const LayoutNames names = ParseKeyboardDefaults(text.str());
	if (names.layout.empty())
		return nullptr;
	std::string why;
	fFromFile = LayoutKeys::FromNames(names, &why);
	if (!fFromFile)
		_Log(path + ": " + why);
	return fFromFile;
}
