// LayoutKeys: which key, and which of Shift and AltGr held with it, types
// each character under one keyboard layout. Worked out from an XKB keymap
// compiled by libxkbcommon, the way the X server applies it to the keys the
// virtual keyboard types: each key is tried under each modifier and the
// character the keymap gives is read back, so a layout's own shift levels,
// AltGr and odd keys come out right without a table of our own.
//
// Only keys of the PC keyboard (the Be key codes of UsKeyboard) take part,
// the keypad never (what it types hangs on Num Lock). A character is typed
// with as few modifiers as it takes. A character that only a dead key or a
// compose sequence gives has no stroke.
#ifndef STRIA_LAYOUT_KEYS_H
#define STRIA_LAYOUT_KEYS_H

#include <SupportDefs.h>

#include <map>
#include <memory>
#include <optional>
#include <string>

struct xkb_keymap;

// The names XKB compiles a keymap from, as /etc/default/keyboard and
// setxkbmap give them. layout and variant may be comma lists, one item per
// layout group.
struct LayoutNames {
	std::string model;
	std::string layout;
	std::string variant;
	std::string options;

	bool operator==(const LayoutNames&) const = default;

	// "de(nodeadkeys)"; "us,de(,nodeadkeys)" for lists.
	std::string Describe() const;
};

// How one character is typed: the Be key code, and the modifier bits held
// around it (B_SHIFT_KEY | B_LEFT_SHIFT_KEY for Shift, the AltGr key's bits,
// such as B_COMMAND_KEY | B_RIGHT_COMMAND_KEY for the right Alt key).
struct LayoutStroke {
	int32 key;
	uint32 modifiers;

	bool operator==(const LayoutStroke&) const = default;
};

class LayoutKeys {
public:
	// The keymap of names, compiled from the system's XKB data (Debian's
	// xkb-data) with the evdev rules, for its first layout group. nullptr,
	// with the reason in *error, when a name is unknown or the data is
	// missing. Empty names take XKB's defaults (pc105, us).
	static std::shared_ptr<const LayoutKeys> FromNames(const LayoutNames& names,
	                                                   std::string* error);
	// From a compiled keymap (the X server's, say), for layout group group;
	// name says where it came from, for log lines.
	static std::shared_ptr<const LayoutKeys> FromKeymap(xkb_keymap* keymap, uint32 group,
	                                                    std::string name);

	// The stroke that types character, none when the layout has no key for
	// it.
	std::optional<LayoutStroke> StrokeFor(char32_t character) const;

	// "fr", "de(nodeadkeys)", "X display :0: fr".
	const std::string& Name() const { return fName; }

private:
	LayoutKeys(std::map<char32_t, LayoutStroke> strokes, std::string name);

	std::map<char32_t, LayoutStroke> fStrokes;
	std::string fName;
};

#endif // STRIA_LAYOUT_KEYS_H
