// StriaTyper: the input-server device add-on that types each scan where the
// person is typing. It subscribes to "CueCat [Keyboard]" like any
// application and, for each scan, puts into the input stream the keys that
// type the text its settings choose (the code's data, the whole code, the
// ISBN-10 or the viewer's label) under the desktop's keyboard layout, and an
// end key. Its keys
// pass the filters and reach applications like a person's; being a device
// add-on's, they never open a capture of the filter.
//
// Settings come from the settings file at start (see TyperSettingsFile.h)
// and change at run time through its own device, "Stria Typer", with
// STRIA_TYPER_SETTINGS (see StriaProtocol.h).
#ifndef STRIA_TYPER_H
#define STRIA_TYPER_H

#include "TyperSettings.h"
#include "Typist.h"

#include <InputServerDevice.h>

#include <memory>
#include <mutex>
#include <string>

class StriaClock;
class TyperLooper;

class StriaTyper : public BInputServerDevice {
public:
	// Reads the settings file; clock: what the keys are stamped and paced
	// by (by default the input server's); layouts: the keyboard layout each
	// code is typed for (by default the desktop's, see DesktopLayout.h).
	StriaTyper();
	StriaTyper(const TyperSettings& settings, StriaClock* clock, Typist::Layouts layouts = {});
	~StriaTyper() override;

	// Registers "Stria Typer".
	status_t InitCheck() override;
	// Starts the looper and subscribes it to "CueCat [Keyboard]"; B_OK
	// also without that device (nothing is typed then, said in a log line).
	status_t Start(const char* device, void* cookie) override;
	// The code being typed stops at once, letting go of the keys it holds;
	// no other starts.
	status_t Stop(const char* device, void* cookie) override;
	status_t SystemShuttingDown() override;
	// STRIA_TYPER_SETTINGS; B_BAD_VALUE for other codes.
	status_t Control(const char* device, void* cookie, uint32 code, BMessage* message) override;

	TyperSettings Settings() const;

private:
	static void _Log(const std::string& line);
	status_t _ChangeSettings(BMessage* message);
	// The layout and variant fields of message into *settings: empty when
	// they apply, else why not (a name the system's keyboard data lacks).
	std::string _ChangeLayout(const BMessage* message, TyperSettings* settings);

	std::unique_ptr<Typist> fTypist;
	TyperLooper* fLooper = nullptr; // deletes itself on Quit
	std::mutex fLooperLock;
	// One settings change at a time: each reads, changes and writes back.
	std::mutex fSettingsLock;
};

#endif // STRIA_TYPER_H
