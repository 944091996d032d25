// The typer in stria-input-server: a scanner and a person each on a FIFO of
// input events, the typer's settings from a file, what applications receive
// (printed) and what the virtual keyboard types (written to a file). Each
// step waits for what the server printed before the next, so nothing
// depends on how fast the server's threads run.
#include "../ServerProcess.h"
#include "../../MadeUpSubscription.h"
#include "../../barcode/record_encoder.h"

#include "EventFile.h"
#include "FixtureSessions.h"
#include "UsKeyboard.h"

#include <Input.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>
#include <private/InputServerHost.h>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>
#include <xkbcommon/xkbcommon.h>

#include <algorithm>
#include <bitset>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using stria::EventFile;
using stria::EventRecord;
using stria::UsKeyboard;
using stria::test::Lines;
using stria::test::ServerProcess;
using stria::test::SessionBuilder;
using stria::test::kBooklandRecord;
using stria::test::kUpcARecord;

namespace {

const std::string kBin = STRIA_BINARY_DIR "/bin/";

// The KEY_DOWN lines without their stamps: only typed keys go down here,
// since the filter takes every key-down of a scan.
std::vector<std::string> KeyDowns(const std::string& output)
{
	std::vector<std::string> downs;
	for (const std::string& line : Lines(output)) {
		if (!line.starts_with("KEY_DOWN "))
			continue;
		size_t key = line.find(" key=");
		downs.push_back("KEY_DOWN" + line.substr(key));
	}
	return downs;
}

// What KeyDowns shows for text typed by the typer with the end key Enter
// (byte 10) or Tab (9).
std::vector<std::string> Typed(const std::string& text, char end = '\n')
{
	std::vector<std::string> downs;
	std::string all = text;
	if (end != 0)
		all += end;
	for (char character : all) {
		std::optional<stria::KeyStroke> stroke = UsKeyboard::StrokeFor(character);
		EXPECT_TRUE(stroke.has_value()) << character;
		downs.push_back("KEY_DOWN key=" + std::to_string(stroke->key) +
		                " byte=" + std::to_string((unsigned char)character) +
		                " modifiers=" + std::to_string(stroke->shift ? 0x101 : 0));
	}
	return downs;
}

template <typename Item>
std::vector<Item> Concat(std::vector<Item> a, const std::vector<Item>& b)
{
	a.insert(a.end(), b.begin(), b.end());
	return a;
}

// The text the virtual keyboard typed, as a desktop with a US layout reads
// it: each press of a key that types a character, under the Shift keys
// pressed at that moment; and the keys still pressed at the end.
struct DesktopText {
	std::string text;
	std::bitset<KEY_CNT> down;
	// For each typed character, whether a person's Shift key was pressed
	// again right after its key came up.
	std::vector<EventRecord> keys;
};

DesktopText ReadDesktop(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	const std::vector<uint8> bytes((std::istreambuf_iterator<char>(in)),
	                               std::istreambuf_iterator<char>());
	std::vector<EventRecord> records;
	std::string error;
	EXPECT_TRUE(EventFile::Parse(bytes, records, error)) << error;
	DesktopText desktop;
	for (const EventRecord& record : records) {
		if (record.type != EV_KEY)
			continue;
		desktop.keys.push_back(record);
		desktop.down.set(record.code, record.value != 0);
		if (record.value != 1 || UsKeyboard::IsModifier(UsKeyboard::BeKeyFromLinux(record.code)))
			continue;
		const bool shift = desktop.down.test(KEY_LEFTSHIFT) || desktop.down.test(KEY_RIGHTSHIFT);
		desktop.text += UsKeyboard::BytesFor(UsKeyboard::BeKeyFromLinux(record.code),
		                                     shift ? B_SHIFT_KEY | B_LEFT_SHIFT_KEY : 0);
	}
	return desktop;
}

class TyperSession : public testing::Test {
protected:
	void SetUp() override { Begin(); }
	void TearDown() override { End(); }

	// A fresh folder, settings place and server; End takes them down.
	void Begin()
	{
		char pattern[] = "/tmp/stria-typer-session-XXXXXX";
		ASSERT_NE(::mkdtemp(pattern), nullptr);
		fFolder = pattern;
		fs::create_directories(fFolder + "/config/stria");
		fSavedConfig = getenv("XDG_CONFIG_HOME") ? getenv("XDG_CONFIG_HOME") : "";
		fHadConfig = getenv("XDG_CONFIG_HOME") != nullptr;
		// The server, a child, reads its settings from here.
		setenv("XDG_CONFIG_HOME", (fFolder + "/config").c_str(), 1);
	}

