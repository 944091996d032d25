// Keyboard sessions as a USB keyboard and a CueCat type them, as records of
// input events: what the fixtures in tests/fixtures/*.events hold, and
// what the tests know about them (the person's own key presses, the
// barcodes of the scans).
#ifndef STRIA_TEST_FIXTURE_SESSIONS_H
#define STRIA_TEST_FIXTURE_SESSIONS_H

#include "EventRecord.h"

#include <string>
#include <vector>

namespace stria::test {

struct Session {
	std::string name; // file name without .events
	std::vector<EventRecord> records;
	// Linux key codes of the person's key presses (value 1), in order.
	std::vector<uint16> personPresses;
	// Barcodes the scans in the session decode to, in order.
	std::vector<std::string> barcodes;
};

// Builds a session at the pace of real hands and of the scanner.
class SessionBuilder {
public:
	explicit SessionBuilder(std::string name, bigtime_t start = 1700000000000000);

	// A person: each character's key (Shift held around capitals and
	// shifted symbols), about 8 keys a second.
	SessionBuilder& Type(const std::string& text);
	// A person taps one key (a Linux code) and lets go after hold.
	SessionBuilder& Tap(uint16 code, bigtime_t hold = 110000);
	// A person holds a key for hold; the keyboard repeats it after 250 ms
	// every 33 ms. With shift, Shift is held around it (and repeats first).
	SessionBuilder& Hold(uint16 code, bigtime_t hold, bool shift = false);
	SessionBuilder& Pause(bigtime_t microseconds);
	// The CueCat scans: Alt held around F10, the record with Shift for
	// capitals, Enter; a few milliseconds in all.
	SessionBuilder& Scan(const std::string& record, const std::string& barcode);

	Session Build() const { return fSession; }

private:
	void Event(uint16 code, int32 value, bool person);
	void Key(uint16 code, int32 value, bool person, bigtime_t after);

	Session fSession;
	bigtime_t fNow;
};

// The sessions of tests/fixtures, by name.
std::vector<Session> FixtureSessions();

// Real records and their barcodes.
extern const char* const kBooklandRecord; // IBN 9780201889543
extern const char* const kUpcARecord;     // UPA 059280201638

} // namespace stria::test

#endif // STRIA_TEST_FIXTURE_SESSIONS_H
