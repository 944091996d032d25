// The program the test machine runs: each case makes a scanner and a
// person's keyboard through uinput, runs stria-input-server on them with a
// real virtual keyboard, types at the pace of real hands and of the scanner,
// and leaves what it saw in the results folder. The host judges it.
//
//   vm_guest RESULTS [CASE...]
#include "GuestCase.h"
#include "GuestDesktop.h"
#include "VmSessions.h"

#include "../../barcode/record_encoder.h"
#include "UinputKeyboard.h"
#include "UsKeyboard.h"

#include <linux/input.h>
#include <linux/uinput.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using namespace stria;
using namespace stria::test;
using namespace stria::test::vm;

namespace {

const std::string kBin = STRIA_BINARY_DIR "/bin";

std::string Join(const std::vector<uint16>& codes)
{
	std::string text;
	for (uint16 code : codes)
		text += (text.empty() ? "" : " ") + std::to_string(code);
	return text;
}

// Whether nobody else holds node: a grab of our own then succeeds.
bool IsFree(const std::string& node)
{
	const int fd = ::open(node.c_str(), O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return false;
	const bool free = ::ioctl(fd, EVIOCGRAB, 1) == 0;
	if (free)
		::ioctl(fd, EVIOCGRAB, 0);
	::close(fd);
	return free;
}

// Waits until the virtual keyboard has typed presses key presses and let go
// of every key.
bool WaitTyped(NodeReader& typed, size_t presses)
{
	return typed.WaitFor(
	        [presses](const std::vector<EventRecord>& records) {
		        size_t count = 0;
		        std::map<uint16, bool> down;
		        for (const EventRecord& record : records) {
			        if (record.type != EV_KEY)
				        continue;
			        count += record.value == 1;
			        down[record.code] = record.value != 0;
		        }
		        for (const auto& [code, isDown] : down) {
			        if (isDown)
				        return false;
		        }
		        return count >= presses;
	        },
	        30000ms);
}

// Both keyboards at once; a second reader on the scanner while the server
// has it and after; --list-devices.
void Typing(const std::string& results)
{
	GuestCase run(results, "typing");
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	ServerProcess list(kBin + "/stria-input-server", {"--list-devices"});
	run.Fact("list-devices-status", std::to_string(list.Wait(60s).value_or(-1)));
	run.Save("list-devices.out", list.Output());

	NodeReader other(scanner.Node());
	run.StartServer({&scanner, &keyboard});
	const Session person = TypingPerson();
	const Session scans = TypingScanner();
	PlayTogether({{keyboard, person.records}, {scanner, scans.records}},
	             std::min(*person.records.front().When(), *scans.records.front().When()));
	run.Fact("typed-in-time", WaitTyped(run.Typed(), person.personPresses.size()) ? "yes" : "no");
	run.WaitForOutput("CATSCAN", scans.barcodes.size(), 30s);
	run.StopServer(SIGTERM);

	const size_t whileHeld = other.Records().size();
	run.SaveRecords("other-held.events", other.Records());
	// Free again: the other reader gets the scanner's keys.
	scanner.Key(KEY_X, 1);
	scanner.Key(KEY_X, 0);
	other.WaitFor([&](const auto& records) { return records.size() >= whileHeld + 4; }, 10000ms);
	std::vector<EventRecord> after = other.Records();
	after.erase(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(whileHeld));
	run.SaveRecords("other-free.events", after);
}

// A key of the person's is down as the server starts and comes up while it
// waits to take the keyboard.
void HeldAtStart(const std::string& results)
{
	GuestCase run(results, "held-at-start");
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	NodeReader desktop(keyboard.Node());
	keyboard.Key(KEY_K, 1);
	// Let go while the server waits for the keyboard to be let go of.
	std::thread release([&] {
		std::this_thread::sleep_for(700ms);
		keyboard.Key(KEY_K, 0);
	});
	try {
		run.StartServer({&keyboard});
	} catch (...) {
		release.join();
		throw;
	}
	release.join();
	const Session rest = HeldAtStartRest();
	keyboard.Play(rest.records);
	run.Note("played");
	WaitTyped(run.Typed(), rest.personPresses.size());
	run.Note("typed");
	run.StopServer(SIGTERM);
	desktop.Stop();
	run.SaveRecords("desktop.events", desktop.Records());
}

// Caps Lock's light on at the scanner; the person's Caps Lock during a scan.
void CapsLock(const std::string& results)
{
	GuestCase run(results, "caps-lock");
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	scanner.SetCapsLock(true);
	run.StartServer({&scanner, &keyboard});
	const Session person = CapsLockPerson();
	const Session scans = CapsLockScanner();
	PlayTogether({{keyboard, person.records}, {scanner, scans.records}},
	             *person.records.front().When());
	run.Note("played");
	WaitTyped(run.Typed(), person.personPresses.size());
	run.Note("typed");
	run.WaitForOutput("CATSCAN", scans.barcodes.size(), 30s);
	run.Note("scanned");
	run.StopServer(SIGTERM);
}

// The scanner unplugged and plugged in again between scans and in the
// middle of one.
void Unplug(const std::string& results)
{
	GuestCase run(results, "unplug");
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	run.StartServer({&scanner, &keyboard});

	auto replug = [&](size_t times) {
		scanner.Unplug();
		run.WaitForErrors("has gone", times, 30s);
		scanner.Plug();
		run.WaitForErrors("is back", times, 30s);
	};
	scanner.Play(UnplugScannerBefore().records);
	run.WaitForOutput("CATSCAN", 1, 30s);
	replug(1);
	keyboard.Play(UnplugPerson().records);
	WaitTyped(run.Typed(), UnplugPerson().personPresses.size());
	scanner.Play(CutScan().records);
	replug(2);
	const Session after = UnplugScannerAfter();
	scanner.Play(after.records);
	run.WaitForOutput("CATSCAN", 1 + after.barcodes.size(), 30s);
	run.StopServer(SIGTERM);
}

// SIGKILL while the person holds keys: the virtual keyboard goes, and with
// it every key it held; the keyboards are free again.
void Killed(const std::string& results)
{
	GuestCase run(results, "sigkill");
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	run.StartServer({&scanner, &keyboard});
	keyboard.Key(KEY_LEFTSHIFT, 1);
	keyboard.Key(KEY_A, 1);
	run.Typed().WaitFor([](const auto& records) { return CountPresses(records, KEY_A) > 0; },
	                    30000ms);
	run.Fact("keys-down-before", Join(run.Typed().KeysDown()));
	run.Server().Signal(SIGKILL);
	run.Fact("virtual-keyboard-gone", run.Typed().WaitGone(30000ms) ? "yes" : "no");
	run.StopServer(SIGKILL);
	run.Fact("scanner-free", IsFree(scanner.Node()) ? "yes" : "no");
	run.Fact("keyboard-free", IsFree(keyboard.Node()) ? "yes" : "no");
	keyboard.Key(KEY_A, 0);
	keyboard.Key(KEY_LEFTSHIFT, 0);
}

// A stop signal after a scan, with Shift held on the virtual keyboard.
void Stopped(const std::string& results, int signal, const std::string& name)
{
	GuestCase run(results, "signal-" + name);
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	run.StartServer({&scanner, &keyboard});
	scanner.Play(UnplugScannerBefore().records);
	run.WaitForOutput("CATSCAN", 1, 30s);
	keyboard.Key(KEY_LEFTSHIFT, 1);
	run.Typed().WaitFor(
	        [](const auto& records) { return CountPresses(records, KEY_LEFTSHIFT) > 0; }, 30000ms);
	run.StopServer(signal);
	run.Fact("socket-left", fs::exists(run.ControlSocket()) ? "yes" : "no");
	run.Fact("scanner-free", IsFree(scanner.Node()) ? "yes" : "no");
	keyboard.Key(KEY_LEFTSHIFT, 0);
}

// Scans the probe until listener prints one: then it has subscribed.
size_t Subscribe(TestKeyboard& scanner, ServerProcess& listener)
{
	const Session probe = UnplugScannerBefore();
	for (size_t probes = 1; probes <= 15; probes++) {
		scanner.Play(probe.records);
		if (listener.WaitForLines(1, 2s))
			return probes;
	}
	throw std::runtime_error("stria-listen printed no scan: " + listener.Errors());
}

// Waits until listener's last lines are barcodes.
void WaitForScans(ServerProcess& listener, const std::vector<std::string>& barcodes)
{
	const auto end = std::chrono::steady_clock::now() + 30s;
	while (std::chrono::steady_clock::now() < end) {
		const std::vector<std::string> lines = Lines(listener.Output());
		if (lines.size() >= barcodes.size() &&
		    std::equal(barcodes.begin(), barcodes.end(), lines.end() - barcodes.size()))
			return;
		std::this_thread::sleep_for(50ms);
	}
}

// stria-listen in a process of its own gets every scan.
void Listen(const std::string& results)
{
	GuestCase run(results, "listen");
	TestKeyboard scanner(kScannerName, kScannerId);
	run.StartServer({&scanner}, {});
	ServerProcess listener(kBin + "/stria-listen", {"--control-socket", run.ControlSocket()});
	const size_t probes = Subscribe(scanner, listener);
	run.Fact("probes", std::to_string(probes));
	const Session scans = ListenScanner();
	scanner.Play(scans.records);
	WaitForScans(listener, scans.barcodes);
	run.StopServer(SIGTERM);
	run.Fact("listen-status", std::to_string(listener.Wait(30s).value_or(-1)));
	run.Save("listen.out", listener.Output());
	run.Save("listen.err", listener.Errors());
}

// The unit's ExecStart with its specifiers and $STRIA_OPTIONS filled in
// the way systemd does for this instance.
std::vector<std::string> UnitCommand(const std::string& unit, const std::string& instance,
                                     const std::string& home, const std::string& options)
{
	std::ifstream in(unit);
	std::string line;
	std::string command;
	while (std::getline(in, line)) {
		if (line.rfind("ExecStart=", 0) == 0)
			command = line.substr(10);
	}
	command = std::regex_replace(command, std::regex("%i"), instance);
	command = std::regex_replace(command, std::regex("%h"), home);
	command = std::regex_replace(command, std::regex("\\$STRIA_OPTIONS"), options);
	std::istringstream words(command);
	std::vector<std::string> arguments;
	for (std::string word; words >> word;)
		arguments.push_back(word);
	return arguments;
}

int RunCommand(const std::vector<std::string>& arguments, std::string* output = nullptr)
{
	ServerProcess process(arguments.front(),
	                      std::vector<std::string>(arguments.begin() + 1, arguments.end()));
	const int status = process.Wait(60s).value_or(-1);
	if (output != nullptr)
		*output = process.Output() + process.Errors();
	return status;
}

// The systemd user unit: under the guest's own user manager when it runs
// here, else its command line run the way the unit runs it.
void Unit(const std::string& results)
{
	GuestCase run(results, "systemd");
	const std::string runtime = "/run/user/0";
	const std::string home = "/root";
	fs::create_directories(runtime);
	fs::permissions(runtime, fs::perms::owner_all);
	::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
	::setenv("HOME", home.c_str(), 1);
	const std::string unitName = "stria-input-server@" + std::string(kScannerId) + ".service";
	const std::string unit = STRIA_BINARY_DIR "/dist/stria-input-server@.service";
	fs::create_directories(home + "/.config/systemd/user");
	fs::copy_file(unit, home + "/.config/systemd/user/stria-input-server@.service",
	              fs::copy_options::overwrite_existing);

	TestKeyboard scanner(kScannerName, kScannerId);
	std::unique_ptr<ServerProcess> manager;
	std::string why;
	if (fs::exists("/lib/systemd/systemd")) {
		// The user manager starts only on a system booted with systemd,
		// which it tells by this folder; this machine has no system
		// manager and nothing else that looks there.
		fs::create_directories("/run/systemd/system");
		// Its complaints, if any, to its standard error.
		::setenv("SYSTEMD_LOG_TARGET", "console", 1);
		manager = std::make_unique<ServerProcess>("/lib/systemd/systemd",
		                                          std::vector<std::string>{"--user"});
		for (int tries = 0; tries < 300 && !fs::exists(runtime + "/systemd/private"); tries++) {
			if (manager->Wait(0s))
				break;
			std::this_thread::sleep_for(100ms);
		}
		if (!fs::exists(runtime + "/systemd/private")) {
			manager->Signal(SIGTERM);
			manager->Wait(10s);
			run.Save("manager.err", manager->Errors());
			const std::vector<std::string> said = Lines(manager->Errors());
			why = "systemd --user did not start" + (said.empty() ? "" : ": " + said.back());
			manager.reset();
		}
	} else {
		why = "no systemd here";
	}

	std::unique_ptr<ServerProcess> server;
	if (manager) {
		run.Fact("how", "systemd --user");
		std::string said;
		RunCommand({"/usr/bin/systemctl", "--user", "daemon-reload"}, &said);
		if (RunCommand({"/usr/bin/systemctl", "--user", "start", unitName}, &said) != 0)
			run.Save("start.out", said);
	} else {
		run.Fact("how", "the unit's command line (" + why + ")");
		std::vector<std::string> command = UnitCommand(unit, kScannerId, home, "");
		run.Save("command", [&] {
			std::string text;
			for (const std::string& word : command)
				text += word + "\n";
			return text;
		}());
		server = std::make_unique<ServerProcess>(
		        command.front(), std::vector<std::string>(command.begin() + 1, command.end()));
	}

	std::unique_ptr<ServerProcess> listener;
	try {
		NodeReader typed(WaitForVirtualKeyboard(server.get()));
		WaitReading(typed, {&scanner});
		// The server of the unit listens on the default control socket.
		listener =
		        std::make_unique<ServerProcess>(kBin + "/stria-listen", std::vector<std::string>{});
		run.Fact("probes", std::to_string(Subscribe(scanner, *listener)));
		const Session scans = ListenScanner();
		scanner.Play(scans.records);
		WaitForScans(*listener, scans.barcodes);
	} catch (const std::exception& error) {
		run.Fact("error", error.what());
	}

	if (manager) {
		std::string said;
		RunCommand({"/usr/bin/systemctl", "--user", "stop", unitName}, &said);
		RunCommand({"/usr/bin/systemctl", "--user", "show", "-p", "Result", "-p", "ExecMainStatus",
		            "-p", "ExecMainCode", unitName},
		           &said);
		run.Save("show.out", said);
		manager->Signal(SIGTERM);
		manager->Wait(30s);
		run.Save("manager.err", manager->Errors());
	} else {
		// What systemctl stop sends.
		server->Signal(SIGTERM);
		run.Fact("server-status", std::to_string(server->Wait(60s).value_or(-1)));
		run.Save("server.err", server->Errors());
	}
	if (listener) {
		run.Fact("listen-status", std::to_string(listener->Wait(30s).value_or(-1)));
		run.Save("listen.out", listener->Output());
		run.Save("listen.err", listener->Errors());
	}
}

// Everything that waits on a non-blocking node.
std::vector<EventRecord> ReadAll(int fd)
{
	std::vector<EventRecord> records;
	for (;;) {
		input_event events[64];
		const ssize_t got = ::read(fd, events, sizeof(events));
		if (got <= 0)
			return records;
		for (ssize_t i = 0; i < got / static_cast<ssize_t>(sizeof(input_event)); i++) {
			records.push_back(EventRecord::At(events[i].input_event_sec * 1000000 +
			                                          events[i].input_event_usec,
			                                  events[i].type, events[i].code, events[i].value));
		}
	}
}

bool HasDropped(const std::vector<EventRecord>& records)
{
	return std::any_of(records.begin(), records.end(), [](const EventRecord& record) {
		return record.type == EV_SYN && record.code == SYN_DROPPED;
	});
}

// Reads an event node the way a desktop busy elsewhere does: all that
// waits, once a period only. The period leaves room for the scheduler
// within the 50 ms the virtual keyboard allows a reader.
class LateReader {
public:
	LateReader(const std::string& node, std::chrono::milliseconds period) : fPeriod(period)
	{
		fFd = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
		if (fFd < 0)
			throw std::runtime_error(node + ": " + std::strerror(errno));
		fThread = std::thread(&LateReader::Loop, this);
	}
	~LateReader()
	{
		Stop();
		::close(fFd);
	}

	void Stop()
	{
		fStop = true;
		if (fThread.joinable())
			fThread.join();
	}
	std::vector<EventRecord> Records()
	{
		std::lock_guard lock(fLock);
		return fRecords;
	}
	// The longest time between two reads.
	std::chrono::milliseconds LongestGap()
	{
		std::lock_guard lock(fLock);
		return std::chrono::duration_cast<std::chrono::milliseconds>(fLongestGap);
	}

private:
	void Loop()
	{
		auto last = std::chrono::steady_clock::now();
		auto next = last;
		while (!fStop) {
			next += fPeriod;
			std::this_thread::sleep_until(next);
			std::vector<EventRecord> got = ReadAll(fFd);
			const auto now = std::chrono::steady_clock::now();
			std::lock_guard lock(fLock);
			fLongestGap = std::max<std::chrono::steady_clock::duration>(fLongestGap, now - last);
			last = now;
			fRecords.insert(fRecords.end(), got.begin(), got.end());
		}
	}

	const std::chrono::milliseconds fPeriod;
	int fFd = -1;
	std::atomic<bool> fStop = false;
	std::mutex fLock;
	std::vector<EventRecord> fRecords;
	std::chrono::steady_clock::duration fLongestGap{};
	std::thread fThread;
};

// How many events the kernel keeps for a reader that does not read, on a
// keyboard set up as the virtual keyboard is (keys and reports only): bursts
// of key events written at once, each read only after it was written whole.
void MeasureReaderBuffer(GuestCase& run)
{
	const char* name = "Stria Test Burst";
	const int fd = ::open("/dev/uinput", O_WRONLY | O_CLOEXEC);
	if (fd < 0)
		throw std::runtime_error(std::string("/dev/uinput: ") + std::strerror(errno));
	::ioctl(fd, UI_SET_EVBIT, EV_KEY);
	::ioctl(fd, UI_SET_EVBIT, EV_SYN);
	for (const UsKey& key : UsKeyboard::Keys())
		::ioctl(fd, UI_SET_KEYBIT, key.linuxCode);
	struct uinput_setup setup = {};
	setup.id.bustype = BUS_VIRTUAL;
	std::strncpy(setup.name, name, UINPUT_MAX_NAME_SIZE - 1);
	if (::ioctl(fd, UI_DEV_SETUP, &setup) < 0 || ::ioctl(fd, UI_DEV_CREATE) < 0) {
		::close(fd);
		throw std::runtime_error(std::string("cannot make the burst keyboard: ") +
		                         std::strerror(errno));
	}
	std::string node;
	for (int tries = 0; tries < 500 && (node = FindNode(name)).empty(); tries++)
		std::this_thread::sleep_for(10ms);
	const int reader = ::open(node.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
	size_t kept = 0;
	for (size_t keyEvents = 28; reader >= 0 && keyEvents <= 34; keyEvents++) {
		std::vector<input_event> burst;
		auto add = [&](uint16 type, uint16 code, int32 value) {
			input_event event = {};
			event.type = type;
			event.code = code;
			event.value = value;
			burst.push_back(event);
		};
		for (size_t index = 0; index < keyEvents; index++) {
			add(EV_KEY, KEY_A, index % 2 == 0 ? 1 : 0);
			add(EV_SYN, SYN_REPORT, 0);
		}
		const ssize_t size = static_cast<ssize_t>(burst.size() * sizeof(input_event));
		if (::write(fd, burst.data(), static_cast<size_t>(size)) != size)
			throw std::runtime_error(std::string("burst: ") + std::strerror(errno));
		const std::vector<EventRecord> read = ReadAll(reader);
		const bool dropped = HasDropped(read);
		run.Fact("burst-" + std::to_string(burst.size()),
		         std::to_string(read.size()) + (dropped ? " read, dropped" : " read, kept"));
		if (!dropped)
			kept = std::max(kept, burst.size());
		// Up again, whatever the burst left, and nothing left to read.
		input_event up[2] = {};
		up[0].type = EV_KEY;
		up[0].code = KEY_A;
		up[1].type = EV_SYN;
		[[maybe_unused]] ssize_t written = ::write(fd, up, sizeof(up));
		ReadAll(reader);
	}
	run.Fact("records-kept-at-once", std::to_string(kept));
	if (reader >= 0)
		::close(reader);
	::ioctl(fd, UI_DEV_DESTROY);
	::close(fd);
}

// The typer types codes at once into the stream while a desktop reader
// comes 50 ms late: the kernel must never drop what the virtual keyboard
// writes for it. Also how many events the kernel keeps for a reader.
void LateReaderCase(const std::string& results)
{
	GuestCase run(results, "late-reader");
	MeasureReaderBuffer(run);

	const std::string config = run.Scratch() + "/config";
	fs::create_directories(config + "/stria");
	// Free text: two of the codes are Code 128 labels.
	std::ofstream(config + "/stria/typer.settings") << "type = data\nfree-text = yes\n";
	::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
	TestKeyboard scanner(kScannerName, kScannerId);
	try {
		run.StartServer({&scanner});
	} catch (...) {
		::unsetenv("XDG_CONFIG_HOME");
		throw;
	}
	::unsetenv("XDG_CONFIG_HOME");

	LateReader late(FindNode(UinputKeyboard::kDeviceName), 40ms);
	const std::vector<Session> scans = LateReaderScans();
	for (size_t index = 0; index < scans.size(); index++) {
		scanner.Play(scans[index].records);
		const auto entered = std::chrono::steady_clock::now();
		// Typed whole once its Enter is up, as a prompt reader sees it.
		const bool typed = run.Typed().WaitFor(
		        [&](const std::vector<EventRecord>& records) {
			        size_t ups = 0;
			        for (const EventRecord& record : records)
				        ups += record.type == EV_KEY && record.code == KEY_ENTER &&
				               record.value == 0;
			        return ups > index;
		        },
		        30000ms);
		const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
		        std::chrono::steady_clock::now() - entered);
		run.Fact("typed-" + std::to_string(index),
		         typed ? std::to_string(took.count()) + " us after the scan's Enter" : "never");
	}
	// One more read for what came last.
	std::this_thread::sleep_for(100ms);
	late.Stop();
	run.SaveRecords("late.events", late.Records());
	run.Fact("late-reader-longest-gap-ms", std::to_string(late.LongestGap().count()));
	run.StopServer(SIGTERM);
}

// The server of a desktop case: it shows its window on the desktop's display
// (there before the X server is: the desktop needs the server's virtual
// keyboard) and reads the typer's settings from the case's own folder.
void StartDesktopServer(GuestCase& run, const std::vector<TestKeyboard*>& keyboards,
                        const std::string& typerSettings)
{
	const std::string config = run.Scratch() + "/config";
	fs::create_directories(config + "/stria");
	std::ofstream(config + "/stria/typer.settings") << typerSettings;
	::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
	::setenv("DISPLAY", kDesktopDisplay, 1);
	run.StartServer(keyboards);
	::unsetenv("DISPLAY");
	::unsetenv("XDG_CONFIG_HOME");
}

size_t CountEnters(const DesktopEvents& events)
{
	return static_cast<size_t>(std::count(events.text.begin(), events.text.end(), '\r'));
}

// Waits until the client's text holds enters Enter characters.
bool WaitForEnters(GuestDesktop& desktop, size_t enters)
{
	return desktop.WaitFor(
	        [enters](const DesktopEvents& events) { return CountEnters(events) >= enters; }, 60s);
}

bool WaitForViewer(GuestDesktop& desktop)
{
	return desktop.WaitFor(
	        [](const DesktopEvents& events) {
		        return std::find(events.mapped.begin(), events.mapped.end(), "Stria") !=
		               events.mapped.end();
	        },
	        60s);
}

// Where in the client's text a part of the case begins: "part=OFFSET".
void MarkText(GuestCase& run, GuestDesktop& desktop, const std::string& part)
{
	run.Fact("text-" + part, std::to_string(desktop.Events().text.size()));
}

// Each scan, typed by the typer into the focused client, one at a time.
void TypeScans(TestKeyboard& scanner, GuestDesktop& desktop, const std::vector<TypedScan>& scans)
{
	for (const TypedScan& scan : scans) {
		const size_t enters = CountEnters(desktop.Events());
		scanner.Play(SessionBuilder("scanner").Scan(scan.record, scan.barcode).Build().records);
		WaitForEnters(desktop, enters + 1);
	}
}

// From the scanner's Enter key-up to the client's last digit of the code
// the typer typed for it, in nanoseconds, one scan at a time; label each
// line.
std::string MeasureLatency(TestKeyboard& scanner, GuestDesktop& desktop, const std::string& label)
{
	const Session scan = LatencyScan();
	std::string lines;
	for (size_t i = 0; i < kLatencyScans; i++) {
		const size_t enters = CountEnters(desktop.Events());
		scanner.Play(scan.records);
		const auto enter = std::chrono::steady_clock::now().time_since_epoch();
		if (!WaitForEnters(desktop, enters + 1))
			break;
		const std::vector<DesktopKey>& keys = desktop.Events().keys;
		// The last key is the Enter the typer typed after the code.
		const int64_t last = keys.at(keys.size() - 2).when;
		lines += label + " " +
		         std::to_string(
		                 last -
		                 std::chrono::duration_cast<std::chrono::nanoseconds>(enter).count()) +
		         "\n";
	}
	return lines;
}

// Processes that keep every processor of the machine busy while they live.
class BusyProcessors {
public:
	BusyProcessors()
	{
		for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); i++) {
			const pid_t child = ::fork();
			if (child == 0) {
				volatile unsigned long spin = 0;
				for (;;)
					spin = spin + 1;
			}
			if (child > 0)
				fChildren.push_back(child);
		}
	}
	~BusyProcessors()
	{
		for (pid_t child : fChildren) {
			::kill(child, SIGKILL);
			::waitpid(child, nullptr, 0);
		}
	}
	size_t Count() const { return fChildren.size(); }

private:
	std::vector<pid_t> fChildren;
};

