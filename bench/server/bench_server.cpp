// A person's keystroke (key-down and key-up of a letter) from the input
// device into the server's stream, through the filters, to the application
// side: the server with the Stria add-ons against the same server with no
// filter loaded, and with the viewer window stuck (its lock held by another
// thread while scans wait for it). The same pair through the filter chain
// alone shows the filter's own share without the thread hand-off.
//
// A scan typed by the typer (type = data, key-delay 0): from the scan's
// Enter key-up entering the filters to the typed Enter key-up (the last key
// of 13 digits and Enter) leaving the server, beside the same 14 keystrokes
// from a device passing the same server, from the device's hand-over of the
// first to the last leaving. Both start with the server quiet for 2 ms, as
// a scan does. The counter typing_starts_us is the part until the typer
// types its first key (the scan's way through the processor to the typer);
// the rest is the typing. A third timing is the floor of the server's
// threads: the same three hand-offs a typed scan makes, with no work of
// Stria's between them, then the 14 keystrokes.
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
#include <InputServerFilter.h>
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
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kAddOns = STRIA_BINARY_DIR "/add-ons";

// Counts what is delivered and notes when: the last message, the last F10
// key-down, and the first and last keys the typer typed. A waiting thread is
// woken only when its wait ends; woken for every message, it would take
// from the server the processor time it is measured by.
class CountingSide : public stria::ApplicationSide {
public:
	void Deliver(const BMessage& message) override
	{
		bigtime_t now = system_time();
		std::lock_guard lock(fLock);
		fDelivered++;
		fLastDelivered = now;
		const int32 key = message.GetInt32("key", -1);
		const bool typed = message.GetInt32(STRIA_SOURCE_KIND_FIELD, 0) == STRIA_SOURCE_ADD_ON;
		if (message.what == B_KEY_DOWN && key == ScanCapture::CAT_CALL_KEY) {
			fCatCalls++;
			fLastCatCall = now;
		}
		if (typed && fFirstTyped == 0)
			fFirstTyped = message.GetInt64("when", 0);
		if (message.what == B_KEY_UP && key == ScanCapture::CAT_TERM_KEY && typed) {
			fTypedEnds++;
			fLastTypedEnd = now;
		}
		if (fWaitEnds && fWaitEnds())
			fChanged.notify_one();
	}

	uint64_t Delivered()
	{
		std::lock_guard lock(fLock);
		return fDelivered;
	}

	void WaitFor(uint64_t count)
	{
		std::unique_lock lock(fLock);
		_Wait(lock, [this, count] { return fDelivered >= count; });
	}

	// When the count-th F10 key-down arrived.
	bigtime_t WaitForCatCall(uint64_t count)
	{
		std::unique_lock lock(fLock);
		_Wait(lock, [this, count] { return fCatCalls >= count; });
		return fLastCatCall;
	}

	// When the count-th Enter key-up the typer typed arrived; firstTyped:
	// the stamp of the first key typed since the last call, which is when
	// the typer started typing.
	bigtime_t WaitForTypedEnd(uint64_t count, bigtime_t* firstTyped)
	{
		std::unique_lock lock(fLock);
		_Wait(lock, [this, count] { return fTypedEnds >= count; });
		*firstTyped = fFirstTyped;
		fFirstTyped = 0;
		return fLastTypedEnd;
	}

	// When the count-th message arrived (the last, when no more come).
	bigtime_t WaitForDelivered(uint64_t count)
	{
		std::unique_lock lock(fLock);
		_Wait(lock, [this, count] { return fDelivered >= count; });
		return fLastDelivered;
	}

private:
	void _Wait(std::unique_lock<std::mutex>& lock, std::function<bool()> ends)
	{
		fWaitEnds = std::move(ends);
		fChanged.wait(lock, fWaitEnds);
		fWaitEnds = nullptr;
	}

