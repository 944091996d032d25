// The server's life: start-up in dependency order, then shut-down in the
// reverse order, so that no thread calls into an object that is gone.
#include "InputServer.h"

#include "AddOnManager.h"
#include "ApplicationSide.h"
#include "ControlSocketServer.h"
#include "FilterChain.h"
#include "InputStream.h"
#include "LineOutput.h"
#include "PrintingSubscriber.h"
#include "ServerHost.h"
#include "SourceSink.h"
#include "StatusText.h"

#include <Input.h>
#include <Message.h>
#include <OS.h>
#include <StriaProtocol.h>
#include <StriaSubscribe.h>
#include <private/InputServerHost.h>

#include <cstdlib>
#include <thread>

namespace stria {

namespace {

// After the last input, how long the stream must stay quiet before it
// closes: long enough for messages the filters ask for on their own time
// limits (a lone F10 comes back after 10 ms), bounded for filters that
// never fall silent.
constexpr std::chrono::milliseconds kSettleQuiet{100};
constexpr std::chrono::milliseconds kSettleLimit{2000};
// How long the subscriber may take to print SHUTDOWN once the filters are gone.
constexpr bigtime_t kShutdownNoticeTimeout = 5000000;

// Hands every message to each side, and calls onFailure once when a side
// can no longer deliver.
class FanOutSide : public ApplicationSide {
public:
	FanOutSide(const std::vector<std::unique_ptr<ApplicationSide>>& sides,
	           std::function<void()> onFailure)
	    : fSides(sides), fOnFailure(std::move(onFailure))
	{
	}

	void Start(bigtime_t inputStart) override
	{
		for (const std::unique_ptr<ApplicationSide>& side : fSides)
			side->Start(inputStart);
	}

	void Deliver(const BMessage& message) override
	{
		// The server's word to the filters about its sources is no
		// application's business.
		if (message.what == STRIA_INPUT_ENDED || message.what == STRIA_INPUT_QUIET ||
		    message.what == STRIA_INPUT_DROPPED)
			return;
		for (const std::unique_ptr<ApplicationSide>& side : fSides) {
			side->Deliver(message);
			if (!fFailed && !side->Healthy()) {
				fFailed = true;
				fOnFailure();
			}
		}
	}

	bool Healthy() const override { return !fFailed; }

	void Finish() override
	{
		for (const std::unique_ptr<ApplicationSide>& side : fSides)
			side->Finish();
	}

private:
	const std::vector<std::unique_ptr<ApplicationSide>>& fSides;
	std::function<void()> fOnFailure;
	bool fFailed = false; // only the stream's thread delivers
};

} // namespace

// What one run builds, in the order it is built, so that members are
// destroyed in the reverse order once ShutDown has stopped their threads.
struct InputServer::Session {
	explicit Session(InputServer& owner);
	~Session() { owner.fHost = nullptr; }

	Session(const Session&) = delete;
	Session& operator=(const Session&) = delete;

