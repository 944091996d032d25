// A person's keystroke (key-down and key-up of a letter) from the input
// device into the server's stream, through the filters, to the application
// side: the server with the Stria add-ons against the same server with no
// filter loaded, and with the viewer window stuck (its lock held by another
// thread while scans wait for it). The same pair through the filter chain
// alone shows the filter's own share without the thread hand-off.
//
// A person's lone F10, from its stamp to its delivery (the filter holds it
// back for the first-character limit, then its timer's tick brings it
// through the device and the stream): median and 99th percentile, beside a
// bare timed wait for the same limit handed to another thread.
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

#include <CueCatFilter.h>
#include <Looper.h>
#include <Messenger.h>
#include <StriaProtocol.h>
#include <private/WindowSnapshot.h>

#include <WindowHolder.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kAddOns = STRIA_BINARY_DIR "/add-ons";

// Signals each delivered message to the benchmark's thread, and notes when
// the last F10 key-down arrived.
class CountingSide : public stria::ApplicationSide {
public:
	void Deliver(const BMessage& message) override
	{
		bigtime_t now = system_time();
		std::lock_guard lock(fLock);
		fDelivered++;
		if (message.what == B_KEY_DOWN &&
		    message.GetInt32("key", -1) == CueCatFilter::CAT_CALL_KEY) {
			fCatCalls++;
			fLastCatCall = now;
		}
		fChanged.notify_one();
	}

	void WaitFor(uint64_t count)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [&] { return fDelivered >= count; });
	}

	uint64_t Delivered()
	{
		std::lock_guard lock(fLock);
		return fDelivered;
	}

	// When the count-th F10 key-down arrived.
	bigtime_t WaitForCatCall(uint64_t count)
	{
		std::unique_lock lock(fLock);
		fChanged.wait(lock, [&] { return fCatCalls >= count; });
		return fLastCatCall;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	uint64_t fDelivered = 0;
	uint64_t fCatCalls = 0;
	bigtime_t fLastCatCall = 0;
};

void ReportDelays(benchmark::State& state, std::vector<bigtime_t>& delays)
{
	if (delays.empty())
		return;
	std::sort(delays.begin(), delays.end());
	state.counters["median_us"] = double(delays[delays.size() / 2]);
	state.counters["p99_us"] = double(delays[(delays.size() * 99) / 100]);
	state.counters["max_us"] = double(delays.back());
}

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

bool FilterLoaded(benchmark::State& state, const Server& server)
{
	if (server.CountFilters() == 1)
		return true;
	state.SkipWithError("StriaFilter did not load from the build's add-ons folder");
	return false;
}

// The letter a, as the replay device and the keyboard reader make it.
std::unique_ptr<BMessage> Key(uint32 what, stria::KeyStates& states)
{
	stria::SetKeyState(states, 0x3c, what == B_KEY_DOWN);
	return stria::KeyMessage::UsKey(what, system_time(), 0x3c, 0, states);
}

// One keystroke an iteration, each waited for at the application side.
void TypeKeystrokes(benchmark::State& state, Server& server, stria::KeyStates& states)
{
	uint64_t sent = server.Side().Delivered();
	for (auto _ : state) {
		server.Stream().Enqueue(Key(B_KEY_DOWN, states));
		server.Stream().Enqueue(Key(B_KEY_UP, states));
		sent += 2;
		server.Side().WaitFor(sent);
	}
	state.SetItemsProcessed(state.iterations());
}

