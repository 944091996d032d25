// stria-input-server: the host of Stria's input-server add-ons.
#include "AddOnFolder.h"
#include "AddOnLog.h"
#include "InputServer.h"
#include "LineOutput.h"
#include "LinuxInput.h"
#include "PrintingApplicationSide.h"
#include "ReplayDevice.h"
#include "ReplayScript.h"
#include "ReplayScriptFile.h"
#include "ServerOptions.h"
#include "SignalWatcher.h"
#include "StatusText.h"
#include "WritablePaths.h"

#include <ExitStatus.h>
#include <private/InputServerHost.h>
#include <private/LocalSocket.h>
#include <private/WindowSnapshot.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits.h>
#include <sstream>

using namespace stria;

namespace {

struct LoadedScript {
	std::string name;
	std::vector<ReplayEvent> events;
};

// Writes text to standard output; B_IO_ERROR (with a log line) when it fails.
status_t WriteOut(const std::string& text, LineOutput& log)
{
	errno = 0;
	if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
	    std::fflush(stdout) != 0) {
		log.Write(std::string("cannot write standard output: ") +
		          std::strerror(errno != 0 ? errno : EIO));
		return B_IO_ERROR;
	}
	return B_OK;
}

// --list-devices: the keyboards, or why there is none.
status_t ListKeyboards(LineOutput& log)
{
	std::ostringstream list;
	status_t status = LinuxInput::ListDevices(list);
	status_t written = WriteOut(list.str(), log);
	return written != B_OK ? written : status;
}

// Every script is read and checked before anything plays.
status_t LoadReplayScripts(const ServerOptions& options, std::vector<LoadedScript>& scripts,
                           LineOutput& log)
{
	for (const std::string& path : options.replays) {
		std::string text;
		std::string error;
		if (!ReadReplayScriptFile(path, &text, &error)) {
			log.Write(error);
			return B_BAD_VALUE;
		}
		std::string name = ReplayScriptName(path);
		ReplayScript script = ParseReplayScript(text);
		if (script.error) {
			log.Write(name + ":" + std::to_string(script.error->line) + ": " +
			          script.error->message);
			return B_BAD_DATA;
		}
		for (const ReplayEvent& event : script.events) {
			if (event.controlMessage == ReplayEvent::ControlMessage::Subscribe &&
			    !options.subscribe) {
				log.Write(name + ":" + std::to_string(event.line) +
				          ": a control line with 'subscribe' needs --subscribe");
				return B_BAD_VALUE;
			}
		}
		scripts.push_back({name, std::move(script.events)});
	}
	return B_OK;
}

status_t ChooseAddOnFolder(const ServerOptions& options, std::string& folder, LineOutput& log)
{
	folder = options.addOnFolder;
	if (!folder.empty())
		return B_OK;
	std::string programFolder = ProgramFolder();
	if (programFolder.empty()) {
		log.Write("cannot tell where the program is; name the add-on folder with --add-ons");
		return B_ERROR;
	}
	folder = DefaultAddOnFolder(programFolder);
	return B_OK;
}

// The socket of --control-socket or the default one, checked before the
// server listens there.
status_t ChooseControlSocket(const ServerOptions& options, std::string& socket, LineOutput& log)
{
	socket = options.controlSocket;
	if (socket.empty()) {
		char path[PATH_MAX];
		if (BPrivate::get_input_server_control_path(path, sizeof(path)) != B_OK) {
			std::string directory;
			std::string problem;
			BPrivate::LocalSocket::RuntimeDirectory(&directory, &problem);
			log.Write("no usable runtime directory for the control socket: " +
			          (problem.empty() ? std::string("reason unknown") : problem) +
			          "; name another socket with --control-socket");
			return B_ERROR;
		}
		socket = path;
	}
	if (std::optional<PathProblem> problem = ControlSocketPathProblem(socket)) {
		log.Write(problem->message);
		return problem->reason;
	}
	return B_OK;
}

// A snapshot that cannot be written is said now, not after the run.
status_t CheckSnapshotPath(const ServerOptions& options, LineOutput& log)
{
	if (options.snapshot.empty())
		return B_OK;
	if (std::optional<PathProblem> problem = SnapshotPathProblem(options.snapshot)) {
		log.Write(problem->message);
		return problem->reason;
	}
	return B_OK;
}

status_t ChooseSettings(const ServerOptions& options, InputServer::Settings& settings,
                        LineOutput& log)
{
	settings.subscribe = options.subscribe;
	if (status_t status = ChooseAddOnFolder(options, settings.addOnFolder, log); status != B_OK)
		return status;
	return ChooseControlSocket(options, settings.controlSocket, log);
}

// Keyboards and virtual keyboards are opened before anything runs.
status_t OpenKeyboards(const ServerOptions& options, LinuxInput& linuxInput, LineOutput& log)
{
	LinuxInput::Options linuxOptions;
	linuxOptions.devices = options.devices;
	linuxOptions.grab = options.grab;
	linuxOptions.fast = options.fast;
	linuxOptions.uinput = options.uinput;
	linuxOptions.uinputFile = options.uinputFile;
	std::string error;
	status_t status = linuxInput.Open(
	        linuxOptions, [&log](const std::string& line) { log.Write(line); }, error);
	if (status != B_OK)
		log.Write(error);
	return status;
}

