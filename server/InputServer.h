// stria-input-server: hosts the add-ons, runs the input stream, takes
// control requests, and takes everything down in order at the end.
#ifndef STRIA_INPUT_SERVER_H
#define STRIA_INPUT_SERVER_H

#include "InputSource.h"

#include <Messenger.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace stria {

class ApplicationSide;
class LineOutput;
class ServerHost;

class InputServer : private InputSink {
public:
	struct Settings {
		std::string addOnFolder;
		std::string controlSocket; // empty: no control socket
		bool subscribe = false;    // subscribe a printing looper to scans
	};

	// Makes a source once the server runs; subscriber is the messenger of
	// the printing subscriber, if there is one.
	using SourceFactory = std::function<std::unique_ptr<InputSource>(
	        const std::optional<BMessenger>& subscriber)>;

	// output: printed lines (--print, --subscribe); log: standard error.
	InputServer(Settings settings, LineOutput& output, LineOutput& log);
	~InputServer() override;

	InputServer(const InputServer&) = delete;
	InputServer& operator=(const InputServer&) = delete;

	// Input devices of the host. The server stops once every one of them
	// has reached its end; without any it runs until RequestStop.
	void AddSource(SourceFactory factory);
	// Where what passes the filters goes; each side gets every message.
	void AddApplicationSide(std::unique_ptr<ApplicationSide> side);
	// Runs after the stream has drained, before the filters are deleted.
	void AddBeforeFiltersDeleted(std::function<void()> step);

	// Runs until stopped. B_OK; B_ERROR when the server could not start,
	// the subscriber got no SHUTDOWN or an application side failed; or the
	// reason a source failed with (InputSink::Fail). Each is logged.
	status_t Run();

	// Thread-safe; also safe before Run.
	void RequestStop();

private:
	void Enqueue(std::unique_ptr<BMessage> message) override;
	status_t Control(const char* device, uint32 code, BMessage* message) override;
	void Log(const std::string& line) override;
	bigtime_t InputStart() const override;
	void Fail(const std::string& line, status_t reason) override;

	// The phases of Run, in order; each logs what went wrong.
	struct Session;
	status_t LoadAddOns(Session& session);
	void StartStream(Session& session);
	void StartDevices(Session& session);
	status_t StartControlSocket(Session& session);
	status_t SubscribePrinter(Session& session);
	void RunSources(Session& session);
	status_t ShutDown(Session& session, status_t status);

	void SourceEnded();
	bool WaitForEnd();

	Settings fSettings;
	LineOutput& fOutput;
	LineOutput& fLogOutput;
	std::vector<SourceFactory> fSourceFactories;
	std::vector<std::unique_ptr<ApplicationSide>> fSides;
	std::vector<std::function<void()>> fBeforeFiltersDeleted;

	std::mutex fStateLock;
	std::condition_variable fStateChanged;
	bool fStopRequested = false;
	size_t fRunningSources = 0;
	std::atomic<status_t> fSourceFailure{B_OK};

	ServerHost* fHost = nullptr; // while Run runs
	std::atomic<bigtime_t> fInputStart{0};
};

} // namespace stria

#endif // STRIA_INPUT_SERVER_H
