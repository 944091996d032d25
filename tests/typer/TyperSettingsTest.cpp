// The typer's settings: the file's lines, where the file is looked for, and
// stria-typer's command line, which checks its words the same way.
#include <TyperOptions.h>
#include <TyperSettings.h>
#include <TyperSettingsFile.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

TEST(TyperSettings, FileTextGivesTheSettingsAndNamesEachBadLine)
{
	const struct {
		const char* name;
		const char* text;
		TyperSettings expected;
		std::vector<std::string> errors;
	} cases[] = {
	        {"empty", "", {}, {}},
	        {"every setting", "type = data\nend = tab\nkey-delay = 300\nfree-text = yes\n",
	         {.type = TypedKind::Data, .end = EndKey::Tab, .keyDelay = 300, .freeText = true}, {}},
	        {"free text no, and words it does not take", "free-text = yes\nfree-text = no\n"
	         "free-text = on\nfree-text = Yes\nfree-text =\n",
	         {},
	         {"line 3: free-text takes yes or no, not \"on\"",
	          "line 4: free-text takes yes or no, not \"Yes\"",
	          "line 5: free-text takes yes or no, not \"\""}},
	        {"blanks, comments, no final newline",
	         "# mine\n\n  type=isbn10   # books\n\tend =none", {TypedKind::Isbn10, EndKey::None, 0},
	         {}},
	        {"later line wins", "type = data\ntype = label\n", {TypedKind::Label, EndKey::Enter, 0},
	         {}},
	        {"bad lines left out, the rest applies",
	         "type = digits\nend = tab\nspeed = 3\nkey-delay = -1\nkey-delay = 2000000\n"
	         "key-delay = 12ms\njust words\nkey-delay = 1000000\n",
	         {TypedKind::Off, EndKey::Tab, 1000000},
	         {"line 1: type takes off, data, barcode, isbn10 or label, not \"digits\"",
	          "line 3: there is no setting \"speed\" (the settings are type, end, key-delay, layout, "
	          "variant and free-text)",
	          "line 4: key-delay takes microseconds from 0 to 1000000, not \"-1\"",
	          "line 5: key-delay takes microseconds from 0 to 1000000, not \"2000000\"",
	          "line 6: key-delay takes microseconds from 0 to 1000000, not \"12ms\"",
	          "line 7: \"just words\" is not \"name = value\""}},
	        {"values are case-sensitive and not empty", "type = Data\nend =\n",
	         {},
	         {"line 1: type takes off, data, barcode, isbn10 or label, not \"Data\"",
	          "line 2: end takes enter, tab or none, not \"\""}},
	        {"CRLF lines", "type = barcode\r\nend = none\r\n", {TypedKind::Barcode, EndKey::None, 0},
	         {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		TyperSettingsText read = ParseTyperSettings(c.text);
		EXPECT_EQ(read.settings, c.expected) << read.settings.Describe();
		EXPECT_EQ(read.errors, c.errors);
	}
}

class SettingsFolder : public testing::Test {
protected:
	void SetUp() override
	{
		char folder[] = "/tmp/stria-typer-settings-XXXXXX";
		ASSERT_NE(mkdtemp(folder), nullptr);
		fFolder = folder;
	}
	void TearDown() override { std::filesystem::remove_all(fFolder); }
	std::string fFolder;
};

TEST_F(SettingsFolder, AbsentFileTypesNothingAndAFolderIsNamed)
{
	TyperSettingsText absent = ReadTyperSettings(fFolder + "/none.settings");
	EXPECT_EQ(absent.settings, TyperSettings());
	EXPECT_TRUE(absent.errors.empty());

	TyperSettingsText folder = ReadTyperSettings(fFolder);
	EXPECT_EQ(folder.settings, TyperSettings());
	ASSERT_EQ(folder.errors.size(), 1u);
	EXPECT_EQ(folder.errors[0], "settings file " + fFolder + ": not a regular file");

	const std::string path = fFolder + "/typer.settings";
	std::ofstream(path) << "type = data\nend = sideways\n";
	TyperSettingsText read = ReadTyperSettings(path);
	EXPECT_EQ(read.settings.type, TypedKind::Data);
	ASSERT_EQ(read.errors.size(), 1u);
	EXPECT_EQ(read.errors[0], "settings file " + path +
	                                  ", line 2: end takes enter, tab or none, not \"sideways\"");
}

TEST(TyperSettings, FileIsLookedForWhereXdgSays)
{
	const char* savedConfig = getenv("XDG_CONFIG_HOME");
	const char* savedHome = getenv("HOME");
	const std::string config = savedConfig ? savedConfig : "";
	const std::string home = savedHome ? savedHome : "";
	const struct {
		const char* config; // nullptr: unset
		const char* home;
		std::string expected;
	} cases[] = {
	        {"/cfg", "/home/a", "/cfg/stria/typer.settings"},
	        {nullptr, "/home/a", "/home/a/.config/stria/typer.settings"},
	        {"", "/home/a", "/home/a/.config/stria/typer.settings"},
	        {"relative/cfg", "/home/a", "/home/a/.config/stria/typer.settings"},
	        {nullptr, nullptr, ""},
	};
	for (const auto& c : cases) {
		c.config ? setenv("XDG_CONFIG_HOME", c.config, 1) : unsetenv("XDG_CONFIG_HOME");
		c.home ? setenv("HOME", c.home, 1) : unsetenv("HOME");
		EXPECT_EQ(TyperSettingsPath(), c.expected);
	}
	savedConfig ? setenv("XDG_CONFIG_HOME", config.c_str(), 1) : unsetenv("XDG_CONFIG_HOME");
	savedHome ? setenv("HOME", home.c_str(), 1) : unsetenv("HOME");
}

TEST(TyperOptions, CommandLineIsCheckedBeforeAnythingIsSent)
{
	const struct {
		std::vector<std::string> words;
		const char* error; // nullptr: accepted
	} cases[] = {
	        {{"show"}, nullptr},
	        {{"type", "data"}, nullptr},
	        {{"end", "tab", "key-delay", "300", "--control-socket", "/s"}, nullptr},
	        {{"--help"}, nullptr},
	        {{}, "nothing to do: give show, or a setting and its value"},
	        {{"type"}, "type needs a value"},
	        {{"type", "digits"}, "type takes off, data, barcode, isbn10 or label, not \"digits\""},
	        {{"key-delay", "0x10"}, "key-delay takes microseconds from 0 to 1000000, not \"0x10\""},
	        {{"key-delay", "fast"}, "key-delay takes microseconds from 0 to 1000000, not \"fast\""},
	        {{"type", "data", "type", "label"}, "type is given twice"},
	        {{"show", "end", "tab"},
	         "show takes no settings; give either show or settings to change"},
	        {{"colour", "red"},
	         "unknown setting \"colour\" (the settings are type, end, key-delay, layout, variant "
	         "and free-text; show shows them)"},
	        {{"free-text", "yes"}, nullptr},
	        {{"free-text", "maybe"}, "free-text takes yes or no, not \"maybe\""},
	        {{"free-text", "no", "free-text", "yes"}, "free-text is given twice"},
	        {{"--verbose"}, "unknown option --verbose"},
	        {{"show", "--control-socket"}, "--control-socket needs a path"},
	        {{"show", "--control-socket="}, "--control-socket needs a path"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(testing::PrintToString(c.words));
		TyperOptions options;
		std::string error;
		EXPECT_EQ(parse_typer_options(c.words, &options, &error), c.error == nullptr);
		if (c.error != nullptr) {
			EXPECT_EQ(error, c.error);
		}
	}

	TyperOptions options;
	std::string error;
	ASSERT_TRUE(parse_typer_options({"key-delay", "250", "end", "none"}, &options, &error));
	EXPECT_EQ(options.keyDelay, 250);
	EXPECT_EQ(options.end, "none");
	EXPECT_FALSE(options.type.has_value());
	EXPECT_FALSE(options.freeText.has_value());
	ASSERT_TRUE(parse_typer_options({"free-text", "no"}, &options, &error));
	EXPECT_EQ(options.freeText, false);
}

} // namespace