	void End()
	{
		if (fFolder.empty())
			return;
		for (int* writer : {&fScanner, &fPerson}) {
			if (*writer >= 0)
				::close(*writer);
			*writer = -1;
		}
		fServer.reset();
		fHadConfig ? setenv("XDG_CONFIG_HOME", fSavedConfig.c_str(), 1)
		           : unsetenv("XDG_CONFIG_HOME");
		fs::remove_all(fFolder);
		fFolder.clear();
	}

	// Waits until the server's log holds text; true then.
	bool WaitForError(const std::string& text)
	{
		for (int i = 0; i < 6000; i++) {
			if (fServer->Errors().find(text) != std::string::npos)
				return true;
			std::this_thread::sleep_for(10ms);
		}
		return false;
	}

	// The desktop is read as a US keyboard (ReadDesktop): the typer types
	// for one, whatever this machine's own layout, unless text names one.
	void Settings(const std::string& text)
	{
		const bool named = text.find("layout") != std::string::npos;
		std::ofstream(fFolder + "/config/stria/typer.settings")
		        << text << (named ? "" : "layout = us\n");
	}

	// Starts the server on a scanner FIFO and, with person, a second
	// keyboard's FIFO.
	void Start(bool person = false)
	{
		std::vector<std::string> arguments = {"--print",
		                                      "--subscribe",
		                                      "--uinput-file",
		                                      Path("typed.events"),
		                                      "--add-ons",
		                                      STRIA_BINARY_DIR "/add-ons",
		                                      "--control-socket",
		                                      Path("control")};
		for (const char* name : {"scanner.fifo", "person.fifo"}) {
			if (std::string(name) == "person.fifo" && !person)
				break;
			ASSERT_EQ(::mkfifo(Path(name).c_str(), 0600), 0);
			arguments.insert(arguments.begin(), {"--device", Path(name)});
		}
		fServer = std::make_unique<ServerProcess>(kBin + "stria-input-server", arguments);
		fScanner = OpenWriter(Path("scanner.fifo"));
		if (person)
			fPerson = OpenWriter(Path("person.fifo"));
		// The control socket comes after the devices: stria-typer needs it.
		for (int i = 0; i < 6000 && !fs::exists(Path("control")); i++)
			std::this_thread::sleep_for(10ms);
	}

	std::string Path(const std::string& name) const { return fFolder + "/" + name; }

	int OpenWriter(const std::string& fifo)
	{
		int writer = -1;
		for (int i = 0; i < 6000 && writer < 0; i++) {
			writer = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
			if (writer < 0)
				std::this_thread::sleep_for(10ms);
		}
		EXPECT_GE(writer, 0) << fServer->Errors();
		return writer;
	}

	static void Write(int writer, const std::vector<EventRecord>& records)
	{
		const std::vector<uint8> bytes = EventFile::Encode(records);
		ASSERT_EQ(::write(writer, bytes.data(), bytes.size()), (ssize_t)bytes.size());
	}

	// Waits until the typed key-downs are expected (bounded: a server that
	// never gets there fails the comparison that follows).
	void WaitForKeyDowns(const std::vector<std::string>& expected)
	{
		for (int i = 0; i < 6000; i++) {
			std::vector<std::string> downs = KeyDowns(fServer->Output());
			if (downs.size() >= expected.size())
				break;
			std::this_thread::sleep_for(10ms);
		}
		EXPECT_EQ(KeyDowns(fServer->Output()), expected) << fServer->Errors();
	}

	// Closes the FIFOs and waits for the server's end.
	void Finish()
	{
		for (int* writer : {&fScanner, &fPerson}) {
			if (*writer >= 0)
				::close(*writer);
			*writer = -1;
		}
		EXPECT_EQ(fServer->Wait(120s), std::optional<int>(0)) << fServer->Errors();
	}

