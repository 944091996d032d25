// Where the typer's layout comes from: its setting, the X server's live
// keymap (a private Xvfb whose keymap and group the test changes), the
// system's keyboard configuration file, US; the log lines that say which.
// Then the layout through the typist's keys (a code stopped midway lets go
// of AltGr too) and the device's settings code.
#include "../filter/ManualClock.h"

#include <DesktopLayout.h>
#include <StriaClock.h>
#include <StriaTyper.h>
#include <Typist.h>

#include <AppDefs.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

// Xlib names macros None, Bool and the like: after every other header,
// and None (which EndKey has too) undone.
#include "../viewer/XvfbDisplay.h"

#include <X11/XKBlib.h>
#undef None

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class LayoutFolder : public testing::Test {
protected:
	void SetUp() override
	{
		char folder[] = "/tmp/stria-desktop-layout-XXXXXX";
		ASSERT_NE(mkdtemp(folder), nullptr);
		fFolder = folder;
	}
	void TearDown() override { fs::remove_all(fFolder); }

	// Replaces the file whole, as editors and the system's tools do.
	void WriteKeyboardFile(const std::string& text)
	{
		std::ofstream(fFolder + "/keyboard.new") << text;
		fs::rename(fFolder + "/keyboard.new", KeyboardFile());
	}
	std::string KeyboardFile() const { return fFolder + "/keyboard"; }

	std::string fFolder;
};

TEST_F(LayoutFolder, SettingWinsThenTheConfigurationFileThenUsEachChangeLoggedOnce)
{
	std::vector<std::string> log;
	// A display nobody serves: the file is the desktop's word.
	DesktopLayout desktop({":4093", KeyboardFile()},
	                      [&log](const std::string& line) { log.push_back(line); });
	const std::string file = KeyboardFile();
	const struct {
		const char* name;
		std::optional<std::string> fileText; // nullopt: as it is; "": removed
		const char* layout;
		const char* variant;
		const char* used; // nullptr: none, with error
		std::vector<std::string> log;
	} steps[] = {
	        {"nothing names a layout", "", "", "", "us",
	         {"cannot read the keyboard layout of the desktop: X display :4093 does not answer",
	          "codes are typed for the keyboard layout us (no X display or keyboard "
	          "configuration names one)"}},
	        {"asked again: no new line", std::nullopt, "", "", "us", {}},
	        {"the file names fr", "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\n", "",
	         "", "fr", {"codes are typed for the keyboard layout fr (" + file + ")"}},
	        {"the setting wins", std::nullopt, "de", "nodeadkeys", "de(nodeadkeys)",
	         {"codes are typed for the keyboard layout de(nodeadkeys) (the typer's layout "
	          "setting)"}},
	        {"a variant without a layout counts for nothing", std::nullopt, "", "nodeadkeys",
	         "fr", {"codes are typed for the keyboard layout fr (" + file + ")"}},
	        {"the file changes: its first group", "XKBLAYOUT=us,de\nXKBVARIANT=,nodeadkeys\n", "",
	         "", "us,de(,nodeadkeys)",
	         {"codes are typed for the keyboard layout us,de(,nodeadkeys) (" + file + ")"}},
	        {"a layout the data lacks in the file", "XKBLAYOUT=xx\n", "", "", "us",
	         {file + ": the keyboard layout \"xx\" is not in the system's keyboard data "
	                 "(Couldn't find file \"symbols/xx\" in include paths)",
	          "codes are typed for the keyboard layout us (no X display or keyboard "
	          "configuration names one)"}},
	        {"a layout the data lacks in the setting: no layout at all", std::nullopt, "xx", "",
	         nullptr, {}},
	        {"the file goes", "", "", "", "us",
	         {"codes are typed for the keyboard layout us (no X display or keyboard "
	          "configuration names one)"}},
	};
	for (const auto& step : steps) {
		SCOPED_TRACE(step.name);
		if (step.fileText && step.fileText->empty())
			fs::remove(file);
		else if (step.fileText)
			WriteKeyboardFile(*step.fileText);
		TyperSettings settings;
		settings.layout = step.layout;
		settings.variant = step.variant;
		log.clear();
		std::string error;
		std::shared_ptr<const LayoutKeys> layout = desktop.For(settings, &error);
		if (step.used == nullptr) {
			EXPECT_EQ(layout, nullptr);
			EXPECT_EQ(error, "the keyboard layout \"xx\" is not in the system's keyboard data "
			                 "(Couldn't find file \"symbols/xx\" in include paths) (the typer's "
			                 "layout setting)");
		} else {
			ASSERT_NE(layout, nullptr) << error;
			EXPECT_EQ(layout->Name(), step.used);
		}
		EXPECT_EQ(log, step.log);
	}
}

