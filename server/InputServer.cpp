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
#include <private/InputServerHost.h>

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
		if (message.what == STRIA_INPUT_ENDED || message.what == STRIA_INPUT_QUIET)
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
	auto log = [this](const std::string& line) { Log(line); };
	status_t status = B_OK;

	ServerHost host(log);
	BPrivate::ScopedInputServerHost installed(&host);
	fHost = &host;

	AddOnManager addOns(log);
	std::string error;
	if (!addOns.LoadFolder(fSettings.addOnFolder, &error)) {
		Log(error);
		fHost = nullptr;
		return B_ERROR;
	}
	addOns.InstantiateFilters();
	FilterChain chain(addOns.Filters());

	// A side that cannot deliver any more stops the server: with
	// keyboards taken for Stria alone, keys would otherwise vanish.
	FanOutSide sides(fSides, [this] {
		Log("stopping: what reaches applications can no longer be delivered");
		RequestStop();
	});
	InputStream stream(chain, &sides);
	stream.Start();
	host.SetStream(&stream);
	addOns.InstantiateDevices(host);

	std::string devices;
	for (const ServerHost::Device& device : host.Devices())
		devices += (devices.empty() ? "\"" : ", \"") + device.name + "\"";
	Log("add-ons from " + fSettings.addOnFolder + ": " + std::to_string(chain.CountFilters()) +
	    " filter(s), devices " + (devices.empty() ? std::string("none") : devices));

	ControlSocketServer control(
	        [&host](const char* device, uint32 code, BMessage* message) {
		        return host.ControlDevice(device, code, message);
	        },
	        log);
	if (!fSettings.controlSocket.empty() && !control.Start(fSettings.controlSocket, &error)) {
		Log(error);
		status = B_ERROR;
	}

	if (status == B_OK && fSettings.subscribe && chain.CountFilters() == 0) {
		Log("--subscribe: no filter add-on was loaded from " + fSettings.addOnFolder +
		    ", so no scan and no SHUTDOWN would come");
		status = B_ERROR;
	}
	PrintingSubscriber* subscriber = nullptr;
	std::optional<BMessenger> subscriberMessenger;
	if (status == B_OK && fSettings.subscribe) {
		subscriber = new PrintingSubscriber(fOutput);
		subscriber->Run();
		subscriberMessenger = BMessenger(subscriber);

		BMessage subscription(STRIA_SUBSCRIBE);
		subscription.AddMessenger(STRIA_MESSENGER_FIELD, *subscriberMessenger);
		std::unique_ptr<BInputDevice> device(find_input_device(STRIA_DEVICE_NAME));
		status_t subscribed =
		        device ? device->Control(STRIA_SUBSCRIBE, &subscription) : B_NAME_NOT_FOUND;
		if (subscribed != B_OK) {
			Log(std::string("--subscribe: cannot subscribe through \"") + STRIA_DEVICE_NAME +
			    "\": " + StatusText(subscribed));
			status = B_ERROR;
		}
	}

	// The input devices of the host, each on a thread of its own, with a
	// sink that marks what it enqueues as its own.
	std::vector<std::unique_ptr<InputSource>> sources;
	std::vector<std::unique_ptr<SourceSink>> sinks;
	std::vector<std::jthread> sourceThreads;
	if (status == B_OK) {
		for (const SourceFactory& factory : fSourceFactories) {
			std::unique_ptr<InputSource> source = factory(subscriberMessenger);
			if (source) {
				InputSink& server = *this;
				int32 kind = source->IsRecorded() ? STRIA_SOURCE_RECORDED : STRIA_SOURCE_KEYBOARD;
				sinks.push_back(std::make_unique<SourceSink>(server, host.NewSource(kind)));
				sources.push_back(std::move(source));
			}
		}
		{
			std::lock_guard lock(fStateLock);
			fRunningSources = sources.size();
		}
		// Recorded input starts here, and printed stamps count from here.
		fInputStart = system_time();
		sides.Start(fInputStart);
		for (size_t index = 0; index < sources.size(); index++) {
			InputSource* running = sources[index].get();
			SourceSink* sink = sinks[index].get();
			sourceThreads.emplace_back([this, running, sink](std::stop_token stop) {
				running->Run(*sink, stop);
				sink->Ended();
				SourceEnded();
			});
		}
		if (sources.size() < fSourceFactories.size()) {
			// A source that could not be made was reported by its factory.
			RequestStop();
		}
		WaitForEnd();
	}

	// Shut down: no new input, let the stream drain, then take the add-ons
	// down while everything they may call still exists.
	for (std::jthread& thread : sourceThreads)
		thread.request_stop();
	sourceThreads.clear(); // joins
	control.Stop();
	stream.WaitUntilQuiet(kSettleQuiet, kSettleLimit);
	addOns.ShutDownDevices();
	stream.Close();
	host.SetStream(nullptr);
	if (uint64_t waits = stream.CountWaits(); waits > 0) {
		Log("input queue: applications fell behind; the readers waited " +
		    std::to_string(waits) + " time(s), at most " +
		    std::to_string(stream.HighWaterMark()) + " messages queued");
	}

	addOns.StopDevices(host);
	for (const std::function<void()>& step : fBeforeFiltersDeleted)
		step();
	bool hadFilters = chain.CountFilters() > 0;
	addOns.DeleteFilters();
	if (subscriber != nullptr) {
		if (hadFilters && status == B_OK && !subscriber->WaitForShutdown(kShutdownNoticeTimeout)) {
			Log("the subscriber got no SHUTDOWN from the filters");
			status = B_ERROR;
		}
		if (subscriber->Lock())
			subscriber->Quit();
	}
	addOns.DeleteDevices(host);
	fHost = nullptr;
	if (status == B_OK && !sides.Healthy())
		status = B_ERROR;
	if (status == B_OK)
		status = fSourceFailure.load();
	return status;
}

} // namespace stria
