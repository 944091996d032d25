// stria-input-server: the host of Stria's input-server add-ons.
#include "AddOnFolder.h"
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

#include <private/InputServerHost.h>
#include <private/LocalSocket.h>
#include <private/WindowSnapshot.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <limits.h>
#include <sstream>

using namespace stria;

namespace {

struct LoadedScript {
	std::string name;
	std::vector<ReplayEvent> events;
};

// The process's exit status for how the server ended: 2 when something the
// person named is wrong (an option, a path, a file), 1 for any other failure.
int ExitStatus(status_t status)
{
	switch (status) {
	case B_OK:
		return 0;
	case B_BAD_VALUE:
	case B_BAD_DATA:
		return 2;
	default:
		return 1;
	}
}

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

} // namespace

int main(int argc, char** argv)
{
	std::signal(SIGPIPE, SIG_IGN);
	LineOutput log(stderr, "stria-input-server: ");
	// A failed line is said at once; the server goes on (keys still reach
	// applications) and exits with status 1.
	LineOutput output(stdout, {}, [&log](int error) {
		log.Write(std::string("cannot write standard output: ") + std::strerror(error) +
		          "; printed lines are lost");
	});

	std::vector<std::string> arguments(argv + 1, argv + argc);
	ParsedServerOptions parsed = ParseServerOptions(arguments);
	if (parsed.error) {
		log.Write(*parsed.error + " (see --help)");
		return ExitStatus(B_BAD_VALUE);
	}
	const ServerOptions& options = parsed.options;
	if (options.help)
		return ExitStatus(WriteOut(ServerUsage(), log));
	if (options.listDevices) {
		std::ostringstream list;
		status_t status = LinuxInput::ListDevices(list);
		status_t written = WriteOut(list.str(), log);
		return ExitStatus(written != B_OK ? written : status);
	}

	// Every script is read and checked before anything plays.
	std::vector<LoadedScript> scripts;
	for (const std::string& path : options.replays) {
		std::string text;
		std::string error;
		if (!ReadReplayScriptFile(path, &text, &error)) {
			log.Write(error);
			return ExitStatus(B_BAD_VALUE);
		}
		std::string name = ReplayScriptName(path);
		ReplayScript script = ParseReplayScript(text);
		if (script.error) {
			log.Write(name + ":" + std::to_string(script.error->line) + ": " +
			          script.error->message);
			return ExitStatus(B_BAD_DATA);
		}
		for (const ReplayEvent& event : script.events) {
			if (event.controlMessage == ReplayEvent::ControlMessage::Subscribe &&
			    !options.subscribe) {
				log.Write(name + ":" + std::to_string(event.line) +
				          ": a control line with 'subscribe' needs --subscribe");
				return ExitStatus(B_BAD_VALUE);
			}
		}
		scripts.push_back({name, std::move(script.events)});
	}

	InputServer::Settings settings;
	settings.subscribe = options.subscribe;
	settings.addOnFolder = options.addOnFolder;
	if (settings.addOnFolder.empty()) {
		std::string programFolder = ProgramFolder();
		if (programFolder.empty()) {
			log.Write("cannot tell where the program is; name the add-on folder with --add-ons");
			return ExitStatus(B_ERROR);
		}
		settings.addOnFolder = DefaultAddOnFolder(programFolder);
	}
	settings.controlSocket = options.controlSocket;
	if (settings.controlSocket.empty()) {
		char path[PATH_MAX];
		if (BPrivate::get_input_server_control_path(path, sizeof(path)) != B_OK) {
			std::string directory;
			std::string problem;
			BPrivate::LocalSocket::RuntimeDirectory(&directory, &problem);
			log.Write("no usable runtime directory for the control socket: " +
			          (problem.empty() ? std::string("reason unknown") : problem) +
			          "; name another socket with --control-socket");
			return ExitStatus(B_ERROR);
		}
		settings.controlSocket = path;
	}
	if (std::optional<PathProblem> problem = ControlSocketPathProblem(settings.controlSocket)) {
		log.Write(problem->message);
		return ExitStatus(problem->reason);
	}
	// A snapshot that cannot be written is said now, not after the run.
	if (!options.snapshot.empty()) {
		if (std::optional<PathProblem> problem = SnapshotPathProblem(options.snapshot)) {
			log.Write(problem->message);
			return ExitStatus(problem->reason);
		}
	}

	// From the first thread on (the virtual keyboard's), a stop signal waits
	// for the watcher and its orderly shut-down.
	SignalWatcher::BlockStopSignals();

	// Keyboards and virtual keyboards are opened before anything runs.
	LinuxInput linuxInput;
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
		if (status != B_OK) {
			log.Write(error);
			return ExitStatus(status);
		}
	}

	InputServer server(settings, output, log);
	if (!options.snapshot.empty()) {
		// Drawn before the filters go, and again as the filter closes the
		// window, once its last scans are in.
		server.AddBeforeFiltersDeleted(
		        [path = options.snapshot] { BPrivate::begin_final_snapshot(path.c_str()); });
	}
	if (options.print)
		server.AddApplicationSide(std::make_unique<PrintingApplicationSide>(output));
	else if (!linuxInput.HasApplicationSide())
		log.Write("no application side chosen: messages that pass the filters are dropped "
		          "(--print shows them, --uinput types them)");
	for (std::unique_ptr<ApplicationSide>& side : linuxInput.TakeApplicationSides())
		server.AddApplicationSide(std::move(side));
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

	SignalWatcher signals([&server, &log](int signal) {
		log.Write("stopping on " + SignalWatcher::Name(signal));
		server.RequestStop();
	});
	status_t status = server.Run();
	if (!options.snapshot.empty()) {
		status_t snapshot = BPrivate::end_final_snapshot();
		if (snapshot == B_OK)
			log.Write("snapshot of the viewer window written to " + options.snapshot);
		else if (snapshot == B_NAME_NOT_FOUND)
			log.Write("no viewer window to take a snapshot of; " + options.snapshot +
			          " not written");
		else {
			log.Write("cannot write the snapshot " + options.snapshot + ": " +
			          StatusText(snapshot));
			if (status == B_OK)
				status = B_ERROR;
		}
	}
	if (output.Failed() && status == B_OK)
		status = B_IO_ERROR;
	return ExitStatus(status);
}