// A desktop with a US layout: the person types while scans come and the
// typer is off; the viewer opens without taking the focus; the typer types
// codes; how long a typed code takes, on an idle machine and on one whose
// processors are all busy.
void Desktop(const std::string& results)
{
	GuestCase run(results, "desktop");
	TestKeyboard scanner(kScannerName, kScannerId);
	TestKeyboard keyboard(kKeyboardName, kKeyboardId);
	StartDesktopServer(run, {&scanner, &keyboard}, "type = off\n");
	const DesktopLayout us = DesktopLayouts().front();
	GuestDesktop desktop(run, WaitForVirtualKeyboard(&run.Server()), us, "us");

	MarkText(run, desktop, "typer-off");
	const Session person = DesktopPerson();
	const Session scans = DesktopScanner();
	PlayTogether({{keyboard, person.records}, {scanner, scans.records}},
	             std::min(*person.records.front().When(), *scans.records.front().When()));
	run.Fact("typer-off-typed", WaitForEnters(desktop, 1) ? "yes" : "no");
	run.WaitForOutput("CATSCAN", scans.barcodes.size(), 30s);
	run.Fact("viewer-mapped", WaitForViewer(desktop) ? "yes" : "no");

	std::string said;
	run.Fact("typer-on-status",
	         std::to_string(RunCommand({kBin + "/stria-typer", "--control-socket",
	                                    run.ControlSocket(), "type", "data", "free-text", "yes"},
	                                   &said)));
	MarkText(run, desktop, "typed");
	TypeScans(scanner, desktop, us.scans);

	MarkText(run, desktop, "idle");
	std::string latency = MeasureLatency(scanner, desktop, "idle");
	{
		BusyProcessors busy;
		run.Fact("busy-processes", std::to_string(busy.Count()));
		MarkText(run, desktop, "busy");
		const size_t before = desktop.Events().text.size();
		keyboard.Play(SessionBuilder("person").Type(kBusyBefore).Build().records);
		desktop.WaitForText(before + std::strlen(kBusyBefore), 60s);
		TypeScans(scanner, desktop, {LongScan()});
		latency += MeasureLatency(scanner, desktop, "busy");
		const size_t enters = CountEnters(desktop.Events());
		keyboard.Play(SessionBuilder("person").Type(kBusyAfter).Build().records);
		WaitForEnters(desktop, enters + 1);
	}
	MarkText(run, desktop, "end");
	run.Save("latency", latency);
	run.StopServer(SIGTERM);
}

