// What the test machine saw, judged here: the server on a real kernel with
// a scanner and a person's keyboard made through uinput (vm_guest, run by
// the test vm.guest).
#include "EventFile.h"
#include "PacedWriter.h"
#include "UsKeyboard.h"
#include "VmSessions.h"

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <bitset>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;
using stria::EventFile;
using stria::EventRecord;
using stria::PacedWriter;
using stria::UsKeyboard;
using namespace stria::test;
using namespace stria::test::vm;

namespace {

const std::string kResults = STRIA_VM_RESULTS;

std::string ReadText(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::stringstream text;
	text << in.rdbuf();
	return text.str();
}

std::vector<std::string> LinesOf(const std::string& text)
{
	std::vector<std::string> lines;
	std::istringstream in(text);
	for (std::string line; std::getline(in, line);)
		lines.push_back(line);
	return lines;
}

size_t CountContaining(const std::string& text, const std::string& part)
{
	const std::vector<std::string> lines = LinesOf(text);
	return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const auto& line) {
		return line.find(part) != std::string::npos;
	}));
}

// What a desktop with a US layout makes of the key events: the text they
// type, with Shift and Caps Lock; whether any key is still down at the end.
struct Typing {
	std::vector<uint16> presses;
	std::string text;
	std::bitset<KEY_CNT> down;
};

Typing Replay(const std::vector<EventRecord>& records)
{
	Typing typing;
	bool capsLock = false;
	for (const EventRecord& record : records) {
		if (record.type != EV_KEY || record.code >= KEY_CNT)
			continue;
		typing.down.set(record.code, record.value != 0);
		if (record.value != 1)
			continue;
		typing.presses.push_back(record.code);
		if (record.code == KEY_CAPSLOCK)
			capsLock = !capsLock;
		const stria::UsKey* key = UsKeyboard::FromLinuxCode(record.code);
		if (key == nullptr || key->plain == 0 || key->modifier != 0)
			continue;
		const bool shift = typing.down.test(KEY_LEFTSHIFT) || typing.down.test(KEY_RIGHTSHIFT);
		char c = static_cast<char>(shift ? key->shifted : key->plain);
		if (std::isalpha(static_cast<unsigned char>(key->plain)) && capsLock)
			c = static_cast<char>(shift ? std::tolower(c) : std::toupper(c));
		typing.text += c == '\r' ? '\n' : c;
	}
	return typing;
}

// The text a session's person types.
std::string TextOf(const Session& session)
{
	return Replay(session.records).text;
}

std::vector<std::string> Expected(const std::vector<std::string>& barcodes)
{
	std::vector<std::string> lines;
	for (const std::string& barcode : barcodes)
		lines.push_back("CATSCAN " + barcode);
	lines.push_back("SHUTDOWN");
	return lines;
}

class GuestCaseResults : public testing::Test {
protected:
	// Reads the case's folder; false when the test is to end here: the
	// machine did not run (skipped), or left nothing usable (failed).
	bool Open(const std::string& name)
	{
		if (!fs::exists(kResults + "/status")) {
			[] { GTEST_SKIP() << "the test machine has not run (see the test vm.guest)"; }();
			return false;
		}
		fFolder = kResults + "/" + name;
		if (!fs::is_directory(fFolder)) {
			ADD_FAILURE() << "the guest left nothing for " << name;
			return false;
		}
		const std::string error = ReadText(fFolder + "/error");
		if (!error.empty()) {
			ADD_FAILURE() << "the guest could not run " << name << ": " << error;
			return false;
		}
		for (const std::string& line : LinesOf(ReadText(fFolder + "/facts"))) {
			const size_t equals = line.find('=');
			if (equals != std::string::npos)
				fFacts[line.substr(0, equals)] = line.substr(equals + 1);
		}
		return true;
	}

	std::string Text(const std::string& file) const { return ReadText(fFolder + "/" + file); }

	std::vector<EventRecord> Records(const std::string& file) const
	{
		const std::string bytes = Text(file);
		std::vector<EventRecord> records;
		std::string error;
		EXPECT_TRUE(EventFile::Parse(
		        std::span<const uint8>(reinterpret_cast<const uint8*>(bytes.data()), bytes.size()),
		        records, error))
		        << file << ": " << error;
		return records;
	}

