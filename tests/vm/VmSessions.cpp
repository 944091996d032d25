#include "VmSessions.h"

#include <linux/input-event-codes.h>

namespace stria::test::vm {

namespace {

// Sessions typed side by side start at the same moment.
constexpr bigtime_t kStart = 1700000000000000;

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

} // namespace stria::test::vm