	std::string fFolder;
	std::string fSavedConfig;
	bool fHadConfig = false;
	std::unique_ptr<ServerProcess> fServer;
	int fScanner = -1;
	int fPerson = -1;
	bigtime_t fClock = 1700000000000000;
};

std::vector<EventRecord> ScanOf(const std::string& record, bigtime_t start)
{
	return SessionBuilder("scan", start).Scan(record, "").Build().records;
}

// The text the virtual keyboard typed, as a desktop with an XKB layout
// reads it: every key event through a keymap libxkbcommon compiles here.
std::string ReadDesktopUnder(const std::string& path, const char* layout, const char* variant)
{
	std::ifstream in(path, std::ios::binary);
	const std::vector<uint8> bytes((std::istreambuf_iterator<char>(in)),
	                               std::istreambuf_iterator<char>());
	std::vector<EventRecord> records;
	std::string error;
	EXPECT_TRUE(EventFile::Parse(bytes, records, error)) << error;
	std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
	        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), &xkb_context_unref);
	const xkb_rule_names names = {"evdev", nullptr, layout, variant, nullptr};
	std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
	        xkb_keymap_new_from_names(context.get(), &names, XKB_KEYMAP_COMPILE_NO_FLAGS),
	        &xkb_keymap_unref);
	if (!keymap)
		return "(no keymap for " + std::string(layout) + ")";
	std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap.get()),
	                                                             &xkb_state_unref);
	std::string text;
	for (const EventRecord& record : records) {
		if (record.type != EV_KEY)
			continue;
		const xkb_keycode_t code = record.code + 8;
		if (record.value == 1) {
			char typed[16];
			xkb_state_key_get_utf8(state.get(), code, typed, sizeof(typed));
			text += typed;
		}
		if (record.value != 2)
			xkb_state_update_key(state.get(), code, record.value ? XKB_KEY_DOWN : XKB_KEY_UP);
	}
	return text;
}

TEST_F(TyperSession, EachSettingTypesItsTextInPlaceOfTheScan)
{
	const std::string code128 = make_record("128", "Stria-2026, No. 7!");
	const struct {
		const char* settings;
		std::string record;
		std::vector<std::string> downs;
		std::string desktop;
	} cases[] = {
	        {"type = data\n", kBooklandRecord, Typed("9780201889543"), "9780201889543\n"},
	        {"type = isbn10\nend = tab\n", kBooklandRecord, Typed("0201889544", '\t'),
	         "0201889544\t"},
	        {"type = barcode\nend = none\n", kUpcARecord, Typed("UPA 059280201638", 0),
	         "UPA 059280201638"},
	        // A UPC-E code without check digit is typed repaired.
	        {"type = data\n", make_record("UPE", "0425261"), Typed("04252614"), "04252614\n"},
	        // Shift exactly for the capitals and shifted symbols.
	        {"type = data\nfree-text = yes\n", code128, Typed("Stria-2026, No. 7!"),
	         "Stria-2026, No. 7!\n"},
	        {"type = label # the viewer's\n", kUpcARecord,
	         Typed("UPA: '0-59280-20163-8' [UPE equiv: none]"),
	         "UPA: '0-59280-20163-8' [UPE equiv: none]\n"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.settings);
		End();
		Begin();
		Settings(c.settings);
		Start();
		Write(fScanner, ScanOf(c.record, fClock));
		WaitForKeyDowns(c.downs);
		Finish();
		// Nothing of the scan itself reached the desktop.
		DesktopText desktop = ReadDesktop(Path("typed.events"));
		EXPECT_EQ(desktop.text, c.desktop);
		EXPECT_TRUE(desktop.down.none());
	}
}