	// The subscriber's lines the server printed.
	std::vector<std::string> Scans() const
	{
		std::vector<std::string> scans;
		for (const std::string& line : LinesOf(Text("server.out"))) {
			if (line.starts_with("CATSCAN ") || line == "SHUTDOWN")
				scans.push_back(line);
		}
		return scans;
	}

	std::string Fact(const std::string& name) const
	{
		auto found = fFacts.find(name);
		return found == fFacts.end() ? std::string("(none)") : found->second;
	}

	std::string fFolder;
	std::map<std::string, std::string> fFacts;
};

TEST_F(GuestCaseResults, BothKeyboardsAtOnceGiveThePersonsTextAndEveryScan)
{
	if (!Open("typing"))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	EXPECT_EQ(Scans(), Expected(TypingScanner().barcodes)) << Text("server.err");

	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.presses, TypingPerson().personPresses) << "the keys of the person only";
	EXPECT_EQ(typed.text, TextOf(TypingPerson()));
	EXPECT_TRUE(typed.down.none()) << typed.down.count() << " key(s) left down";
}

TEST_F(GuestCaseResults, TheScannerIsTheServersAloneAndFreeAfterIt)
{
	if (!Open("typing"))
		return;
	const std::vector<EventRecord> held = Records("other-held.events");
	EXPECT_EQ(std::count_if(held.begin(), held.end(), [](auto& r) { return r.type == EV_KEY; }), 0)
	        << "another reader saw the scanner's keys while the server held it";
	const Typing free = Replay(Records("other-free.events"));
	EXPECT_EQ(free.presses, std::vector<uint16>{KEY_X}) << "the scanner is free once it stops";
}

TEST_F(GuestCaseResults, ListDevicesNamesBothKeyboards)
{
	if (!Open("typing"))
		return;
	EXPECT_EQ(Fact("list-devices-status"), "0");
	const std::string list = Text("list-devices.out");
	for (const char* part : {kScannerName, kKeyboardName, kScannerId, kKeyboardId})
		EXPECT_NE(list.find(part), std::string::npos) << part << " in\n" << list;
}

TEST_F(GuestCaseResults, AKeyHeldAtStartIsNeitherTypedTwiceNorLeftHeld)
{
	if (!Open("held-at-start"))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	// The desktop had the key from the keyboard itself, down and up.
	const Typing desktop = Replay(Records("desktop.events"));
	EXPECT_EQ(desktop.presses, std::vector<uint16>{KEY_K});
	EXPECT_TRUE(desktop.down.none()) << "the desktop never saw the key come up";
	// The virtual keyboard then types only what came after.
	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.presses, HeldAtStartRest().personPresses);
	const std::vector<EventRecord> records = Records("typed.events");
	EXPECT_EQ(std::count_if(records.begin(), records.end(),
	                        [](auto& r) { return r.type == EV_KEY && r.code == KEY_K; }),
	          0);
	EXPECT_TRUE(typed.down.none());
}

TEST_F(GuestCaseResults, CapsLockChangesNeitherAScanNorThePersonsKeys)
{
	if (!Open("caps-lock"))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	EXPECT_EQ(Scans(), Expected(CapsLockScanner().barcodes)) << Text("server.err");
	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.presses, CapsLockPerson().personPresses);
	EXPECT_EQ(typed.text, "ABCd");
	EXPECT_TRUE(typed.down.none());
}

TEST_F(GuestCaseResults, UnpluggingTheScannerLosesOnlyTheScanItCut)
{
	if (!Open("unplug"))
		return;
	const std::string errors = Text("server.err");
	EXPECT_EQ(Text("server.status"), "0") << errors;
	std::vector<std::string> barcodes = UnplugScannerBefore().barcodes;
	for (const std::string& barcode : UnplugScannerAfter().barcodes)
		barcodes.push_back(barcode);
	EXPECT_EQ(Scans(), Expected(barcodes)) << errors;
	EXPECT_EQ(CountContaining(errors, "has gone"), 2u) << errors;
	EXPECT_EQ(CountContaining(errors, "is back"), 2u) << errors;
	EXPECT_EQ(CountContaining(errors, "scan cut off"), 1u) << errors;
	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.presses, UnplugPerson().personPresses) << "nothing of the cut scan typed";
	EXPECT_TRUE(typed.down.none());
}