// --snapshot: drawn before the filters go, and again as the filter closes
// the window, once its last scans are in.
void BeginSnapshotBeforeFiltersGo(InputServer& server, const ServerOptions& options)
{
	if (!options.snapshot.empty()) {
		server.AddBeforeFiltersDeleted(
		        [path = options.snapshot] { BPrivate::begin_final_snapshot(path.c_str()); });
	}
}

void AddApplicationSides(InputServer& server, const ServerOptions& options, LinuxInput& linuxInput,
                         LineOutput& output, LineOutput& log)
{
	if (options.print)
		server.AddApplicationSide(std::make_unique<PrintingApplicationSide>(output));
	else if (!linuxInput.HasApplicationSide())
		log.Write("no application side chosen: messages that pass the filters are dropped "
		          "(--print shows them, --uinput types them)");
	for (std::unique_ptr<ApplicationSide>& side : linuxInput.TakeApplicationSides())
		server.AddApplicationSide(std::move(side));
}

// The scripts are played from where they were loaded, so they outlive the run.
void AddSources(InputServer& server, const ServerOptions& options, LinuxInput& linuxInput,
                std::vector<LoadedScript>& scripts)
{
	for (std::unique_ptr<InputSource>& source : linuxInput.TakeSources()) {
		auto held = std::make_shared<std::unique_ptr<InputSource>>(std::move(source));
		server.AddSource([held](const std::optional<BMessenger>&) { return std::move(*held); });
	}
	for (LoadedScript& script : scripts) {
		server.AddSource(
		        [&script, fast = options.fast](const std::optional<BMessenger>& subscriber) {
			        return std::make_unique<ReplayDevice>(script.name, std::move(script.events),
			                                              fast, subscriber);
		        });
	}
}

// Ends the snapshot the run began; only a picture that cannot be written fails.
status_t FinishSnapshot(const ServerOptions& options, LineOutput& log)
{
	if (options.snapshot.empty())
		return B_OK;
	status_t status = BPrivate::end_final_snapshot();
	if (status == B_OK) {
		log.Write("snapshot of the viewer window written to " + options.snapshot);
	} else if (status == B_NAME_NOT_FOUND) {
		log.Write("no viewer window to take a snapshot of; " + options.snapshot + " not written");
	} else {
		log.Write("cannot write the snapshot " + options.snapshot + ": " + StatusText(status));
		return B_ERROR;
	}
	return B_OK;
}

// The X authority file, named in the environment before any thread runs.
// Without XAUTHORITY, libXau builds the name of ~/.Xauthority in a static
// buffer of its own at every connection, and the viewer's and the typer's
// connections, made on two threads, would write that buffer at once.
void NameXAuthority()
{
	const char* home = std::getenv("HOME");
	if (std::getenv("XAUTHORITY") != nullptr || home == nullptr || home[0] == '\0')
		return;
	const std::string folder = std::string(home) == "/" ? "" : home;
	::setenv("XAUTHORITY", (folder + "/.Xauthority").c_str(), 0);
}

} // namespace

int main(int argc, char** argv)
{
	std::signal(SIGPIPE, SIG_IGN);
	NameXAuthority();
	LineOutput log(stderr, "stria-input-server: ");
	AddOnLog addOnLog(log);
	// A failed line is said at once; the server goes on (keys still reach
	// applications) and exits with status 1.
	LineOutput output(stdout, {}, [&log](int error) {
		log.Write(std::string("cannot write standard output: ") + std::strerror(error) +
		          "; printed lines are lost");
	});

	// Options.
	std::vector<std::string> arguments(argv + 1, argv + argc);
	ParsedServerOptions parsed = ParseServerOptions(arguments);
	if (parsed.error) {
		log.Write(*parsed.error + " (see --help)");
		return ExitStatus(B_BAD_VALUE);
	}
	const ServerOptions& options = parsed.options;
	if (options.help)
		return ExitStatus(WriteOut(ServerUsage(), log));
	if (options.listDevices)
		return ExitStatus(ListKeyboards(log));

	// Inputs, and every path the server will use, checked before anything runs.
	std::vector<LoadedScript> scripts;
	if (status_t status = LoadReplayScripts(options, scripts, log); status != B_OK)
		return ExitStatus(status);
	InputServer::Settings settings;
	if (status_t status = ChooseSettings(options, settings, log); status != B_OK)
		return ExitStatus(status);
	if (status_t status = CheckSnapshotPath(options, log); status != B_OK)
		return ExitStatus(status);
	// From the first thread on (the virtual keyboard's), a stop signal waits
	// for the watcher and its orderly shut-down.
	SignalWatcher::BlockStopSignals();
	LinuxInput linuxInput;
	if (status_t status = OpenKeyboards(options, linuxInput, log); status != B_OK)
		return ExitStatus(status);

	// Wiring.
	InputServer server(settings, output, log);
	BeginSnapshotBeforeFiltersGo(server, options);
	AddApplicationSides(server, options, linuxInput, output, log);
	AddSources(server, options, linuxInput, scripts);

	// Run, until the inputs end or a stop signal comes.
	SignalWatcher signals([&server, &log](int signal) {
		log.Write("stopping on " + SignalWatcher::Name(signal));
		server.RequestStop();
	});
	status_t status = server.Run();

	// Shutdown: the first failure decides the exit status.
	status_t snapshot = FinishSnapshot(options, log);
	if (status == B_OK)
		status = snapshot;
	if (status == B_OK && output.Failed())
		status = B_IO_ERROR;
	return ExitStatus(status);
}
