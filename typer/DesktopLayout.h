// DesktopLayout: the keyboard layout the typer types a code for, found
// without the person configuring anything:
//
//  1. the typer's layout setting (and its variant), when it names one;
//  2. else the X server's live keymap, when a display is reachable (DISPLAY),
//     in the layout group the person has locked; the server's notices of a
//     new keymap or group are read before each code (see X11Keymap.h);
//  3. else the system's keyboard configuration (/etc/default/keyboard), its
//     first layout group, read again whenever the file changes;
//  4. else a US keyboard.
//
// Each layout is built once and kept while its source stays the same. The
// log gets a line whenever the layout codes are typed for changes, and one
// when a source that was there fails.
#ifndef STRIA_DESKTOP_LAYOUT_H
#define STRIA_DESKTOP_LAYOUT_H

#include "LayoutKeys.h"
#include "TyperSettings.h"

#include <sys/types.h>

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class X11Keymap;

class DesktopLayout {
public:
	using Logger = std::function<void(const std::string&)>;

	// Where the desktop's layout is looked for; an empty one is not.
	struct Sources {
		std::string display;
		std::string keyboardFile;
	};
	// DISPLAY and /etc/default/keyboard.
	static Sources SystemSources();

	explicit DesktopLayout(Sources sources, Logger log = {});
	~DesktopLayout();

	// The layout a code is typed for under settings; nullptr, with the
	// reason in *error, when the setting names a layout the system's
	// keyboard data lacks (a wrong name is never swapped for another layout).
	std::shared_ptr<const LayoutKeys> For(const TyperSettings& settings, std::string* error);

private:
	std::shared_ptr<const LayoutKeys> _FromDisplay();
	std::shared_ptr<const LayoutKeys> _FromFile();
	void _Log(const std::string& line);

	Sources fSources;
	Logger fLog;
	std::mutex fLock;

	LayoutNames fSetNames;
	std::shared_ptr<const LayoutKeys> fSet;

	std::unique_ptr<X11Keymap> fDisplay;
	bool fDisplayFailed = false;

	// What the file was when last read: a change of any reads it again.
	struct FileStamp {
		dev_t device = 0;
		ino_t inode = 0;
		off_t size = -1;
		timespec modified = {};
		bool operator==(const FileStamp& other) const;
	};
	FileStamp fFileStamp;
	std::shared_ptr<const LayoutKeys> fFromFile;

	std::shared_ptr<const LayoutKeys> fUs;
	std::string fUsing;
};

#endif // STRIA_DESKTOP_LAYOUT_H