// Runs a program to its end; its exit status.
int RunProgram(std::vector<std::string> arguments)
{
	const pid_t child = fork();
	if (child == 0) {
		std::vector<char*> argv;
		for (std::string& argument : arguments)
			argv.push_back(argument.data());
		argv.push_back(nullptr);
		execvp(argv[0], argv.data());
		_exit(127);
	}
	int status = 0;
	waitpid(child, &status, 0);
	return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The layout once the X server's notices have reached the typer's
// connection: they come a moment after the change, so ask until the name
// changes (bounded; a layout that never comes fails the comparison after).
std::shared_ptr<const LayoutKeys> LayoutOnceChanged(DesktopLayout& desktop,
                                                    const std::string& before)
{
	std::shared_ptr<const LayoutKeys> layout;
	for (int i = 0; i < 6000; i++) {
		std::string error;
		layout = desktop.For(TyperSettings(), &error);
		if (layout == nullptr || layout->Name() != before)
			break;
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	}
	return layout;
}

TEST(DesktopLayout, FollowsTheXServersKeymapAndLockedGroup)
{
	XvfbDisplay display;
	std::string reason;
	if (!display.Start(&reason))
		GTEST_SKIP() << "no X server for the live keymap: " << reason;
	const std::string where = "\" of X display " + display.Name();
	std::vector<std::string> log;
	DesktopLayout desktop({display.Name(), ""},
	                      [&log](const std::string& line) { log.push_back(line); });

	std::string error;
	std::shared_ptr<const LayoutKeys> layout = desktop.For(TyperSettings(), &error);
	ASSERT_NE(layout, nullptr) << error;
	const std::string start = layout->Name();

	const struct {
		const char* name;
		std::vector<std::string> setxkbmap; // empty: lock group 1 instead
		std::string used;
		char32_t character;
		LayoutStroke stroke;
	} steps[] = {
	        {"a new keymap", {"-layout", "fr"}, "\"French" + where, U'1', {0x12, 0x101}},
	        {"two layouts, the first locked", {"-layout", "us,de"}, "\"English (US)" + where,
	         U'y', {0x2c, 0}},
	        {"the second group locked", {}, "\"German" + where, U'y', {0x4c, 0}},
	};
	std::string before = start;
	for (const auto& step : steps) {
		SCOPED_TRACE(step.name);
		if (step.setxkbmap.empty()) {
			ASSERT_TRUE(XkbLockGroup(display.Connection(), XkbUseCoreKbd, 1));
			XSync(display.Connection(), False);
		} else {
			std::vector<std::string> command = {"setxkbmap", "-display", display.Name()};
			command.insert(command.end(), step.setxkbmap.begin(), step.setxkbmap.end());
			ASSERT_EQ(RunProgram(command), 0) << "setxkbmap (Debian package x11-xkb-utils)";
		}
		layout = LayoutOnceChanged(desktop, before);
		ASSERT_NE(layout, nullptr);
		EXPECT_EQ(layout->Name(), step.used);
		EXPECT_EQ(layout->StrokeFor(step.character), step.stroke);
		before = layout->Name();
	}
	EXPECT_EQ(log.front(), "codes are typed for the keyboard layout " + start + " (the desktop)");
	EXPECT_EQ(log.back(), "codes are typed for the keyboard layout " + before + " (the desktop)");
}

// Stands still and never waits.
class NoClock : public StriaClock {
public:
	bigtime_t Now() override { return 0; }
	void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, bigtime_t) override {}
	void Sleep(bigtime_t) override {}
};

TEST(Typist, TypesForTheSettingsLayoutAndLeavesOutACodeItHasNoKeyFor)
{
	const struct {
		const char* layout;
		const char* code;
		std::vector<std::string> downs; // key, bytes, modifiers of each key-down
		std::vector<std::string> log;
	} cases[] = {
	        {"fr", "128 1a", {"0x12 1 0x101", "0x27 a 0x0"}, {}},
	        {"de", "128 z@", {"0x2c z 0x0", "0x27 @ 0x802"}, {}},
	        {"de", "128 a^b", {}, {"scan not typed: the keyboard layout de has no key for '^': a^b"}},
	        {"xx", "128 ab", {},
	         {"scan not typed: the keyboard layout \"xx\" is not in the system's keyboard data "
	          "(Couldn't find file \"symbols/xx\" in include paths) (the typer's layout setting): "
	          "ab"}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.code);
		NoClock clock;
		std::vector<std::string> downs;
		std::vector<std::string> log;
		TyperSettings settings{TypedKind::Data, EndKey::None, 0};
		settings.layout = c.layout;
		// Code 128 for the letters and symbols.
		settings.freeText = true;
		Typist typist(
		        [&downs](std::vector<std::unique_ptr<BMessage>> messages) {
			        for (const std::unique_ptr<BMessage>& message : messages) {
				        int32 key = 0, modifiers = 0;
				        const char* bytes = "";
				        message->FindInt32("key", &key);
				        message->FindInt32("modifiers", &modifiers);
				        message->FindString("bytes", &bytes);
				        char line[64];
				        snprintf(line, sizeof(line), "0x%02x %s 0x%x", (unsigned)key, bytes,
				                 (unsigned)modifiers);
				        if (message->what == B_KEY_DOWN)
					        downs.push_back(line);
			        }
			        return true;
		        },
		        [&log](const std::string& line) { log.push_back(line); }, &clock, settings);
		typist.Type(c.code, false);
		typist.WaitUntilIdle();
		EXPECT_EQ(downs, c.downs);
		EXPECT_EQ(log, c.log);
	}
}

