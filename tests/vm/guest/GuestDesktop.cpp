#include "GuestDesktop.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace stria::test::vm {

namespace {

const std::string kXorg = "/usr/lib/xorg/Xorg";
const std::string kClient = STRIA_BINARY_DIR "/bin/vm_desktop_client";

std::string ReadFile(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}

// No other input device: not the test keyboards, which the server holds,
// nor any the X server would find on its own. The virtual keyboard has the
// name a desktop that finds it on its own gives it: the kernel's.
std::string XorgConfig(const std::string& keyboard, const DesktopLayout& layout)
{
	std::string config = R"(Section "ServerFlags"
	Option "AutoAddDevices" "off"
	Option "AutoAddGPU" "off"
	Option "DontVTSwitch" "on"
EndSection
Section "Device"
	Identifier "video"
	Driver "dummy"
	VideoRam 16384
EndSection
Section "Monitor"
	Identifier "monitor"
	HorizSync 5.0-1000.0
	VertRefresh 5.0-200.0
EndSection
Section "Screen"
	Identifier "screen"
	Device "video"
	Monitor "monitor"
	DefaultDepth 24
	SubSection "Display"
		Depth 24
		Modes "1024x768"
	EndSubSection
EndSection
Section "InputDevice"
	Identifier "Stria virtual keyboard"
	Driver "evdev"
	Option "Device" ")" + keyboard +
	                     R"("
	Option "XkbLayout" ")" +
	                     layout.layout + R"("
)";
	if (!layout.variant.empty())
		config += "\tOption \"XkbVariant\" \"" + layout.variant + "\"\n";
	config += R"(EndSection
Section "ServerLayout"
	Identifier "layout"
	Screen "screen"
	InputDevice "Stria virtual keyboard" "CoreKeyboard"
EndSection
)";
	return config;
}

} // namespace

GuestDesktop::GuestDesktop(const GuestCase& run, const std::string& keyboard,
                           const DesktopLayout& layout, const std::string& tag)
    : fRun(run), fTag(tag), fLog(run.Scratch() + "/" + tag + "-client.log"),
      fXorgLog(run.Scratch() + "/" + tag + "-Xorg.log")
{
	const std::string config = run.Scratch() + "/" + tag + "-xorg.conf";
	const std::string configs = run.Scratch() + "/xorg.conf.d";
	std::ofstream(config) << XorgConfig(keyboard, layout);
	fs::create_directories(configs);
	run.Save(tag + "-xorg.conf", XorgConfig(keyboard, layout));
	run.Note(tag + ": X server started");
	// The root here is the host's, read only: the log goes to the guest's
	// /tmp, and so do the keymaps the X server compiles.
	fXorg = std::make_unique<ServerProcess>(
	        kXorg, std::vector<std::string>{kDesktopDisplay, "-config", config, "-configdir",
	                                        configs, "-logfile", fXorgLog, "-nolisten", "tcp",
	                                        "-noreset", "-novtswitch", "vt7"});
	// The client waits for the X server, which listens before it is ready.
	for (int tries = 0; tries < 600 && !fs::exists("/tmp/.X11-unix/X1"); tries++) {
		if (fXorg->Wait(0s))
			break;
		std::this_thread::sleep_for(100ms);
	}
	::setenv("DISPLAY", kDesktopDisplay, 1);
	fClient = std::make_unique<ServerProcess>(kClient, std::vector<std::string>{fLog});
	::unsetenv("DISPLAY");
	if (!WaitFor([](const DesktopEvents& events) { return events.ready; }, 120s)) {
		Save();
		throw std::runtime_error(tag + ": the desktop did not come up: " + fClient->Errors() +
		                         fXorg->Errors());
	}
	run.Note(tag + ": the client has the focus");
}

GuestDesktop::~GuestDesktop()
{
	if (fClient)
		fClient->Signal(SIGTERM);
	if (fXorg)
		fXorg->Signal(SIGTERM);
	Save();
}

void GuestDesktop::KillX()
{
	fRun.Note(fTag + ": X server killed");
	fXorg->Signal(SIGKILL);
	fXorg->Wait(60s);
	fClient->Wait(60s);
	// A killed server leaves its socket and lock; the next one replaces
	// them, but the guest waits for its socket to know it is up.
	std::error_code error;
	fs::remove("/tmp/.X11-unix/X1", error);
	fs::remove("/tmp/.X1-lock", error);
	Save();
}

void GuestDesktop::Save()
{
	if (fSaved)
		return;
	if (fClient && fClient->Wait(30s) == std::nullopt)
		fClient->Signal(SIGKILL);
	if (fXorg && fXorg->Wait(30s) == std::nullopt)
		fXorg->Signal(SIGKILL);
	fSaved = true;
	fRun.Save(fTag + "-client.log", ReadFile(fLog));
	fRun.Save(fTag + "-client.err", fClient ? fClient->Errors() : "");
	fRun.Save(fTag + "-Xorg.log", ReadFile(fXorgLog));
}

DesktopEvents GuestDesktop::Events() const
{
	// Only what came since the last look, and whole lines only: the log
	// grows by a line a key while the guest measures.
	std::ifstream in(fLog, std::ios::binary);
	in.seekg(static_cast<std::streamoff>(fRead));
	std::stringstream more;
	more << in.rdbuf();
	const std::string text = more.str();
	const size_t end = text.rfind('\n');
	if (end != std::string::npos) {
		fEvents = ParseDesktopLog(text.substr(0, end + 1), std::move(fEvents));
		fRead += end + 1;
	}
	return fEvents;
}

bool GuestDesktop::WaitFor(const std::function<bool(const DesktopEvents&)>& done,
                           std::chrono::seconds limit) const
{
	const auto end = std::chrono::steady_clock::now() + limit;
	for (;;) {
		if (done(Events()))
			return true;
		if (std::chrono::steady_clock::now() > end)
			return false;
		std::this_thread::sleep_for(5ms);
	}
}

bool GuestDesktop::WaitForText(size_t characters, std::chrono::seconds limit) const
{
	return WaitFor(
	        [characters](const DesktopEvents& events) { return events.text.size() >= characters; },
	        limit);
}

} // namespace stria::test::vm