	InputServer& owner;
	ServerHost host;
	BPrivate::ScopedInputServerHost installed{&host};
	AddOnManager addOns;
	std::optional<FilterChain> chain;
	FanOutSide sides;
	std::optional<InputStream> stream;
	ControlSocketServer control;
	PrintingSubscriber* subscriber = nullptr; // deletes itself as it quits
	std::optional<BMessenger> subscriberMessenger;
	std::vector<std::unique_ptr<InputSource>> sources;
	std::vector<std::unique_ptr<SourceSink>> sinks;
	std::vector<std::jthread> sourceThreads;
};

InputServer::Session::Session(InputServer& owner)
    : owner(owner), host([&owner](const std::string& line) { owner.Log(line); }),
      addOns([&owner](const std::string& line) { owner.Log(line); }),
      // A side that cannot deliver any more stops the server: with
      // keyboards taken for Stria alone, keys would otherwise vanish.
      sides(owner.fSides,
            [&owner] {
	            owner.Log("stopping: what reaches applications can no longer be delivered");
	            owner.RequestStop();
            }),
      control([this](const char* device, uint32 code,
                     BMessage* message) { return host.ControlDevice(device, code, message); },
              [&owner](const std::string& line) { owner.Log(line); })
{
	owner.fHost = &host;
}

InputServer::InputServer(Settings settings, LineOutput& output, LineOutput& log)
    : fSettings(std::move(settings)), fOutput(output), fLogOutput(log)
{
}

InputServer::~InputServer() {}

void InputServer::AddSource(SourceFactory factory)
{
	fSourceFactories.push_back(std::move(factory));
}

void InputServer::AddApplicationSide(std::unique_ptr<ApplicationSide> side)
{
	if (side)
		fSides.push_back(std::move(side));
}

void InputServer::AddBeforeFiltersDeleted(std::function<void()> step)
{
	fBeforeFiltersDeleted.push_back(std::move(step));
}

void InputServer::RequestStop()
{
	std::lock_guard lock(fStateLock);
	fStopRequested = true;
	fStateChanged.notify_all();
}

void InputServer::SourceEnded()
{
	std::lock_guard lock(fStateLock);
	fRunningSources--;
	fStateChanged.notify_all();
}

bool InputServer::WaitForEnd()
{
	std::unique_lock lock(fStateLock);
	bool hadSources = !fSourceFactories.empty();
	fStateChanged.wait(lock,
	                   [&] { return fStopRequested || (hadSources && fRunningSources == 0); });
	return fStopRequested;
}

void InputServer::Enqueue(std::unique_ptr<BMessage> message)
{
	// Marked with its source by the source's sink already. Waits while
	// applications are behind, so that keys stay with the kernel.
	if (fHost != nullptr)
		fHost->EnqueueFromReader(std::move(message));
}

bigtime_t InputServer::InputStart() const
{
	return fInputStart;
}

status_t InputServer::Control(const char* device, uint32 code, BMessage* message)
{
	std::unique_ptr<BInputDevice> found(find_input_device(device));
	if (!found)
		return B_NAME_NOT_FOUND;
	return found->Control(code, message);
}

void InputServer::Log(const std::string& line)
{
	fLogOutput.Write(line);
}

void InputServer::Fail(const std::string& line, status_t reason)
{
	Log(line);
	status_t none = B_OK;
	fSourceFailure.compare_exchange_strong(none, reason);
}

status_t InputServer::Run()
{
	Session session(*this);
	status_t status = LoadAddOns(session);
	if (status != B_OK)
		return status;
	StartStream(session);
	StartDevices(session);
	status = StartControlSocket(session);
	if (status == B_OK)
		status = SubscribePrinter(session);
	if (status == B_OK)
		RunSources(session);
	status = ShutDown(session, status);

	// What the server found itself comes first, then a failed side, then
	// a failed source.
	if (status == B_OK && !session.sides.Healthy())
		status = B_ERROR;
	if (status == B_OK)
		status = fSourceFailure.load();
	return status;
}

status_t InputServer::LoadAddOns(Session& session)
{
	std::string error;
	if (!session.addOns.LoadFolder(fSettings.addOnFolder, &error)) {
		Log(error);
		return B_ERROR;
	}
	session.addOns.InstantiateFilters();
	session.chain.emplace(session.addOns.Filters());
	return B_OK;
}

void InputServer::StartStream(Session& session)
{
	session.stream.emplace(*session.chain, &session.sides);
	session.stream->Start();
	session.host.SetStream(&*session.stream);
}

// Devices come once the stream runs, as they may enqueue from the start.
void InputServer::StartDevices(Session& session)
{
	session.addOns.InstantiateDevices(session.host);

	std::string devices;
	for (const ServerHost::Device& device : session.host.Devices())
		devices += (devices.empty() ? "\"" : ", \"") + device.name + "\"";
	Log("add-ons from " + fSettings.addOnFolder + ": " +
	    std::to_string(session.chain->CountFilters()) + " filter(s), devices " +
	    (devices.empty() ? std::string("none") : devices));
	// The viewer window of the filter goes to the X display named by
	// DISPLAY; a service started without it would show nothing, silently.
	const char* display = std::getenv("DISPLAY");
	if (session.chain->CountFilters() > 0 && (display == nullptr || *display == '\0')) {
		Log("no X display (DISPLAY is not set): scans are not shown in a window; to show them, "
		    "give the service your display (systemctl --user import-environment DISPLAY "
		    "XAUTHORITY) and restart it");
	}
}

status_t InputServer::StartControlSocket(Session& session)
{
	std::string error;
	if (!fSettings.controlSocket.empty() &&
	    !session.control.Start(fSettings.controlSocket, &error)) {
		Log(error);
		return B_ERROR;
	}
	return B_OK;
}

// --subscribe: a printing looper subscribes to scans as an application would.
status_t InputServer::SubscribePrinter(Session& session)
{
	if (!fSettings.subscribe)
		return B_OK;
	if (session.chain->CountFilters() == 0) {
		Log("--subscribe: no filter add-on was loaded from " + fSettings.addOnFolder +
		    ", so no scan and no SHUTDOWN would come");
		return B_ERROR;
	}
	session.subscriber = new PrintingSubscriber(fOutput);
	session.subscriber->Run();
	session.subscriberMessenger = BMessenger(session.subscriber);

	status_t status = subscribe_to_scans(*session.subscriberMessenger);
	if (status != B_OK) {
		Log(std::string("--subscribe: cannot subscribe through \"") + STRIA_DEVICE_NAME +
		    "\": " + StatusText(status));
		return B_ERROR;
	}
	return B_OK;
}

// The input devices of the host, each on a thread of its own with a sink
// that marks what it enqueues as its own; returns once they have ended or
// a stop is requested.
void InputServer::RunSources(Session& session)
{
	for (const SourceFactory& factory : fSourceFactories) {
		std::unique_ptr<InputSource> source = factory(session.subscriberMessenger);
		if (source) {
			InputSink& server = *this;
			int32 kind = source->IsRecorded() ? STRIA_SOURCE_RECORDED : STRIA_SOURCE_KEYBOARD;
			session.sinks.push_back(
			        std::make_unique<SourceSink>(server, session.host.NewSource(kind)));
			session.sources.push_back(std::move(source));
		}
	}
	{
		std::lock_guard lock(fStateLock);
		fRunningSources = session.sources.size();
	}
	// Recorded input starts here, and printed stamps count from here.
	fInputStart = system_time();
	session.sides.Start(fInputStart);
	for (size_t index = 0; index < session.sources.size(); index++) {
		InputSource* running = session.sources[index].get();
		SourceSink* sink = session.sinks[index].get();
		session.sourceThreads.emplace_back([this, running, sink](std::stop_token stop) {
			running->Run(*sink, stop);
			sink->Ended();
			SourceEnded();
		});
	}
	if (session.sources.size() < fSourceFactories.size()) {
		// A source that could not be made was reported by its factory.
		RequestStop();
	}
	WaitForEnd();
}

// No new input, let the stream drain, then take the add-ons down while
// everything they may call still exists. status: how the run went so far;
// the subscriber's SHUTDOWN is awaited only when it went well.
status_t InputServer::ShutDown(Session& session, status_t status)
{
	for (std::jthread& thread : session.sourceThreads)
		thread.request_stop();
	session.sourceThreads.clear(); // joins
	session.control.Stop();
	InputStream& stream = *session.stream;
	// Devices first: a typer typing a code slowly would keep the stream
	// from settling for as long as the code takes. What they enqueue as
	// they stop (the keys they let go of) still settles and passes.
	session.addOns.ShutDownDevices();
	stream.WaitUntilQuiet(kSettleQuiet, kSettleLimit);
	stream.Close();
	session.host.SetStream(nullptr);
	if (uint64_t waits = stream.CountWaits(); waits > 0) {
		Log("input queue: applications fell behind; the readers waited " +
		    std::to_string(waits) + " time(s), at most " +
		    std::to_string(stream.HighWaterMark()) + " messages queued");
	}

	session.addOns.StopDevices(session.host);
	for (const std::function<void()>& step : fBeforeFiltersDeleted)
		step();
	bool hadFilters = session.chain->CountFilters() > 0;
	session.addOns.DeleteFilters();
	if (PrintingSubscriber* subscriber = session.subscriber; subscriber != nullptr) {
		if (hadFilters && status == B_OK && !subscriber->WaitForShutdown(kShutdownNoticeTimeout)) {
			Log("the subscriber got no SHUTDOWN from the filters");
			status = B_ERROR;
		}
		if (subscriber->Lock())
			subscriber->Quit();
	}
	session.addOns.DeleteDevices(session.host);
	return status;
}

} // namespace stria
