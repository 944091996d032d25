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
// A code that may not be typed (see TypeableCode.h), or with a byte no key
// of that layout types, is left out whole, with a log line. A code being
// typed key-delay apart stops before its next key when the settings turn to
// off or Finish is called: the keys it holds are let go of, and the rest is
// not typed.
//
// Every key message of one code carries STRIA_TYPED_CODE_FIELD, a number of
// its own, and its last message STRIA_TYPED_CODE_END_FIELD; a code stopped
// midway ends with the release of what it held (or, holding nothing, a
// modifier change to what it holds), which carries the end field.
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
	// once it is typed when it was typed right away (see above). A code
	// whose check digit is wrong (checkFailed), or that is no product code
	// while free-text is off, is left out with a log line.
	void Type(const std::string& code, bool checkFailed);

	TyperSettings Settings() const;
	// The settings for the codes that start from now on. Turning type off
	// also stops the code being typed (see above) and drops those waiting.
	void SetSettings(const TyperSettings& settings);

	// No code starts from now on, and the code being typed stops before its
	// next key; returns once it has let go of its keys. Codes still waiting
	// are not typed.
	void Finish();

	// True once Finish has been called.
	bool IsFinishing() const;

	// Returns once every code handed over so far is typed or left out
	// (or Finish was called).
	void WaitUntilIdle();

private:
	struct Scan {
		std::string code;
		bool checkFailed;
	};

	void _Loop();
	// With the lock held, on whichever thread types it: types code with
	// the settings of now, the lock released meanwhile.
	void _TypeInTurn(std::unique_lock<std::mutex>& lock, const Scan& scan);
	// stops: fStops when the code started.
	void _TypeCode(const Scan& scan, const TyperSettings& settings, int64 number, uint64 stops);
	// Waits delay on the clock; false, at once, when the code is to stop.
	bool _Pause(bigtime_t delay, uint64 stops);
	// Why the code that started at stops is to stop, or NULL.
	const char* _StopReason(uint64 stops) const;

	Sink fSink;
	Logger fLog;
	StriaClock* fClock;
	Layouts fLayouts;
	// Held while fLayouts runs: the typist's thread makes the layout ready
	// as it starts, and a code may be typed on a caller's thread meanwhile.
	std::mutex fLayoutLock;

	mutable std::mutex fLock;
	// For the typist's thread: a code to type, or the finish.
	std::condition_variable fWork;
	// For those who wait for typing to end.
	std::condition_variable fChanged;
	// For a code waiting between two keys: told when it is to stop.
	std::condition_variable fStop;
	TyperSettings fSettings;
	std::deque<Scan> fWaiting;
	bool fTyping = false;
	bool fFinishing = false;
	// Counts the stops (type turned off, Finish): a code stops when it
	// has changed since the code started, however the settings went on.
	uint64 fStops = 0;
	int64 fLastCode = 0;
	std::thread fThread;
};

#endif // STRIA_TYPIST_H
