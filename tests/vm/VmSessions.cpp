#include "VmSessions.h"

#include "../barcode/record_encoder.h"

#include <linux/input-event-codes.h>

namespace stria::test::vm {

namespace {

// Sessions typed side by side start at the same moment.
constexpr bigtime_t kStart = 1700000000000000;

// The first code also has the typer look up the desktop's layout, which
// takes long the first time; the same code comes again later.
const char* const kLateReaderCodes[][2] = {
        {"IBN", "9780201889543"},
        {"128", "Stephen Satchell"},
        {"IBN", "9780201889543"},
        {"128", "Stria-2026-Shelf-B12-Box-7-Aisle-42-Left"},
};

} // namespace

Session TypingPerson()
{
	return SessionBuilder("person", kStart)
	        .Type("Hello, WORLD!")
	        .Pause(1500000)
	        .Type("ok\n")
	        .Build();
}

Session TypingScanner()
{
	// The first scan falls into "Hello", the second into the capitals of
	// "WORLD", with the person's Shift down.
	return SessionBuilder("scanner", kStart)
	        .Pause(300000)
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Pause(300000)
	        .Scan(kUpcARecord, "UPA 059280201638")
	        .Build();
}

Session HeldAtStartRest()
{
	return SessionBuilder("rest", kStart).Type("j").Build();
}

Session CapsLockPerson()
{
	return SessionBuilder("person", kStart)
	        .Tap(KEY_CAPSLOCK)
	        .Type("ab")
	        .Pause(1000000)
	        .Type("c")
	        .Tap(KEY_CAPSLOCK)
	        .Type("d")
	        .Build();
}

Session CapsLockScanner()
{
	// While the person's Caps Lock is on.
	return SessionBuilder("scanner", kStart)
	        .Pause(800000)
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Build();
}

Session UnplugPerson()
{
	return SessionBuilder("person", kStart).Type("a").Build();
}

Session UnplugScannerBefore()
{
	return SessionBuilder("scanner", kStart).Scan(kBooklandRecord, "IBN 9780201889543").Build();
}

Session UnplugScannerAfter()
{
	return SessionBuilder("scanner", kStart)
	        .Scan(kUpcARecord, "UPA 059280201638")
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Build();
}

Session CutScan()
{
	Session whole = SessionBuilder("cut", kStart).Scan(kUpcARecord, "").Build();
	// Alt, F10 and about half of the record.
	whole.records.resize(whole.records.size() / 2);
	whole.barcodes.clear();
	return whole;
}

Session ListenScanner()
{
	return SessionBuilder("scanner", kStart)
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Scan(kUpcARecord, "UPA 059280201638")
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Build();
}

std::vector<Session> LateReaderScans()
{
	std::vector<Session> scans;
	for (const auto& [tag, data] : kLateReaderCodes) {
		scans.push_back(SessionBuilder("scanner", kStart)
		                        .Scan(make_record(tag, data), std::string(tag) + " " + data)
		                        .Build());
	}
	return scans;
}

std::vector<std::string> LateReaderTyped()
{
	std::vector<std::string> typed;
	for (const auto& code : kLateReaderCodes)
		typed.push_back(std::string(code[1]) + "\n");
	return typed;
}

} // namespace stria::test::vm