	std::mutex fLock;
	std::condition_variable fChanged;
	std::function<bool()> fWaitEnds;
	uint64_t fDelivered = 0;
	bigtime_t fLastDelivered = 0;
	uint64_t fCatCalls = 0;
	bigtime_t fLastCatCall = 0;
	bigtime_t fFirstTyped = 0;
	uint64_t fTypedEnds = 0;
	bigtime_t fLastTypedEnd = 0;
};

// Notes when a scan's Enter key-up (not a typed one) enters the filters:
// put in front of every filter.
class EnterStamp : public BInputServerFilter {
public:
	filter_result Filter(BMessage* message, BList*) override
	{
		if (message->what == B_KEY_UP &&
		    message->GetInt32("key", -1) == ScanCapture::CAT_TERM_KEY &&
		    message->GetInt32(STRIA_SOURCE_KIND_FIELD, 0) != STRIA_SOURCE_ADD_ON)
			fEntered = system_time();
		return B_DISPATCH_MESSAGE;
	}
	bigtime_t Entered() const { return fEntered; }

private:
	std::atomic<bigtime_t> fEntered{0};
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
	    : Server(withFilter ? std::initializer_list<const char*>{"StriaFilter", "StriaDevice"}
	                        : std::initializer_list<const char*>{"StriaDevice"})
	{
	}

	// front: a filter of the benchmark's own in front of the add-ons', or
	// none; it must outlive the server.
	explicit Server(std::initializer_list<const char*> addOns, BInputServerFilter* front = nullptr)
	    : fFolder(addOns), fHost(Quiet), fInstalled(&fHost), fAddOns(Quiet)
	{
		std::string error;
		if (!fAddOns.LoadFolder(fFolder.Path(), &error))
			std::fprintf(stderr, "%s\n", error.c_str());
		fAddOns.InstantiateFilters();
		fFilters = fAddOns.Filters().size();
		std::vector<BInputServerFilter*> filters = fAddOns.Filters();
		if (front != nullptr)
			filters.insert(filters.begin(), front);
		fChain = std::make_unique<stria::FilterChain>(filters);
		fStream = std::make_unique<stria::InputStream>(*fChain, &fSide);
		fStream->Start();
		fHost.SetStream(fStream.get());
		fAddOns.InstantiateDevices(fHost);
	}

	~Server()
	{
		fAddOns.ShutDownDevices();
		fStream->Close();
		fHost.SetStream(nullptr);
		fAddOns.StopDevices(fHost);
		fAddOns.DeleteFilters();
		fAddOns.DeleteDevices(fHost);
	}

	// The add-ons' filters.
	size_t CountFilters() const { return fFilters; }
	stria::InputStream& Stream() { return *fStream; }
	const stria::FilterChain& Chain() { return *fChain; }
	CountingSide& Side() { return fSide; }

private:
	static void Quiet(const std::string&) {}

	AddOnFolder fFolder;
	stria::ServerHost fHost;
	BPrivate::ScopedInputServerHost fInstalled;
	stria::AddOnManager fAddOns;
	size_t fFilters = 0;
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
	stream.Enqueue(stria::KeyMessage::UsKey(B_KEY_DOWN, system_time(), ScanCapture::CAT_CALL_KEY,
	                                        0, states));
	for (char c : record) {
		int32 key = c == '\n' ? ScanCapture::CAT_TERM_KEY : 0x3c;
		stream.Enqueue(stria::KeyMessage::Key(B_KEY_DOWN, system_time(), key, 0, std::string(1, c),
		                                      states));
		stream.Enqueue(stria::KeyMessage::UsKey(B_KEY_UP, system_time(), key, 0, states));
	}
}