TEST_F(GuestCaseResults, SigkillLeavesNoKeyDownAndTheKeyboardsFree)
{
	if (!Open("sigkill"))
		return;
	EXPECT_EQ(Fact("keys-down-before"), std::to_string(KEY_A) + " " + std::to_string(KEY_LEFTSHIFT))
	        << "the virtual keyboard held the person's keys when the server was killed";
	EXPECT_EQ(Fact("virtual-keyboard-gone"), "yes") << "and its keys with it";
	EXPECT_EQ(Fact("scanner-free"), "yes");
	EXPECT_EQ(Fact("keyboard-free"), "yes");
}

class StopSignalResults : public GuestCaseResults,
                          public testing::WithParamInterface<const char*> {};

TEST_P(StopSignalResults, EndsInOrder)
{
	const std::string signal = GetParam();
	if (!Open("signal-" + signal))
		return;
	const std::string errors = Text("server.err");
	EXPECT_EQ(Text("server.status"), "0") << errors;
	EXPECT_NE(errors.find("stopping on " + signal), std::string::npos) << errors;
	EXPECT_EQ(Scans(), Expected(UnplugScannerBefore().barcodes)) << errors;
	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.presses, std::vector<uint16>{KEY_LEFTSHIFT});
	EXPECT_TRUE(typed.down.none()) << "the held Shift comes up before the keyboard goes";
	EXPECT_EQ(Fact("socket-left"), "no");
	EXPECT_EQ(Fact("scanner-free"), "yes");
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignalResults, testing::Values("SIGTERM", "SIGINT", "SIGHUP"),
                         [](const auto& info) { return std::string(info.param); });

// stria-listen's lines: the probe scans that told it had subscribed, then
// the session's scans.
void ExpectListened(const std::string& output, const std::string& status)
{
	EXPECT_EQ(status, "0") << "stria-listen ends on SHUTDOWN";
	const std::vector<std::string> lines = LinesOf(output);
	const std::vector<std::string> scans = ListenScanner().barcodes;
	ASSERT_GT(lines.size(), scans.size()) << output;
	const size_t probes = lines.size() - scans.size();
	for (size_t i = 0; i < probes; i++)
		EXPECT_EQ(lines[i], UnplugScannerBefore().barcodes.front());
	EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(probes),
	                                   lines.end()),
	          scans);
}

TEST_F(GuestCaseResults, StriaListenInAnotherProcessGetsEveryScan)
{
	if (!Open("listen"))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	ExpectListened(Text("listen.out"), Fact("listen-status"));
}

TEST_F(GuestCaseResults, AReaderFiftyMillisecondsLateGetsEveryTypedCodeWhole)
{
	if (!Open("late-reader"))
		return;
	// The kernel's figure, against the budget the virtual keyboard keeps.
	const size_t kept = std::stoul("0" + Fact("records-kept-at-once"));
	std::cout << "events the kernel keeps for a reader: " << kept << " records at once ("
	          << Fact("burst-62") << " of 62, " << Fact("burst-64") << " of 64)\n";
	EXPECT_GE(kept, PacedWriter::kEvdevReader.records);
	EXPECT_EQ(Fact("burst-64").find("kept"), std::string::npos) << "a 64th event overflows";

	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	std::string expected;
	const std::vector<std::string> typed = LateReaderTyped();
	for (size_t index = 0; index < typed.size(); index++) {
		const std::string& text = typed[index];
		expected += text;
		std::cout << "typed " << text.size() - 1
		          << " characters: " << Fact("typed-" + std::to_string(index)) << "\n";
	}
	const Typing prompt = Replay(Records("typed.events"));
	EXPECT_EQ(prompt.text, expected);
	EXPECT_TRUE(prompt.down.none());

	const std::vector<EventRecord> late = Records("late.events");
	const std::string gap = Fact("late-reader-longest-gap-ms");
	if (std::stol("0" + gap) > 50) {
		std::cout << "the late reader was " << gap
		          << " ms late at worst, more than the 50 ms the pacing allows for; not judged\n";
		return;
	}
	EXPECT_TRUE(std::none_of(
	        late.begin(), late.end(),
	        [](const EventRecord& r) { return r.type == EV_SYN && r.code == SYN_DROPPED; }))
	        << "the kernel dropped events for a reader " << gap << " ms late";
	EXPECT_EQ(Replay(late).text, expected);
}

