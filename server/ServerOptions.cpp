#include "ServerOptions.h"

#include <algorithm>

namespace stria {

ParsedServerOptions ParseServerOptions(std::span<const std::string> arguments)
{
	ParsedServerOptions parsed;
	ServerOptions& options = parsed.options;
	auto fail = [&](std::string message) {
		parsed.error = std::move(message);
		return parsed;
	};

	for (size_t index = 0; index < arguments.size(); index++) {
		std::string word = arguments[index];
		std::optional<std::string> attached;
		if (word.starts_with("--")) {
			size_t equals = word.find('=');
			if (equals != std::string::npos) {
				attached = word.substr(equals + 1);
				word.resize(equals);
			}
		}
		auto value = [&](std::string* target) -> bool {
			if (attached) {
				*target = *attached;
			} else if (index + 1 < arguments.size()) {
				*target = arguments[++index];
			} else {
				return false;
			}
			return !target->empty();
		};
		auto flag = [&](bool* target) -> bool {
			*target = true;
			return !attached;
		};

		if (word == "--help" || word == "-h") {
			if (!flag(&options.help))
				return fail("--help takes no value");
		} else if (word == "--add-ons") {
			// A valued option names one thing; a second one would
			// silently replace the first.
			if (!options.addOnFolder.empty())
				return fail("--add-ons is given twice");
			if (!value(&options.addOnFolder))
				return fail("--add-ons needs a folder");
		} else if (word == "--control-socket") {
			if (!options.controlSocket.empty())
				return fail("--control-socket is given twice");
			if (!value(&options.controlSocket))
				return fail("--control-socket needs a path");
		} else if (word == "--replay") {
			std::string script;
			if (!value(&script))
				return fail("--replay needs a file (or - for standard input)");
			if (script == "-") {
				for (const std::string& earlier : options.replays) {
					if (earlier == "-")
						return fail("standard input can be replayed only once");
				}
			}
			options.replays.push_back(script);
		} else if (word == "--device") {
			std::string device;
			if (!value(&device))
				return fail("--device needs a path (--list-devices shows the keyboards)");
			if (std::find(options.devices.begin(), options.devices.end(), device) !=
			    options.devices.end())
				return fail("--device " + device + " is given twice");
			options.devices.push_back(device);
		} else if (word == "--no-grab") {
			bool noGrab = false;
			if (!flag(&noGrab))
				return fail("--no-grab takes no value");
			options.grab = false;
		} else if (word == "--list-devices") {
			if (!flag(&options.listDevices))
				return fail("--list-devices takes no value");
		} else if (word == "--uinput") {
			if (!flag(&options.uinput))
				return fail("--uinput takes no value");
		} else if (word == "--uinput-file") {
			if (!options.uinputFile.empty())
				return fail("--uinput-file is given twice");
			if (!value(&options.uinputFile))
				return fail("--uinput-file needs a path");
		} else if (word == "--fast") {
			if (!flag(&options.fast))
				return fail("--fast takes no value");
		} else if (word == "--print") {
			if (!flag(&options.print))
				return fail("--print takes no value");
		} else if (word == "--snapshot") {
			if (!options.snapshot.empty())
				return fail("--snapshot is given twice");
			if (!value(&options.snapshot))
				return fail("--snapshot needs a file name for the PNG picture");
		} else if (word == "--subscribe") {
			if (!flag(&options.subscribe))
				return fail("--subscribe takes no value");
		} else if (word.starts_with("-") && word != "-") {
			return fail("unknown option '" + word + "'");
		} else {
			return fail("unexpected argument '" + word + "'");
		}
	}
	if (options.help)
		return parsed;

	// Options that make no sense together are refused rather than one of
	// them quietly ignored.
	if (options.listDevices) {
		ServerOptions alone;
		alone.listDevices = true;
		if (!(options == alone))
			return fail("--list-devices takes no other option");
	}
	if (options.uinput && !options.uinputFile.empty())
		return fail("choose one of --uinput and --uinput-file, not both");
	if (!options.grab && options.devices.empty())
		return fail("--no-grab needs --device: it leaves the --device keyboards shared");
	if (options.fast && options.replays.empty() && options.devices.empty())
		return fail("--fast needs --replay or --device: it plays their input without waiting");
	return parsed;
}

std::string ServerUsage()
{
	return R"(usage: stria-input-server [OPTIONS]

Loads the input-server add-ons, runs every message of its input devices
through their filters on one thread, and hands what passes to applications.
Stops on SIGINT or SIGTERM, or when every input device has reached its end.
Scans are listed in the viewer window, on the X display when DISPLAY is set
(see --snapshot for a picture of it without one).

Options:
  --add-ons DIR          load the add-ons in DIR (default: the add-ons folder
                         of the build or of the installation the program is in)
  --control-socket PATH  take control requests of other processes at PATH
                         (default: input_server in the user's runtime
                         directory, $XDG_RUNTIME_DIR/stria/)
  --replay FILE          play the replay script FILE (- for standard input);
                         may be given more than once
  --device PATH          read a keyboard: an evdev node such as
                         /dev/input/by-id/usb-...-event-kbd, taken for Stria
                         alone; a file of recorded input events (raw 24-byte
                         struct input_event records), played at the pace of
                         its time stamps; or a FIFO of such records. May be
                         given more than once. A keyboard that is unplugged
                         is taken up again when it comes back.
  --no-grab              leave --device keyboards shared with the desktop
                         (their keys then reach it twice with --uinput)
  --list-devices         list the keyboards with their names and
                         /dev/input/by-id paths, and exit
  --fast                 play replay scripts and event files without waiting
                         for their times
  --print                print each message that reaches applications, a line each
  --uinput               type each key that reaches applications on a virtual
                         keyboard, "Stria virtual keyboard" (needs /dev/uinput)
  --uinput-file PATH     write the virtual keyboard's input event records to
                         PATH (a regular file, or a FIFO whose reader runs
                         already) instead of --uinput
  --subscribe            subscribe to scans like an application and print
                         CATSCAN <barcode> for each, SHUTDOWN at the end
  --snapshot FILE        when the server stops, draw the viewer window (the
                         newest one, with every scan it shows) into the PNG
                         picture FILE; without a window, FILE is not written
  -h, --help             show this text

Each option but --replay and --device is given at most once; --list-devices
stands alone, --no-grab needs --device and --fast needs --replay or --device.

Replay scripts have one event a line ('#' starts a comment line; times in
microseconds, never going back; numbers decimal or 0x hex; a byte may be a
character in single quotes such as '.'):
  <when> down <key> <byte> [<modifiers>]   a key-down
  <when> up <key> [<modifiers>]            a key-up
  <when> modifiers <modifiers>             a modifier change
  <when> control <code> [empty|subscribe]  a Control call on "CueCat [Keyboard]"
                                           (subscribe: with the messenger of
                                           --subscribe)
  <when> scan <record>                     the keys a CueCat types for a record
  <when> type <text>                       the keys a person types for text
A script is at most 16 MiB, a line at most 65536 bytes, and a script
describes at most 1048576 key events (two for each character of a scan or
type line).

Printed lines:
  KEY_DOWN when=<when> key=<key> byte=<byte> modifiers=<modifiers>
  KEY_UP when=<when> key=<key> modifiers=<modifiers>
  UNMAPPED_KEY_DOWN / UNMAPPED_KEY_UP when=<when> key=<key> modifiers=<modifiers>
  MODIFIERS when=<when> modifiers=<modifiers>
  MESSAGE what=0x<code>

A real scanner: install the udev rule share/stria/70-stria.rules (it gives
the person at the seat the scanner's node and /dev/uinput), find the scanner
with --list-devices, and start the systemd user unit
stria-input-server@<name>.service, <name> being the scanner's file name in
/dev/input/by-id; it runs, in the graphical session,
  stria-input-server --device /dev/input/by-id/<name> --uinput

Exit status: 0 when done; 1 when the server could not run (a device or
/dev/uinput that cannot be opened, a FIFO nobody reads, another server on
the control socket) or what it prints or types could not be written; 2 for
a usage error, a --snapshot or --control-socket path that cannot be used, a
bad replay script, or a file or FIFO that is not input events.
)";
}

} // namespace stria