// The X server killed under the running server, and a new one later.
void DesktopXKilled(const std::string& results)
{
	GuestCase run(results, "desktop-x-killed");
	TestKeyboard scanner(kScannerName, kScannerId);
	StartDesktopServer(run, {&scanner}, "type = data\nfree-text = yes\n");
	const DesktopLayout us = DesktopLayouts().front();
	const std::string node = WaitForVirtualKeyboard(&run.Server());
	const Session scan = LatencyScan();
	{
		GuestDesktop first(run, node, us, "first");
		scanner.Play(scan.records);
		WaitForEnters(first, 1);
		run.Fact("first-viewer-mapped", WaitForViewer(first) ? "yes" : "no");
		first.KillX();
	}
	run.Fact("lost-said", run.WaitForErrors("lost the X display", 1, 60s) ? "yes" : "no");
	const Session away = SessionBuilder("scanner")
	                             .Scan(kUpcARecord, "UPA 059280201638")
	                             .Scan(make_record("128", "no-display"), "128 no-display")
	                             .Build();
	scanner.Play(away.records);
	run.WaitForOutput("CATSCAN", 3, 60s);
	run.Typed().WaitFor([](const auto& records) { return CountPresses(records, KEY_ENTER) >= 3; },
	                    60000ms);

	GuestDesktop second(run, node, us, "second");
	scanner.Play(scan.records);
	WaitForEnters(second, 1);
	run.Fact("second-viewer-mapped", WaitForViewer(second) ? "yes" : "no");
	run.StopServer(SIGTERM);
}

