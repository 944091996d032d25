#include "VmSessions.h"

#include "../barcode/record_encoder.h"

#include <linux/input-event-codes.h>

#include <sstream>

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

std::string DesktopLayout::CaseName() const
{
	if (layout == "us" && variant.empty())
		return "desktop";
	return "desktop-layout-" + layout + (variant.empty() ? "" : "-" + variant);
}

std::vector<DesktopLayout> DesktopLayouts()
{
	return {
	        {"us",
	         "",
	         "digits, capitals and a Shift symbol as on the scanner's own keyboard",
	         {{kBooklandRecord, "IBN 9780201889543", "9780201889543\r"},
	          {make_record("128", "Desk@Stria-2026"), "128 Desk@Stria-2026", "Desk@Stria-2026\r"}}},
	        {"fr",
	         "",
	         "AZERTY: the digits need Shift, a and q, z and w change places",
	         {{kBooklandRecord, "IBN 9780201889543", "9780201889543\r"},
	          {make_record("128", "Quiz-2026"), "128 Quiz-2026", "Quiz-2026\r"}}},
	        {"de",
	         "",
	         "QWERTZ: y and z change places, - and symbols move",
	         {{make_record("128", "Zoey-2026/7"), "128 Zoey-2026/7", "Zoey-2026/7\r"}}},
	        {"de",
	         "nodeadkeys",
	         "AltGr: @ is AltGr+Q",
	         {{make_record("128", "desk@stria.de"), "128 desk@stria.de", "desk@stria.de\r"}}},
	};
}

Session DesktopPerson()
{
	return SessionBuilder("person", kStart)
	        .Type("Hello, WORLD!")
	        .Pause(1500000)
	        .Type("ok\n")
	        .Build();
}

Session DesktopScanner()
{
	// One scan among the person's letters, one among the capitals (with the
	// person's Shift down).
	return SessionBuilder("scanner", kStart)
	        .Pause(300000)
	        .Scan(kBooklandRecord, "IBN 9780201889543")
	        .Pause(300000)
	        .Scan(kUpcARecord, "UPA 059280201638")
	        .Build();
}

TypedScan LongScan()
{
	const std::string code = "Stria-2026/Typed-While-Busy/0123456789";
	return {make_record("128", code), "128 " + code, code + "\r"};
}

Session LatencyScan()
{
	return SessionBuilder("scanner", kStart).Scan(kBooklandRecord, "IBN 9780201889543").Build();
}

std::string Hex(const std::string& bytes)
{
	static const char digits[] = "0123456789abcdef";
	std::string hex;
	for (unsigned char byte : bytes) {
		hex += digits[byte >> 4];
		hex += digits[byte & 15];
	}
	return hex.empty() ? "-" : hex;
}

namespace {

std::string Unhex(const std::string& hex)
{
	std::string bytes;
	if (hex == "-")
		return bytes;
	for (size_t i = 0; i + 1 < hex.size(); i += 2)
		bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
	return bytes;
}

} // namespace

DesktopEvents ParseDesktopLog(const std::string& log, DesktopEvents events)
{
	std::istringstream lines(log);
	for (std::string line; std::getline(lines, line);) {
		std::istringstream words(line);
		std::string what;
		words >> what;
		if (what == "ready") {
			events.ready = true;
		} else if (what == "key") {
			DesktopKey key;
			std::string keysym, hex;
			// A line cut off by the client's end is left out.
			if (!(words >> key.when >> keysym >> hex))
				continue;
			key.text = Unhex(hex);
			if (key.text.empty())
				continue;
			events.text += key.text;
			events.keys.push_back(key);
		} else if (what == "focus-out") {
			events.focusOuts++;
		} else if (what == "mapped") {
			std::string when, window, name;
			words >> when >> window;
			std::getline(words >> std::ws, name);
			events.mapped.push_back(name);
		}
	}
	return events;
}

} // namespace stria::test::vm
