// The keys that type each character under real keyboard layouts, compiled
// by libxkbcommon from the system's XKB data: spelled-out strokes, whole
// codes, and every printable character typed and read back through a
// keymap of the test's own as the X server would read it. Then the names
// the system's keyboard configuration gives, and the layout settings.
#include <KeyboardDefaults.h>
#include <LayoutKeys.h>
#include <TypedKeys.h>
#include <TyperSettings.h>
#include <UsKeyboard.h>

#include <InterfaceDefs.h>

#include <gtest/gtest.h>

#include <xkbcommon/xkbcommon.h>

#include <map>
#include <memory>

namespace {

using stria::UsKeyboard;

// The layout of names, compiled once; a missing one fails the test that
// asks for it, naming why (no XKB data: install xkb-data).
const LayoutKeys& Layout(const std::string& layout, const std::string& variant = "")
{
	static std::map<std::string, std::shared_ptr<const LayoutKeys>> compiled;
	std::shared_ptr<const LayoutKeys>& keys = compiled[layout + "(" + variant + ")"];
	if (!keys) {
		std::string error;
		keys = LayoutKeys::FromNames({"", layout, variant, ""}, &error);
		if (!keys) {
			ADD_FAILURE() << "cannot compile the layout " << layout << "(" << variant
			              << "): " << error;
			static std::shared_ptr<const LayoutKeys> us =
			        LayoutKeys::FromNames({"", "us", "", ""}, &error);
			if (!us)
				throw std::runtime_error("no XKB data at all: " + error);
			return *us;
		}
	}
	return *keys;
}

// "AltGr+Shift+Q", by the keys' names in UsKeyboard; "none" when the
// layout has no key for it.
std::string Spell(const LayoutKeys& layout, char32_t character)
{
	std::optional<LayoutStroke> stroke = layout.StrokeFor(character);
	if (!stroke)
		return "none";
	std::string text;
	if ((stroke->modifiers & B_SHIFT_KEY) != 0)
		text += "Shift+";
	if ((stroke->modifiers & B_RIGHT_COMMAND_KEY) != 0)
		text += "AltGr+";
	if ((stroke->modifiers & ~(B_SHIFT_KEY | B_LEFT_SHIFT_KEY | B_COMMAND_KEY |
	                           B_RIGHT_COMMAND_KEY)) != 0)
		text += "Other+";
	return text + UsKeyboard::FromBeKey(stroke->key)->name;
}

TEST(LayoutKeys, EachCharacterHasTheKeyAndModifiersOfItsLayout)
{
	const struct {
		const char* layout;
		const char* variant;
		char32_t character;
		const char* stroke;
	} cases[] = {
	        {"us", "", U'1', "1"},
	        {"us", "", U'!', "Shift+1"},
	        {"us", "", U'@', "Shift+2"},
	        {"us", "", U'z', "Z"},
	        {"us", "", U'\\', "\\"},
	        {"us", "", U'~', "Shift+`"},
	        {"us", "", U' ', "Space"},
	        // French AZERTY: digits need Shift, letters move, AltGr for @ # \.
	        {"fr", "", U'9', "Shift+9"},
	        {"fr", "", U'&', "1"},
	        {"fr", "", U'_', "8"},
	        {"fr", "", U'a', "Q"},
	        {"fr", "", U'M', "Shift+;"},
	        {"fr", "", U'-', "6"},
	        {"fr", "", U'.', "Shift+,"},
	        {"fr", "", U'@', "AltGr+0"},
	        {"fr", "", U'#', "AltGr+3"},
	        {"fr", "", U'\\', "AltGr+8"},
	        {"fr", "", U'<', "102nd"},
	        {"fr", "", U'>', "Shift+102nd"},
	        {"fr", "", U'\u00e9', "2"},
	        // German QWERTZ: Y and Z swap, AltGr for @ \ | { } ~, dead keys.
	        {"de", "", U'y', "Z"},
	        {"de", "", U'Z', "Shift+Y"},
	        {"de", "", U'-', "/"},
	        {"de", "", U'/', "Shift+7"},
	        {"de", "", U'@', "AltGr+Q"},
	        {"de", "", U'\\', "AltGr+-"},
	        {"de", "", U'|', "AltGr+102nd"},
	        {"de", "", U'{', "AltGr+7"},
	        {"de", "", U'~', "AltGr+]"},
	        {"de", "", U'\u00df', "-"},
	        {"de", "", U'^', "none"},
	        {"de", "", U'`', "none"},
	        {"de", "nodeadkeys", U'^', "`"},
	        {"de", "nodeadkeys", U'`', "Shift+="},
	        // Swiss German: AltGr on the digit row.
	        {"ch", "", U'@', "AltGr+2"},
	        {"ch", "", U'#', "AltGr+3"},
	        {"ch", "", U'|', "AltGr+1"},
	        // Characters a layout has no key for.
	        {"us", "", U'\u00e9', "none"},
	        {"us", "", U'\u20ac', "none"},
	        {"fr", "", U'\u00f1', "none"},
	        {"fr", "", U'\u20ac', "AltGr+E"},
	        {"us", "", U'\t', "none"},
	        {"us", "", U'\x7f', "none"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(std::string(c.layout) + "(" + c.variant + ") U+" +
		             std::to_string((uint32)c.character));
		EXPECT_EQ(Spell(Layout(c.layout, c.variant), c.character), c.stroke);
	}
}

// "+LeftShift +Y -Y -LeftShift ...", by the keys' names.
std::string Render(const std::vector<TypedKey>& keys)
{
	std::string text;
	for (const TypedKey& key : keys) {
		text += (text.empty() ? "" : " ") + std::string(key.down ? "+" : "-") +
		        UsKeyboard::FromBeKey(key.key)->name;
	}
	return text;
}

TEST(LayoutKeys, CodesAreTypedWithTheLayoutsKeys)
{
	const struct {
		const char* layout;
		const char* text;
		const char* keys;
	} cases[] = {
	        {"us", "Zoey-4/", "+LeftShift +Z -Z -LeftShift +O -O +E -E +Y -Y +- -- +4 -4 +/ -/"},
	        {"de", "Zoey-42/Quay",
	         "+LeftShift +Y -Y -LeftShift +O -O +E -E +Z -Z +/ -/ +4 -4 +2 -2 "
	         "+LeftShift +7 -7 -LeftShift +LeftShift +Q -Q -LeftShift +U -U +A -A +Z -Z"},
	        {"fr", "978",
	         "+LeftShift +9 -9 -LeftShift +LeftShift +7 -7 -LeftShift +LeftShift +8 -8 "
	         "-LeftShift"},
	        {"de", "a@b",
	         "+A -A +RightAlt +Q -Q -RightAlt +B -B"},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(std::string(c.layout) + " " + c.text);
		std::optional<std::vector<TypedKey>> keys =
		        TypedKeys(c.text, EndKey::None, Layout(c.layout));
		ASSERT_TRUE(keys.has_value());
		EXPECT_EQ(Render(*keys), c.keys);
	}
}

TEST(LayoutKeys, CharacterKeysCarryTheirOwnBytesAndAnUntypeableOneStopsTheCode)
{
	std::optional<std::vector<TypedKey>> keys = TypedKeys("1a", EndKey::Enter, Layout("fr"));
	ASSERT_TRUE(keys.has_value());
	std::vector<std::string> bytes;
	for (const TypedKey& key : *keys)
		bytes.push_back(key.bytes);
	EXPECT_EQ(bytes, (std::vector<std::string>{"", "1", "", "", "a", "", "", ""}));

	EXPECT_FALSE(TypedKeys("ab^c", EndKey::Enter, Layout("de")).has_value());
	EXPECT_EQ(UntypeableByte("ab^c`", Layout("de")), '^');
	EXPECT_EQ(UntypeableByte("ab^c`", Layout("de", "nodeadkeys")), std::nullopt);
}

// Types text's keys on a keymap of names compiled here, as the X server
// applies one to key events, and gives back the characters that come out.
std::string TypedBack(const std::vector<TypedKey>& keys, const LayoutNames& names)
{
	std::unique_ptr<xkb_context, decltype(&xkb_context_unref)> context(
	        xkb_context_new(XKB_CONTEXT_NO_ENVIRONMENT_NAMES), &xkb_context_unref);
	const xkb_rule_names rule = {"evdev", nullptr, names.layout.c_str(), names.variant.c_str(),
	                             nullptr};
	std::unique_ptr<xkb_keymap, decltype(&xkb_keymap_unref)> keymap(
	        xkb_keymap_new_from_names(context.get(), &rule, XKB_KEYMAP_COMPILE_NO_FLAGS),
	        &xkb_keymap_unref);
	if (!keymap)
		return "(no keymap)";
	std::unique_ptr<xkb_state, decltype(&xkb_state_unref)> state(xkb_state_new(keymap.get()),
	                                                             &xkb_state_unref);
	std::string text;
	for (const TypedKey& key : keys) {
		const xkb_keycode_t code = UsKeyboard::LinuxFromBeKey(key.key) + 8;
		if (key.down && !UsKeyboard::IsModifier(key.key)) {
			char bytes[16];
			xkb_state_key_get_utf8(state.get(), code, bytes, sizeof(bytes));
			text += bytes;
		}
		xkb_state_update_key(state.get(), code, key.down ? XKB_KEY_DOWN : XKB_KEY_UP);
	}
	return text;
}

TEST(LayoutKeys, EveryCharacterALayoutTypesComesOutAsItself)
{
	const struct {
		const char* layout;
		const char* variant;
		const char* untypeable;
	} cases[] = {
	        {"us", "", ""},        {"fr", "", ""},
	        {"de", "", "^`"},      {"de", "nodeadkeys", ""},
	        {"gb", "", ""},        {"ch", "", "^`~"},
	        {"es", "", "^`"},      {"it", "", ""},
	        {"us", "dvorak", ""},  {"be", "", "`~"},
	        {"br", "", ""},        {"us", "intl", ""},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(std::string(c.layout) + "(" + c.variant + ")");
		const LayoutKeys& layout = Layout(c.layout, c.variant);
		std::string typeable;
		std::string untypeable;
		for (char character = ' '; character <= '~'; character++)
			(layout.StrokeFor(character) ? typeable : untypeable) += character;
		EXPECT_EQ(untypeable, c.untypeable);
		std::optional<std::vector<TypedKey>> keys = TypedKeys(typeable, EndKey::None, layout);
		ASSERT_TRUE(keys.has_value());
		EXPECT_EQ(TypedBack(*keys, {"", c.layout, c.variant, ""}), typeable);
	}
}

TEST(LayoutKeys, ANameTheDataLacksIsRefusedWithTheReason)
{
	const struct {
		LayoutNames names;
		const char* error;
	} cases[] = {
	        {{"", "xx", "", ""},
	         "the keyboard layout \"xx\" is not in the system's keyboard data (Couldn't find file "
	         "\"symbols/xx\" in include paths)"},
	        {{"", "de", "nope", ""},
	         "the keyboard layout \"de(nope)\" is not in the system's keyboard data (Couldn't "
	         "process include statement for 'de(nope)')"},
	};
	for (const auto& c : cases) {
		std::string error;
		EXPECT_EQ(LayoutKeys::FromNames(c.names, &error), nullptr);
		EXPECT_EQ(error, c.error);
	}
}

TEST(KeyboardDefaults, TheSystemsConfigurationGivesTheNames)
{
	const struct {
		const char* name;
		const char* text;
		LayoutNames names;
	} cases[] = {
	        {"as Debian's installer writes it",
	         "# KEYBOARD CONFIGURATION FILE\n\n# Consult the keyboard(5) manual page.\n\n"
	         "XKBMODEL=\"pc105\"\nXKBLAYOUT=\"fr\"\nXKBVARIANT=\"\"\nXKBOPTIONS=\"\"\n\n"
	         "BACKSPACE=\"guess\"\n",
	         {"pc105", "fr", "", ""}},
	        {"several layouts and options",
	         "XKBLAYOUT=\"us,de\"\nXKBVARIANT=\",nodeadkeys\"\n"
	         "XKBOPTIONS=\"grp:alt_shift_toggle,lv3:ralt_switch\"\n",
	         {"", "us,de", ",nodeadkeys", "grp:alt_shift_toggle,lv3:ralt_switch"}},
	        {"unquoted, single-quoted, export, comments, CRLF",
	         "  XKBLAYOUT=de # German\r\nexport XKBVARIANT='nodeadkeys'\r\n#XKBLAYOUT=fr\r\n",
	         {"", "de", "nodeadkeys", ""}},
	        {"a later line wins; other names and lines without '=' are left",
	         "XKBLAYOUT=fr\nXKBLAYOUT=\"be\"\nLAYOUT=us\nXKBLAYOUT\n", {"", "be", "", ""}},
	        {"nothing", "", {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		EXPECT_EQ(ParseKeyboardDefaults(c.text), c.names);
	}
}

TEST(TyperSettings, LayoutAndVariantTakeXkbNamesOrNothing)
{
	const struct {
		const char* text;
		const char* layout;
		const char* variant;
		std::vector<std::string> errors;
	} cases[] = {
	        {"layout = fr\n", "fr", "", {}},
	        {"layout = de\nvariant = nodeadkeys\n", "de", "nodeadkeys", {}},
	        {"layout = us\nvariant = dvorak-alt-intl\n", "us", "dvorak-alt-intl", {}},
	        {"layout = fr\nlayout =\n", "", "", {}},
	        {"layout = fr, de\nvariant = a/b\n",
	         "",
	         "",
	         {"line 1: layout takes an XKB layout name such as fr or de, or nothing for the "
	          "desktop's own, not \"fr, de\"",
	          "line 2: variant takes an XKB variant name such as nodeadkeys, or nothing for the "
	          "layout's basic one, not \"a/b\""}},
	        {"layout = $(reboot)\n",
	         "",
	         "",
	         {"line 1: layout takes an XKB layout name such as fr or de, or nothing for the "
	          "desktop's own, not \"$(reboot)\""}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.text);
		TyperSettingsText read = ParseTyperSettings(c.text);
		EXPECT_EQ(read.settings.layout, c.layout);
		EXPECT_EQ(read.settings.variant, c.variant);
		EXPECT_EQ(read.errors, c.errors);
	}
	TyperSettings settings;
	settings.layout = "de";
	settings.variant = "nodeadkeys";
	EXPECT_EQ(settings.Describe(), "type = off, end = enter, key-delay = 0, layout = de, variant = "
	                               "nodeadkeys, free-text = no");
}

} // namespace