// The typer's settings for its benchmark: data, Enter, no delay, in a
// settings folder of its own.
class TyperSettingsFolder {
public:
	TyperSettingsFolder()
	{
		char folder[] = "/tmp/stria-bench-typer-XXXXXX";
		if (mkdtemp(folder) == nullptr)
			return;
		fPath = folder;
		fs::create_directories(fPath + "/stria");
		std::FILE* file = std::fopen((fPath + "/stria/typer.settings").c_str(), "w");
		if (file != nullptr) {
			std::fputs("type = data\nend = enter\nkey-delay = 0\n", file);
			std::fclose(file);
		}
		const char* saved = getenv("XDG_CONFIG_HOME");
		fHadSaved = saved != nullptr;
		fSaved = saved ? saved : "";
		setenv("XDG_CONFIG_HOME", fPath.c_str(), 1);
	}
	~TyperSettingsFolder()
	{
		fHadSaved ? setenv("XDG_CONFIG_HOME", fSaved.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
		fs::remove_all(fPath);
	}

private:
	std::string fPath;
	std::string fSaved;
	bool fHadSaved = false;
};

// Keys a scan's Enter key-up leaves to the typer: 13 digits and Enter.
const int kTypedKeystrokes = 14;

void ScanTypedThroughServer(benchmark::State& state)
{
	TyperSettingsFolder settings;
	EnterStamp enter;
	Server server({"StriaDevice", "StriaFilter", "StriaTyper"}, &enter);
	if (!FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	std::vector<bigtime_t> delays;
	std::vector<bigtime_t> untilTyping;
	uint64_t typed = 0;
	const std::string record = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";
	for (auto _ : state) {
		// The scan up to its Enter key-down, and what of it passes.
		server.Stream().Enqueue(stria::KeyMessage::UsKey(
		        B_KEY_DOWN, system_time(), ScanCapture::CAT_CALL_KEY, 0, states));
		for (char c : record) {
			server.Stream().Enqueue(stria::KeyMessage::Key(B_KEY_DOWN, system_time(), 0x3c, 0,
			                                               std::string(1, c), states));
			server.Stream().Enqueue(
			        stria::KeyMessage::UsKey(B_KEY_UP, system_time(), 0x3c, 0, states));
		}
		server.Stream().Enqueue(stria::KeyMessage::Key(
		        B_KEY_DOWN, system_time(), ScanCapture::CAT_TERM_KEY, 0, "\n", states));
		server.Stream().WaitUntilQuiet(std::chrono::milliseconds(2), std::chrono::seconds(10));

		server.Stream().Enqueue(stria::KeyMessage::UsKey(B_KEY_UP, system_time(),
		                                                 ScanCapture::CAT_TERM_KEY, 0, states));
		bigtime_t typingStarted = 0;
		const bigtime_t end = server.Side().WaitForTypedEnd(++typed, &typingStarted);
		const bigtime_t start = enter.Entered();
		delays.push_back(end - start);
		untilTyping.push_back(typingStarted - start);
		state.SetIterationTime(double(end - start) / 1e6);
	}
	state.SetItemsProcessed(state.iterations() * kTypedKeystrokes);
	ReportDelays(state, delays);
	if (!untilTyping.empty()) {
		std::sort(untilTyping.begin(), untilTyping.end());
		state.counters["typing_starts_us"] = double(untilTyping[untilTyping.size() / 2]);
	}
}

// The 14 keystrokes from a quiet server to the last one's delivery, each
// iteration; handOver gives them to the server in its own way.
void TimeKeystrokesFromQuiet(benchmark::State& state, Server& server,
                             const std::function<void()>& handOver)
{
	std::vector<bigtime_t> delays;
	uint64_t sent = server.Side().Delivered();
	for (auto _ : state) {
		// As quiet as before a scan.
		server.Stream().WaitUntilQuiet(std::chrono::milliseconds(2), std::chrono::seconds(10));
		const bigtime_t start = system_time();
		handOver();
		sent += 2 * kTypedKeystrokes;
		const bigtime_t end = server.Side().WaitForDelivered(sent);
		delays.push_back(end - start);
		state.SetIterationTime(double(end - start) / 1e6);
	}
	state.SetItemsProcessed(state.iterations() * kTypedKeystrokes);
	ReportDelays(state, delays);
}

void ScanTypedThroughServer_baseline_device_keys(benchmark::State& state)
{
	TyperSettingsFolder settings;
	Server server({"StriaDevice", "StriaFilter", "StriaTyper"});
	if (!FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	TimeKeystrokesFromQuiet(state, server, [&server, &states] {
		for (int key = 0; key < kTypedKeystrokes; key++) {
			server.Stream().Enqueue(Key(B_KEY_DOWN, states));
			server.Stream().Enqueue(Key(B_KEY_UP, states));
		}
	});
}

// A thread that waits for a token and then does its part, as the
// processor waits for a record and the typer's looper for a scan.
class Relay {
public:
	explicit Relay(std::function<void()> part) : fPart(std::move(part)), fThread([this] { _Run(); })
	{
	}

	~Relay()
	{
		{
			std::lock_guard lock(fLock);
			fQuitting = true;
		}
		fWake.notify_one();
		fThread.join();
	}

	void Pass()
	{
		{
			std::lock_guard lock(fLock);
			fTokens++;
		}
		fWake.notify_one();
	}

private:
	void _Run()
	{
		std::unique_lock lock(fLock);
		for (;;) {
			fWake.wait(lock, [this] { return fTokens > 0 || fQuitting; });
			if (fTokens == 0)
				return;
			fTokens--;
			lock.unlock();
			fPart();
			lock.lock();
		}
	}

	std::function<void()> fPart;
	std::mutex fLock;
	std::condition_variable fWake;
	int fTokens = 0;
	bool fQuitting = false;
	std::thread fThread;
};

// The least a typed scan can take with the server's threads: the scan's
// way from the Enter key-up is three hand-offs between threads (to the
// processor, to the typer's looper, to the stream's thread with the typed
// keys). Here a token goes from the benchmark's thread to a thread standing
// for the processor, from it to one standing for the typer, which hands the
// 14 keystrokes to the stream at once; timed to the last key's delivery,
// after the same quiet. A typed scan's time beyond this is Stria's own work.
void ScanTypedThroughServer_floor_three_handoffs(benchmark::State& state)
{
	TyperSettingsFolder settings;
	Server server({"StriaDevice", "StriaFilter", "StriaTyper"});
	if (!FilterLoaded(state, server))
		return;
	stria::KeyStates states{};
	Relay typer([&server, &states] {
		std::vector<std::unique_ptr<BMessage>> keys;
		for (int key = 0; key < kTypedKeystrokes; key++) {
			keys.push_back(Key(B_KEY_DOWN, states));
			keys.push_back(Key(B_KEY_UP, states));
		}
		server.Stream().EnqueueAll(std::move(keys));
	});
	Relay processor([&typer] { typer.Pass(); });
	TimeKeystrokesFromQuiet(state, server, [&processor] { processor.Pass(); });
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
		        stria::KeyMessage::UsKey(B_KEY_DOWN, stamp, ScanCapture::CAT_CALL_KEY, 0, states));
		server.Stream().Enqueue(stria::KeyMessage::UsKey(B_KEY_UP, stamp + 1000,
		                                                 ScanCapture::CAT_CALL_KEY, 0, states));
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
		due = stamp + ScanCapture::FIRST_CHAR_TIME;
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
BENCHMARK(ScanTypedThroughServer_baseline_device_keys)->UseManualTime()->Iterations(500);
BENCHMARK(ScanTypedThroughServer_floor_three_handoffs)->UseManualTime()->Iterations(500);
BENCHMARK(ScanTypedThroughServer)->UseManualTime()->Iterations(500);
BENCHMARK(LoneF10Delay_baseline_timed_wait)->UseManualTime()->Iterations(300);
BENCHMARK(LoneF10Delay)->UseManualTime()->Iterations(300);
BENCHMARK_CAPTURE(KeystrokeThroughFilters, baseline_no_filter, false);
BENCHMARK_CAPTURE(KeystrokeThroughFilters, stria_filter, true);