// Codes typed under a layout of the table other than us.
void DesktopLayoutCase(const std::string& results, const DesktopLayout& layout)
{
	GuestCase run(results, layout.CaseName());
	TestKeyboard scanner(kScannerName, kScannerId);
	StartDesktopServer(run, {&scanner}, "type = data\nfree-text = yes\n");
	GuestDesktop desktop(run, WaitForVirtualKeyboard(&run.Server()), layout, "desktop");
	TypeScans(scanner, desktop, layout.scans);
	run.StopServer(SIGTERM);
}

std::map<std::string, std::function<void(const std::string&)>> Cases()
{
	std::map<std::string, std::function<void(const std::string&)>> cases = {
	        {"typing", Typing},
	        {"held-at-start", HeldAtStart},
	        {"caps-lock", CapsLock},
	        {"unplug", Unplug},
	        {"sigkill", Killed},
	        {"signal-SIGTERM", [](const std::string& r) { Stopped(r, SIGTERM, "SIGTERM"); }},
	        {"signal-SIGINT", [](const std::string& r) { Stopped(r, SIGINT, "SIGINT"); }},
	        {"signal-SIGHUP", [](const std::string& r) { Stopped(r, SIGHUP, "SIGHUP"); }},
	        {"listen", Listen},
	        {"late-reader", LateReaderCase},
	        {"systemd", Unit},
	        {"desktop", Desktop},
	        {"desktop-x-killed", DesktopXKilled},
	};
	for (const DesktopLayout& layout : DesktopLayouts()) {
		if (layout.CaseName() != "desktop")
			cases[layout.CaseName()] = [layout](const std::string& r) {
				DesktopLayoutCase(r, layout);
			};
	}
	return cases;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc < 2) {
		std::cerr << "usage: vm_guest RESULTS [CASE...]\n";
		return 2;
	}
	const std::string results = argv[1];
	std::vector<std::string> names(argv + 2, argv + argc);
	const auto cases = Cases();
	if (names.empty()) {
		for (const auto& [name, run] : cases)
			names.push_back(name);
	}
	int status = 0;
	for (const std::string& name : names) {
		auto found = cases.find(name);
		if (found == cases.end()) {
			std::cerr << "no case " << name << "\n";
			return 2;
		}
		const auto start = std::chrono::steady_clock::now();
		try {
			found->second(results);
			std::cout << "case " << name << ": ran";
		} catch (const std::exception& error) {
			std::ofstream(results + "/" + name + "/error") << error.what() << "\n";
			std::cout << "case " << name << ": " << error.what();
			status = 1;
		}
		std::cout << " ("
		          << std::chrono::duration_cast<std::chrono::milliseconds>(
		                     std::chrono::steady_clock::now() - start)
		                     .count()
		          << " ms)" << std::endl;
	}
	return status;
}