void KeystrokeThroughServer(benchmark::State& state, bool withFilter)
{
	Server server(withFilter);
	if (withFilter && !FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	TypeKeystrokes(state, server, states);
}

// The keys a CueCat types for one scan, stamped now.
void EnqueueScan(stria::InputStream& stream, stria::KeyStates& states)
{
	const std::string record = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.\n";
	stream.Enqueue(stria::KeyMessage::UsKey(B_KEY_DOWN, system_time(), CueCatFilter::CAT_CALL_KEY,
	                                        0, states));
	for (char c : record) {
		int32 key = c == '\n' ? CueCatFilter::CAT_TERM_KEY : 0x3c;
		stream.Enqueue(stria::KeyMessage::Key(B_KEY_DOWN, system_time(), key, 0, std::string(1, c),
		                                      states));
		stream.Enqueue(stria::KeyMessage::UsKey(B_KEY_UP, system_time(), key, 0, states));
	}
}

// A person types while the viewer window does not answer: scans wait for
// it, and the keys must not.
void KeystrokeWhileTheWindowIsStuck(benchmark::State& state)
{
	Server server(true);
	if (!FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	EnqueueScan(server.Stream(), states);
	for (int i = 0; i < 2000 && BPrivate::count_live_windows() == 0; i++)
		usleep(1000);
	if (BPrivate::count_live_windows() == 0) {
		state.SkipWithError("the first scan made no window");
		return;
	}
	WindowHolder holder(BPrivate::newest_live_window());
	if (!holder.WaitUntilHeld()) {
		state.SkipWithError("the window could not be locked");
		return;
	}
	for (int scan = 0; scan < 10; scan++)
		EnqueueScan(server.Stream(), states);
	// What passes of the scans (their key-ups) has passed.
	server.Stream().WaitUntilQuiet(std::chrono::milliseconds(50), std::chrono::seconds(10));

	TypeKeystrokes(state, server, states);
}

// A person's lone F10: held back, then brought through by the timer.
void LoneF10Delay(benchmark::State& state)
{
	Server server(true);
	if (!FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	std::vector<bigtime_t> delays;
	uint64_t catCalls = 0;
	for (auto _ : state) {
		bigtime_t stamp = system_time();
		server.Stream().Enqueue(
		        stria::KeyMessage::UsKey(B_KEY_DOWN, stamp, CueCatFilter::CAT_CALL_KEY, 0, states));
		server.Stream().Enqueue(stria::KeyMessage::UsKey(B_KEY_UP, stamp + 1000,
		                                                 CueCatFilter::CAT_CALL_KEY, 0, states));
		bigtime_t delivered = server.Side().WaitForCatCall(++catCalls);
		delays.push_back(delivered - stamp);
		state.SetIterationTime(double(delivered - stamp) / 1e6);
	}
	ReportDelays(state, delays);
}

// The least a lone F10 can take: a wait for the same limit on the same
// clock, then a hand-off to another thread.
void LoneF10Delay_baseline_timed_wait(benchmark::State& state)
{
	std::mutex lock;
	std::condition_variable changed;
	bigtime_t due = 0;
	bigtime_t arrived = 0;
	bool stopping = false;
	std::thread waiter([&] {
		std::unique_lock held(lock);
		for (;;) {
			changed.wait(held, [&] { return due != 0 || stopping; });
			if (stopping)
				return;
			bigtime_t wait = due - system_time();
			if (wait > 0)
				changed.wait_for(held, std::chrono::microseconds(wait),
				                 [&] { return system_time() >= due || stopping; });
			due = 0;
			arrived = system_time();
			changed.notify_all();
		}
	});
	std::vector<bigtime_t> delays;
	for (auto _ : state) {
		std::unique_lock held(lock);
		bigtime_t stamp = system_time();
		arrived = 0;
		due = stamp + CueCatFilter::FIRST_CHAR_TIME;
		changed.notify_all();
		changed.wait(held, [&] { return arrived != 0; });
		delays.push_back(arrived - stamp);
		state.SetIterationTime(double(arrived - stamp) / 1e6);
	}
	{
		std::lock_guard held(lock);
		stopping = true;
		changed.notify_all();
	}
	waiter.join();
	ReportDelays(state, delays);
}

void KeystrokeThroughFilters(benchmark::State& state, bool withFilter)
{
	Server server(withFilter);
	if (withFilter && !FilterLoaded(state, server))
		return;
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
BENCHMARK(KeystrokeWhileTheWindowIsStuck)->UseRealTime();
BENCHMARK(LoneF10Delay_baseline_timed_wait)->UseManualTime()->Iterations(300);
BENCHMARK(LoneF10Delay)->UseManualTime()->Iterations(300);
BENCHMARK_CAPTURE(KeystrokeThroughFilters, baseline_no_filter, false);
BENCHMARK_CAPTURE(KeystrokeThroughFilters, stria_filter, true);
