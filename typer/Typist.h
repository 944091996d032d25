// Typist: types the codes it is given, one after the other: for each, the
// text its settings choose, as keyboard messages of a keyboard of its own
// (its Shift is its own, whatever a person holds), key-delay apart, into
// the input stream through its sink.
//
// Codes are typed on a thread of the typist's own, so that whoever hands
// them over is free again at once, except a code that finds nothing to
// wait for while there is no delay between keys: it is typed right away on
// the caller's thread, which takes no longer than handing it over and
// saves the hand-over's wait for the typist's thread to wake.
//
// Each code is typed with the keys of the keyboard layout its layouts
// function gives for the settings of its start (see DesktopLayout.h).
//
// A code is typed whole or not at all: one with a byte no key of that
// layout types is left out with a log line, and once Finish is called no further code
// starts while the one being typed is typed to its end.
#ifndef STRIA_TYPIST_H
#define STRIA_TYPIST_H

#include "TyperSettings.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class BMessage;
class LayoutKeys;
class StriaClock;

class Typist {
public:
	// Puts messages into the input stream, in order and together; false
	// when the stream takes no more.
	using Sink = std::function<bool(std::vector<std::unique_ptr<BMessage>>)>;
	using Logger = std::function<void(const std::string&)>;
	// The layout a code is typed with under these settings; nullptr, with
	// the reason in *error, when there is none.
	using Layouts = std::function<std::shared_ptr<const LayoutKeys>(const TyperSettings&,
	                                                                std::string* error)>;

	// Codes that may wait for their turn; beyond that a scan is not typed
	// (with a log line), so that a flood of scans cannot grow without end.
	static const size_t QUEUE_SIZE = 64;

	// clock must outlive the typist. Without layouts, codes are typed for
	// the settings' layout, else for a US keyboard.
	Typist(Sink sink, Logger log, StriaClock* clock, const TyperSettings& settings,
	       Layouts layouts = {});
	// Finish, then ends the thread.
	~Typist();

	Typist(const Typist&) = delete;
	Typist& operator=(const Typist&) = delete;

	// Takes a decoded code ("UPA 012000003455") to type after those
	// before it, with the settings of the moment its typing starts. Returns
	// once it is typed when it was typed right away (see above).
	void Type(const std::string& code);

	TyperSettings Settings() const;
	void SetSettings(const TyperSettings& settings);

	// No code starts from now on; returns once the code being typed, if
	// any, is typed to its last key. Codes still waiting are not typed.
	void Finish();

	// True once Finish has been called.
	bool IsFinishing() const;

	// Returns once every code handed over so far is typed or left out
	// (or Finish was called).
	void WaitUntilIdle();

private:
	void _Loop();
	// With the lock held, on whichever thread types it: types code with
	// the settings of now, the lock released meanwhile.
	void _TypeInTurn(std::unique_lock<std::mutex>& lock, const std::string& code);
	void _TypeCode(const std::string& code, const TyperSettings& settings);

	Sink fSink;
	Logger fLog;
	StriaClock* fClock;
	Layouts fLayouts;

	mutable std::mutex fLock;
	// For the typist's thread: a code to type, or the finish.
	std::condition_variable fWork;
	// For those who wait for typing to end.
	std::condition_variable fChanged;
	TyperSettings fSettings;
	std::deque<std::string> fWaiting;
	bool fTyping = false;
	bool fFinishing = false;
	std::thread fThread;
};

#endif // STRIA_TYPIST_H