TEST_F(GuestCaseResults, TheSystemdUnitRunsAndStopsCleanly)
{
	if (!Open("systemd"))
		return;
	RecordProperty("how", Fact("how"));
	std::cout << "the unit ran under " << Fact("how") << "\n";
	EXPECT_EQ(Fact("error"), "(none)");
	ExpectListened(Text("listen.out"), Fact("listen-status"));
	if (Fact("how") == "systemd --user") {
		const std::string show = Text("show.out");
		EXPECT_NE(show.find("Result=success"), std::string::npos) << show;
		EXPECT_NE(show.find("ExecMainStatus=0"), std::string::npos) << show;
	} else {
		EXPECT_EQ(Fact("server-status"), "0") << Text("server.err");
	}
}

} // namespace

namespace {

// The text a US desktop gives for a session's keys, Enter as X gives it.
std::string DesktopTextOf(const Session& session)
{
	std::string text = TextOf(session);
	std::replace(text.begin(), text.end(), '\n', '\r');
	return text;
}

std::string Repeat(const std::string& text, size_t times)
{
	std::string all;
	for (size_t i = 0; i < times; i++)
		all += text;
	return all;
}

class DesktopResults : public GuestCaseResults {
protected:
	// The client's text between two marks of the case ("" for its end).
	std::string Part(const DesktopEvents& events, const std::string& from, const std::string& to)
	{
		const size_t begin = std::stoul(Fact("text-" + from));
		const size_t end = to.empty() ? events.text.size() : std::stoul(Fact("text-" + to));
		if (begin > end || end > events.text.size()) {
			ADD_FAILURE() << "the marks " << from << " and " << to << " do not fit the text";
			return {};
		}
		return events.text.substr(begin, end - begin);
	}
};

TEST_F(DesktopResults, WithTheTyperOffTheApplicationGetsThePersonsKeysAndNothingOfAScan)
{
	if (!Open("desktop"))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	const DesktopEvents events = ParseDesktopLog(Text("us-client.log"));
	EXPECT_EQ(Part(events, "typer-off", "typed"), DesktopTextOf(DesktopPerson()))
	        << Text("us-client.log");
	const std::vector<std::string> scans = Scans();
	const std::vector<std::string> expected = DesktopScanner().barcodes;
	ASSERT_GE(scans.size(), expected.size());
	for (size_t i = 0; i < expected.size(); i++)
		EXPECT_EQ(scans[i], "CATSCAN " + expected[i]);
	EXPECT_EQ(scans.back(), "SHUTDOWN");
}

TEST_F(DesktopResults, TheViewerOpensWithoutTakingTheFocus)
{
	if (!Open("desktop"))
		return;
	const DesktopEvents events = ParseDesktopLog(Text("us-client.log"));
	EXPECT_EQ(Fact("viewer-mapped"), "yes") << Text("server.err");
	EXPECT_EQ(std::count(events.mapped.begin(), events.mapped.end(), "Stria"), 1);
	EXPECT_EQ(events.focusOuts, 0u) << "the client lost the focus: " << Text("us-client.log");
}

TEST_F(DesktopResults, NoCharacterIsLostWhenEveryProcessorIsBusy)
{
	if (!Open("desktop"))
		return;
	EXPECT_NE(Fact("busy-processes"), "0");
	const DesktopEvents events = ParseDesktopLog(Text("us-client.log"));
	EXPECT_EQ(Part(events, "idle", "busy"), Repeat(kLatencyText, kLatencyScans));
	std::string after = kBusyAfter;
	std::replace(after.begin(), after.end(), '\n', '\r');
	EXPECT_EQ(Part(events, "busy", "end"),
	          kBusyBefore + LongScan().text + Repeat(kLatencyText, kLatencyScans) + after);
}

// Measured, not judged: a busy test machine is slow in its own way.
TEST_F(DesktopResults, LatencyFromTheScannersEnterToTheApplicationsLastDigit)
{
	if (!Open("desktop"))
		return;
	std::map<std::string, std::vector<double>> samples;
	for (const std::string& line : LinesOf(Text("latency"))) {
		std::istringstream words(line);
		std::string label;
		int64_t nanoseconds = 0;
		if (words >> label >> nanoseconds)
			samples[label].push_back(static_cast<double>(nanoseconds) / 1e6);
	}
	for (const char* label : {"idle", "busy"}) {
		std::vector<double>& times = samples[label];
		ASSERT_EQ(times.size(), kLatencyScans) << label << " codes that reached the client";
		EXPECT_GT(*std::min_element(times.begin(), times.end()), 0.0)
		        << "the last digit came before the scanner's Enter";
		std::sort(times.begin(), times.end());
		const double median = (times[(times.size() - 1) / 2] + times[times.size() / 2]) / 2;
		const double p99 = times[(times.size() * 99 + 99) / 100 - 1];
		std::cout << "typed 13-digit code, scanner's Enter to the application's last digit, "
		          << label << " machine (" << times.size() << " scans): median " << median
		          << " ms, 99th percentile " << p99 << " ms\n";
		RecordProperty(std::string(label) + "_median_ms", std::to_string(median));
		RecordProperty(std::string(label) + "_p99_ms", std::to_string(p99));
	}
}

} // namespace

