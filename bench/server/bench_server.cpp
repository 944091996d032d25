// A person's keystroke (key-down and key-up of a letter) from the input
// device into the server's stream, through the filters, to the application
// side: the server with the Stria add-ons against the same server with no
// filter loaded. The same pair through the filter chain alone shows the
// filter's own share without the thread hand-off.
#include "AddOnManager.h"
#include "ApplicationSide.h"
#include "FilterChain.h"
#include "InputStream.h"
#include "KeyMessage.h"
#include "ServerHost.h"

#include <AppDefs.h>
#include <Message.h>
#include <OS.h>
#include <private/InputServerHost.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const std::string kAddOns = STRIA_BINARY_DIR "/add-ons";

// Signals each delivered message to the benchmark's thread.
class CountingSide : public stria::ApplicationSide {
public:
	void Deliver(const BMessage&) override
	{
		std::lock_guard lock(fLock);
		fDelivered++;
		fChanged.notify_one();
	}

	void WaitFor(uint64_t count)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [&] { return fDelivered >= count; });
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	uint64_t fDelivered = 0;
};

// A folder holding links to the chosen add-ons of the build.
class AddOnFolder {
public:
	explicit AddOnFolder(std::initializer_list<const char*> names)
	{
		char folder[] = "/tmp/stria-bench-XXXXXX";
		if (mkdtemp(folder) == nullptr)
			return;
		fPath = folder;
		for (const char* name : names)
			fs::create_symlink(kAddOns + "/" + name, fPath + "/" + name);
	}
	~AddOnFolder() { fs::remove_all(fPath); }

	const std::string& Path() const { return fPath; }

private:
	std::string fPath;
};

// The server's core as stria-input-server puts it together.
class Server {
public:
	explicit Server(bool withFilter)
	    : fFolder(withFilter ? AddOnFolder{"StriaFilter", "StriaDevice"}
	                         : AddOnFolder{"StriaDevice"}),
	      fHost(Quiet), fInstalled(&fHost), fAddOns(Quiet)
	{
		std::string error;
		if (!fAddOns.LoadFolder(fFolder.Path(), &error))
			std::fprintf(stderr, "%s\n", error.c_str());
		fAddOns.InstantiateFilters();
		fChain = std::make_unique<stria::FilterChain>(fAddOns.Filters());
		fStream = std::make_unique<stria::InputStream>(*fChain, &fSide);
		fStream->Start();
		fHost.SetStream(fStream.get());
		fAddOns.InstantiateDevices(fHost);
	}

	~Server()
	{
		fStream->Close();
		fHost.SetStream(nullptr);
		fAddOns.StopDevices(fHost);
		fAddOns.DeleteFilters();
		fAddOns.DeleteDevices(fHost);
	}

	size_t CountFilters() const { return fChain->CountFilters(); }
	stria::InputStream& Stream() { return *fStream; }
	const stria::FilterChain& Chain() { return *fChain; }
	CountingSide& Side() { return fSide; }

private:
	static void Quiet(const std::string&) {}

	AddOnFolder fFolder;
	stria::ServerHost fHost;
	BPrivate::ScopedInputServerHost fInstalled;
	stria::AddOnManager fAddOns;
	std::unique_ptr<stria::FilterChain> fChain;
	CountingSide fSide;
	std::unique_ptr<stria::InputStream> fStream;
};

// The letter a, as the replay device and the keyboard reader make it.
std::unique_ptr<BMessage> Key(uint32 what, stria::KeyStates& states)
{
	stria::SetKeyState(states, 0x3c, what == B_KEY_DOWN);
	return stria::KeyMessage::UsKey(what, system_time(), 0x3c, 0, states);
}

void KeystrokeThroughServer(benchmark::State& state, bool withFilter)
{
	Server server(withFilter);
	if (withFilter && server.CountFilters() != 1) {
		state.SkipWithError("StriaFilter did not load from the build's add-ons folder");
		return;
	}
	stria::KeyStates states{};
	uint64_t sent = 0;
	for (auto _ : state) {
		server.Stream().Enqueue(Key(B_KEY_DOWN, states));
		server.Stream().Enqueue(Key(B_KEY_UP, states));
		sent += 2;
		server.Side().WaitFor(sent);
	}
	state.SetItemsProcessed(state.iterations());
}

void KeystrokeThroughFilters(benchmark::State& state, bool withFilter)
{
	Server server(withFilter);
	if (withFilter && server.CountFilters() != 1) {
		state.SkipWithError("StriaFilter did not load from the build's add-ons folder");
		return;
	}
	stria::KeyStates states{};
	stria::FilterChain::Messages delivered;
	for (auto _ : state) {
		server.Chain().Run(Key(B_KEY_DOWN, states), delivered);
		server.Chain().Run(Key(B_KEY_UP, states), delivered);
		if (delivered.size() != 2) {
			state.SkipWithError("a person's key did not pass");
			return;
		}
		delivered.clear();
	}
	state.SetItemsProcessed(state.iterations());
}

} // namespace

BENCHMARK_CAPTURE(KeystrokeThroughServer, baseline_no_filter, false)->UseRealTime();
BENCHMARK_CAPTURE(KeystrokeThroughServer, stria_filter, true)->UseRealTime();
BENCHMARK_CAPTURE(KeystrokeThroughFilters, baseline_no_filter, false);
BENCHMARK_CAPTURE(KeystrokeThroughFilters, stria_filter, true);