TEST(Typist, ACodeStoppedWhileAltGrIsDownLetsGoOfItAndOfItsKey)
{
	// "@" under de is AltGr+Q: the stop comes with both down.
	filter_test::ManualClock clock(1000);
	std::vector<std::string> messages;
	std::mutex lock;
	TyperSettings settings{TypedKind::Data, EndKey::None, 100};
	settings.layout = "de";
	settings.freeText = true;
	Typist typist(
	        [&](std::vector<std::unique_ptr<BMessage>> taken) {
		        std::lock_guard guard(lock);
		        for (const std::unique_ptr<BMessage>& message : taken) {
			        int32 key = 0;
			        bool end = false;
			        message->FindInt32("key", &key);
			        message->FindBool(STRIA_TYPED_CODE_END_FIELD, &end);
			        const bool down =
			                message->what == B_KEY_DOWN || message->what == B_UNMAPPED_KEY_DOWN;
			        const bool up = message->what == B_KEY_UP || message->what == B_UNMAPPED_KEY_UP;
			        if (down || up || end) {
				        messages.push_back((down ? "down " : up ? "up " : "other ") +
				                           std::to_string(key) + (end ? " end" : ""));
			        }
		        }
		        return true;
	        },
	        [](const std::string&) {}, &clock, settings);
	typist.Type("128 @", false);
	ASSERT_TRUE(clock.WaitForWaiter(1100));
	clock.Set(1100);
	ASSERT_TRUE(clock.WaitForWaiter(1200));
	typist.Finish();
	std::lock_guard guard(lock);
	// AltGr (the right Alt, 0x5f) and Q (0x27) down, then up: Q first.
	EXPECT_EQ(messages, (std::vector<std::string>{"down 95", "down 39", "up 39", "up 95 end"}));
}

TEST(TyperControl, LayoutChangesOnlyToOneTheSystemHas)
{
	NoClock clock;
	StriaTyper typer(TyperSettings{}, &clock);
	const struct {
		const char* name;
		const char* layout; // nullptr: not in the request
		const char* variant;
		status_t status;
		const char* after; // "layout(variant)"
	} steps[] = {
	        {"a layout", "fr", nullptr, B_OK, "fr()"},
	        {"with a variant", "de", "nodeadkeys", B_OK, "de(nodeadkeys)"},
	        {"a new layout starts with its basic variant", "fr", nullptr, B_OK, "fr()"},
	        {"a variant alone", nullptr, "nodeadkeys", B_OK, "fr(nodeadkeys)"},
	        {"a layout the data lacks", "xx", nullptr, B_BAD_VALUE, "fr(nodeadkeys)"},
	        {"a variant the layout lacks", nullptr, "nope", B_BAD_VALUE, "fr(nodeadkeys)"},
	        {"no XKB name", "fr;de", nullptr, B_BAD_VALUE, "fr(nodeadkeys)"},
	        {"back to the desktop's", "", nullptr, B_OK, "()"},
	        {"a variant of no layout", nullptr, "nodeadkeys", B_BAD_VALUE, "()"},
	};
	for (const auto& step : steps) {
		SCOPED_TRACE(step.name);
		BMessage request(STRIA_TYPER_SETTINGS);
		if (step.layout)
			request.AddString(STRIA_TYPER_LAYOUT_FIELD, step.layout);
		if (step.variant)
			request.AddString(STRIA_TYPER_VARIANT_FIELD, step.variant);
		EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_TYPER_SETTINGS, &request),
		          step.status);
		const char* layout = "?";
		const char* variant = "?";
		request.FindString(STRIA_TYPER_LAYOUT_FIELD, &layout);
		request.FindString(STRIA_TYPER_VARIANT_FIELD, &variant);
		EXPECT_EQ(std::string(layout) + "(" + variant + ")", step.after);
	}
}

} // namespace