namespace stria::test::vm {

// Test names and failures show the layout, not its bytes.
void PrintTo(const DesktopLayout& layout, std::ostream* out)
{
	*out << layout.layout << (layout.variant.empty() ? "" : "(" + layout.variant + ")");
}

} // namespace stria::test::vm

namespace {

class DesktopLayoutResults : public DesktopResults,
                             public testing::WithParamInterface<DesktopLayout> {};

TEST_P(DesktopLayoutResults, TheApplicationGetsEachTypedCode)
{
	const DesktopLayout& layout = GetParam();
	if (!Open(layout.CaseName()))
		return;
	EXPECT_EQ(Text("server.status"), "0") << Text("server.err");
	std::string expected;
	for (const TypedScan& scan : layout.scans)
		expected += scan.text;
	const bool us = layout.CaseName() == "desktop";
	const std::string log = Text(us ? "us-client.log" : "desktop-client.log");
	const DesktopEvents events = ParseDesktopLog(log);
	EXPECT_EQ(us ? Part(events, "typed", "idle") : events.text, expected) << layout.checks << "\n"
	                                                                      << log;
	if (us) {
		EXPECT_EQ(Fact("typer-on-status"), "0") << "stria-typer type data";
	}
	if (!us) {
		std::vector<std::string> barcodes;
		for (const TypedScan& scan : layout.scans)
			barcodes.push_back(scan.barcode);
		EXPECT_EQ(Scans(), Expected(barcodes)) << Text("server.err");
	}
}

INSTANTIATE_TEST_SUITE_P(Layouts, DesktopLayoutResults, testing::ValuesIn(DesktopLayouts()),
                         [](const auto& info) {
	                         std::string name = info.param.layout + info.param.variant;
	                         name.erase(std::remove_if(name.begin(), name.end(),
	                                                   [](char c) { return !std::isalnum(c); }),
	                                    name.end());
	                         return name;
                         });

TEST_F(DesktopResults, ScansGoOnWhileTheXServerIsKilledAndTheViewerComesBackWithANewOne)
{
	if (!Open("desktop-x-killed"))
		return;
	const std::string errors = Text("server.err");
	EXPECT_EQ(Text("server.status"), "0") << errors;
	EXPECT_EQ(Scans(), Expected({"IBN 9780201889543", "UPA 059280201638", "128 no-display",
	                             "IBN 9780201889543"}))
	        << errors;
	EXPECT_EQ(CountContaining(errors, "lost the X display"), 1u) << errors;
	EXPECT_EQ(Fact("first-viewer-mapped"), "yes");
	EXPECT_EQ(Fact("second-viewer-mapped"), "yes")
	        << "a later scan opens the window again; " << errors;
	EXPECT_EQ(ParseDesktopLog(Text("first-client.log")).text, kLatencyText);
	EXPECT_EQ(ParseDesktopLog(Text("second-client.log")).text, kLatencyText);
	// The typer typed every scan, with and without an X server.
	const Typing typed = Replay(Records("typed.events"));
	EXPECT_EQ(typed.text, "9780201889543\n059280201638\nno-display\n9780201889543\n");
	EXPECT_TRUE(typed.down.none());
}

} // namespace