TEST_F(TyperSession, UntypeableCodesAndOffTypeNothingButStillScan)
{
	// A label whose text is a shell command and its Enter is typed only
	// when free text is asked for (and then without that Enter); a code
	// whose check digit is wrong never is.
	const struct {
		const char* settings;
		std::string record;
		const char* catscan;
		const char* log; // nullptr: no line
	} cases[] = {
	        {"type = data\nfree-text = yes\n", make_record("128", "ab\x1b" "c"),
	         "CATSCAN 128 ab\\x1bc", "scan not typed: its text holds the byte 0x1b"},
	        {"", make_record("128", "ab\x1b" "c"), "CATSCAN 128 ab\\x1bc", nullptr},
	        {"type = data\n", make_record("128", "rm -rf ~\n"), "CATSCAN 128 rm -rf ~\\x0a",
	         "scan not typed: it is no UPC, EAN or ISBN code, and free-text is no: 128 rm -rf "
	         "~\\x0a"},
	        {"type = data\nfree-text = yes\n", make_record("128", "rm -rf ~\n"),
	         "CATSCAN 128 rm -rf ~\\x0a", "scan not typed: its text holds the byte 0x0a"},
	        {"type = label\n", make_record("C39", "RM -RF"), "CATSCAN C39 RM -RF",
	         "scan not typed: it is no UPC, EAN or ISBN code, and free-text is no: C39 RM -RF"},
	        // The filter marks a wrong check digit; free text changes nothing.
	        {"type = data\nfree-text = yes\n", make_record("UPA", "012345678904"),
	         "CATSCAN UPA 012345678904",
	         "scan not typed: its check digit is wrong: UPA 012345678904"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(std::string(c.settings) + c.catscan);
		End();
		Begin();
		Settings(c.settings);
		Start();
		Write(fScanner, ScanOf(c.record, fClock));
		fServer->WaitForLines(1, 60s);
		if (c.log != nullptr) {
			EXPECT_TRUE(WaitForError(std::string("stria-input-server: StriaTyper: ") + c.log))
			        << fServer->Errors();
		}
		Finish();
		EXPECT_TRUE(KeyDowns(fServer->Output()).empty()) << fServer->Output();
		EXPECT_NE(fServer->Output().find(c.catscan), std::string::npos) << fServer->Output();
		EXPECT_EQ(ReadDesktop(Path("typed.events")).text, "");
	}
}

TEST_F(TyperSession, BadSettingsLineIsNamedAndTheRestApplies)
{
	Settings("type = data\nend = sideways\n");
	Start();
	Write(fScanner, ScanOf(kUpcARecord, fClock));
	WaitForKeyDowns(Typed("059280201638"));
	Finish();
	EXPECT_NE(fServer->Errors().find("stria-input-server: StriaTyper: settings file " + fFolder +
	                                 "/config/stria/typer.settings, line 2: end takes enter, tab "
	                                 "or none, not \"sideways\"; line left out"),
	          std::string::npos)
	        << fServer->Errors();
}

TEST_F(TyperSession, PersonsHeldShiftChangesNoTypedDigitAndIsHeldAgainAfter)
{
	Settings("type = data\n");
	Start(true);
	// The person holds Shift down, and keeps it down while the code is typed.
	Write(fPerson, {EventRecord::At(fClock, EV_KEY, KEY_LEFTSHIFT, 1),
	                EventRecord::At(fClock, EV_SYN, SYN_REPORT, 0)});
	// The virtual keyboard holds a lone modifier back for a moment; the
	// scan comes once the desktop has the Shift down.
	for (int i = 0; i < 6000 && ReadDesktop(Path("typed.events")).keys.empty(); i++)
		std::this_thread::sleep_for(10ms);
	Write(fScanner, ScanOf(kBooklandRecord, fClock + 1000000));
	WaitForKeyDowns(Typed("9780201889543"));
	Write(fPerson, {EventRecord::At(fClock + 5000000, EV_KEY, KEY_LEFTSHIFT, 0),
	                EventRecord::At(fClock + 5000000, EV_SYN, SYN_REPORT, 0)});
	Finish();

	DesktopText desktop = ReadDesktop(Path("typed.events"));
	EXPECT_EQ(desktop.text, "9780201889543\n");
	EXPECT_TRUE(desktop.down.none());
	// The person's Shift went down, was let go of around the typed keys,
	// and went down again until the person let go of it.
	ASSERT_GE(desktop.keys.size(), 4u);
	EXPECT_EQ(desktop.keys.front().code, KEY_LEFTSHIFT);
	EXPECT_EQ(desktop.keys.front().value, 1);
	const EventRecord& last = desktop.keys.back();
	const EventRecord& before = desktop.keys[desktop.keys.size() - 2];
	EXPECT_EQ(last.code, KEY_LEFTSHIFT);
	EXPECT_EQ(last.value, 0);
	EXPECT_EQ(before.code, KEY_LEFTSHIFT);
	EXPECT_EQ(before.value, 1);
}

TEST_F(TyperSession, ScansBackToBackAndASettingChangedBetweenThem)
{
	Settings("type = data\n");
	Start();
	// Two scans written at once: the second waits for the first's keys.
	Write(fScanner, Concat(ScanOf(kBooklandRecord, fClock), ScanOf(kUpcARecord, fClock + 500000)));
	const std::vector<std::string> both = Concat(Typed("9780201889543"), Typed("059280201638"));
	WaitForKeyDowns(both);

	ServerProcess command(kBin + "stria-typer", {"--control-socket", Path("control"), "type",
	                                             "barcode", "end", "tab", "free-text", "yes"});
	EXPECT_EQ(command.Wait(60s), std::optional<int>(0)) << command.Errors();
	const std::string settings =
	        "type = barcode\nend = tab\nkey-delay = 0\nlayout = us\nvariant =\nfree-text = yes\n";
	EXPECT_EQ(command.Output(), settings);

	Write(fScanner, ScanOf(make_record("128", "STRIA-2026"), fClock + 2000000));
	WaitForKeyDowns(Concat(both, Typed("128 STRIA-2026", '\t')));

	ServerProcess show(kBin + "stria-typer", {"--control-socket", Path("control"), "show"});
	EXPECT_EQ(show.Wait(60s), std::optional<int>(0)) << show.Errors();
	EXPECT_EQ(show.Output(), settings);
	Finish();
	EXPECT_EQ(ReadDesktop(Path("typed.events")).text,
	          "9780201889543\n059280201638\n128 STRIA-2026\t");
}

bool EndsWith(const std::vector<std::string>& downs, const std::vector<std::string>& end)
{
	return downs.size() >= end.size() && std::equal(end.begin(), end.end(), downs.end() - end.size());
}

// Whether downs are the first of all, and fewer.
bool StartsButDoesNotEnd(const std::vector<std::string>& downs, const std::vector<std::string>& all)
{
	return !downs.empty() && downs.size() < all.size() &&
	       std::equal(downs.begin(), downs.end(), all.begin());
}

TEST_F(TyperSession, TypeOffOrAStopInTheMiddleOfACodeTypesNoMoreOfIt)
{
	// A second between keys: the 28 key events of the code would take 27 s,
	// so the stop comes long before its end, and nothing of it comes later.
	const std::vector<std::string> code = Typed("9780201889543");
	const std::vector<std::string> upa = Typed("059280201638");
	for (bool signal : {false, true}) {
		SCOPED_TRACE(signal ? "SIGTERM" : "stria-typer type off");
		End();
		Begin();
		Settings("type = data\nkey-delay = 1000000\n");
		Start();
		Write(fScanner, ScanOf(kBooklandRecord, fClock));
		for (int i = 0; i < 6000 && KeyDowns(fServer->Output()).empty(); i++)
			std::this_thread::sleep_for(5ms);
		ASSERT_FALSE(KeyDowns(fServer->Output()).empty()) << fServer->Errors();
		if (signal) {
			fServer->Signal(SIGTERM);
			EXPECT_EQ(fServer->Wait(120s), std::optional<int>(0)) << fServer->Errors();
			EXPECT_TRUE(WaitForError("StriaTyper: the input server stops; scan typed in part: "
			                         "9780201889543"));
		} else {
			ServerProcess off(kBin + "stria-typer", {"--control-socket", Path("control"), "type",
			                                         "off"});
			EXPECT_EQ(off.Wait(60s), std::optional<int>(0)) << off.Errors();
			EXPECT_TRUE(WaitForError(
			        "StriaTyper: type was turned off; scan typed in part: 9780201889543"));
			// Typing again: the next scan is typed whole.
			ServerProcess on(kBin + "stria-typer", {"--control-socket", Path("control"), "type",
			                                        "data", "key-delay", "0"});
			EXPECT_EQ(on.Wait(60s), std::optional<int>(0)) << on.Errors();
			Write(fScanner, ScanOf(kUpcARecord, fClock + 1000000));
			for (int i = 0; i < 6000 && !EndsWith(KeyDowns(fServer->Output()), upa); i++)
				std::this_thread::sleep_for(5ms);
			Finish();
		}
		std::vector<std::string> downs = KeyDowns(fServer->Output());
		if (!signal) {
			ASSERT_TRUE(EndsWith(downs, upa)) << fServer->Output();
			downs.resize(downs.size() - upa.size());
		}
		EXPECT_TRUE(StartsButDoesNotEnd(downs, code)) << fServer->Output();
		// The desktop got the same, and nothing was left held.
		DesktopText desktop = ReadDesktop(Path("typed.events"));
		EXPECT_EQ(desktop.text,
		          std::string("9780201889543").substr(0, downs.size()) +
		                  (signal ? "" : "059280201638\n"));
		EXPECT_TRUE(desktop.down.none());
	}
}

// The server's message port in the runtime folder, once it is there.
std::string ServerPort(const std::string& folder, pid_t server)
{
	const std::string prefix = "port-" + std::to_string(server) + "-";
	for (int i = 0; i < 6000; i++) {
		std::error_code error;
		for (const auto& entry : fs::directory_iterator(folder, error)) {
			if (entry.path().filename().string().starts_with(prefix))
				return entry.path().string();
		}
		std::this_thread::sleep_for(10ms);
	}
	return {};
}

size_t Count(const std::string& text, const std::string& part)
{
	size_t count = 0;
	for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
		count++;
	return count;
}

TEST_F(TyperSession, ScansFromOutsideTheServerAreNeitherTypedNorPrintedNorDoubled)
{
	// Another program of the same user finds the server's message port and
	// sends every looper there a scan of its own, then subscribes each
	// looper again under made-up process ids.
	const std::string runtime = Path("runtime");
	ASSERT_EQ(::mkdir(runtime.c_str(), 0700), 0);
	const char* savedRuntime = getenv("XDG_RUNTIME_DIR");
	const std::string saved = savedRuntime != nullptr ? savedRuntime : "";
	setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
	Settings("type = data\nfree-text = yes\n");
	Start();
	const std::string port = ServerPort(runtime + "/stria", fServer->Pid());
	ASSERT_FALSE(port.empty()) << fServer->Errors();

	int taken = 0;
	BPrivate::set_input_server_control_path(Path("control").c_str());
	std::unique_ptr<BInputDevice> cuecat(find_input_device(STRIA_DEVICE_NAME));
	ASSERT_TRUE(cuecat) << fServer->Errors();
	for (int32 looper = 1; looper <= 32; looper++) {
		BMessage subscription = MadeUpSubscription(fServer->Pid(), looper, port);
		BMessenger messenger;
		ASSERT_EQ(subscription.FindMessenger(STRIA_MESSENGER_FIELD, &messenger), B_OK);
		BMessage forged(STRIA_CATSCAN);
		forged.AddString(STRIA_BARCODE_FIELD, "128 FORGED");
		taken += messenger.SendMessage(&forged, (BHandler*)NULL, 1000000) == B_OK;
		for (pid_t pid : {1, 4242, fServer->Pid() + 1}) {
			BMessage again = MadeUpSubscription(pid, looper, port);
			EXPECT_EQ(cuecat->Control(STRIA_SUBSCRIBE, &again), B_OK);
		}
	}
	BPrivate::set_input_server_control_path(nullptr);
	// The typer's looper and the printing subscriber's at least.
	EXPECT_GE(taken, 2);
	EXPECT_TRUE(WaitForError("StriaTyper: refused a message from another process (pid " +
	                         std::to_string(getpid()) + ")"));

	// Two real scans: each typed and printed once. Each typed copy of the
	// first would come before the second's keys.
	Write(fScanner, Concat(ScanOf(kBooklandRecord, fClock), ScanOf(kUpcARecord, fClock + 500000)));
	WaitForKeyDowns(Concat(Typed("9780201889543"), Typed("059280201638")));
	Finish();
	savedRuntime != nullptr ? setenv("XDG_RUNTIME_DIR", saved.c_str(), 1)
	                        : unsetenv("XDG_RUNTIME_DIR");
	EXPECT_EQ(KeyDowns(fServer->Output()), Concat(Typed("9780201889543"), Typed("059280201638")));
	EXPECT_EQ(Count(fServer->Output(), "CATSCAN"), 2u) << fServer->Output();
	EXPECT_EQ(Count(fServer->Output(), "FORGED"), 0u);
	EXPECT_EQ(Count(fServer->Errors(), "refused a message from another process"), 1u)
	        << fServer->Errors();
	EXPECT_EQ(ReadDesktop(Path("typed.events")).text, "9780201889543\n059280201638\n");
}

TEST_F(TyperSession, CommandSaysWhatIsWrong)
{
	const struct {
		std::vector<std::string> arguments;
		int status;
		const char* error;
	} cases[] = {
	        {{"type", "digits"}, 2, "stria-typer: type takes off, data, barcode, isbn10 or label, "
	                                "not \"digits\"\nusage: stria-typer"},
	        {{}, 2, "stria-typer: nothing to do"},
	        {{"--control-socket", "/nonexistent/control", "show"}, 1,
	         "stria-typer: no Stria input server answers at /nonexistent/control: the folder "
	         "/nonexistent does not exist"},
	};
	for (const auto& c : cases) {
		ServerProcess command(kBin + "stria-typer", c.arguments);
		EXPECT_EQ(command.Wait(60s), std::optional<int>(c.status));
		EXPECT_EQ(command.Errors().find(c.error), 0u) << command.Errors();
	}
	ServerProcess help(kBin + "stria-typer", {"--help"});
	EXPECT_EQ(help.Wait(60s), std::optional<int>(0));
	EXPECT_NE(help.Output().find("stria-typer type data"), std::string::npos);
}

TEST_F(TyperSession, CodesAreTypedForTheLayoutSetOrChanged)
{
	const struct {
		const char* name;
		const char* settings;
		std::vector<std::string> command; // stria-typer's words before the scan
		std::string record;
		const char* layout;
		const char* variant;
		std::string code;
	} cases[] = {
	        {"de in the file", "type = data\nlayout = de\nfree-text = yes\n", {},
	         make_record("128", "Zoey-42/Quay@x"), "de", "", "Zoey-42/Quay@x"},
	        {"fr in the file", "type = data\nlayout = fr\n", {}, kBooklandRecord, "fr", "",
	         "9780201889543"},
	        {"changed by stria-typer", "type = data\nfree-text = yes\n",
	         {"layout", "de", "variant", "nodeadkeys"}, make_record("128", "a^b`c"), "de",
	         "nodeadkeys", "a^b`c"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		End();
		Begin();
		Settings(c.settings);
		Start();
		if (!c.command.empty()) {
			std::vector<std::string> words = {"--control-socket", Path("control")};
			words.insert(words.end(), c.command.begin(), c.command.end());
			ServerProcess command(kBin + "stria-typer", words);
			EXPECT_EQ(command.Wait(60s), std::optional<int>(0)) << command.Errors();
		}
		Write(fScanner, ScanOf(c.record, fClock));
		// Until the typed Enter.
		for (int i = 0; i < 6000; i++) {
			const std::vector<std::string> downs = KeyDowns(fServer->Output());
			if (!downs.empty() && downs.back().find(" byte=10 ") != std::string::npos)
				break;
			std::this_thread::sleep_for(10ms);
		}
		Finish();
		// XKB's Return types a carriage return.
		EXPECT_EQ(ReadDesktopUnder(Path("typed.events"), c.layout, c.variant), c.code + "\r");
		// The typed keys' messages carry the characters the layout types.
		std::string printed;
		for (const std::string& down : KeyDowns(fServer->Output()))
			printed += (char)std::stoi(down.substr(down.find(" byte=") + 6));
		EXPECT_EQ(printed, c.code + "\n");
	}
}

TEST_F(TyperSession, ALayoutWithoutAKeyForACharacterTypesNothingOfTheCode)
{
	Settings("type = data\nlayout = de\nfree-text = yes\n");
	Start();
	ServerProcess command(kBin + "stria-typer", {"--control-socket", Path("control"), "layout", "xx"});
	EXPECT_EQ(command.Wait(60s), std::optional<int>(1));
	EXPECT_TRUE(command.Errors().starts_with(
	        "stria-typer: the input server at " + Path("control") +
	        " refused the change: the keyboard layout \"xx\" is not in the system's keyboard data"))
	        << command.Errors();
	Write(fScanner, ScanOf(make_record("128", "x^y"), fClock));
	EXPECT_TRUE(WaitForError("stria-input-server: StriaTyper: scan not typed: the keyboard layout "
	                         "de has no key for '^': x^y"))
	        << fServer->Errors();
	Finish();
	EXPECT_TRUE(KeyDowns(fServer->Output()).empty()) << fServer->Output();
	EXPECT_NE(fServer->Errors().find("StriaTyper: settings change refused: the keyboard layout "
	                                 "\"xx\" is not in the system's keyboard data"),
	          std::string::npos)
	        << fServer->Errors();
}

} // namespace
