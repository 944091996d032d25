// Interface kit: key bytes, key codes and modifier bits, with the
// platform's values.
#ifndef _INTERFACE_DEFS_H
#define _INTERFACE_DEFS_H

#include <SupportDefs.h>

// The "byte" of keys that give no printable character.
enum {
	B_BACKSPACE = 0x08,
	B_RETURN = 0x0a,
	B_ENTER = 0x0a,
	B_SPACE = 0x20,
	B_TAB = 0x09,
	B_ESCAPE = 0x1b,
	B_SUBSTITUTE = 0x1a,

	B_LEFT_ARROW = 0x1c,
	B_RIGHT_ARROW = 0x1d,
	B_UP_ARROW = 0x1e,
	B_DOWN_ARROW = 0x1f,

	B_INSERT = 0x05,
	B_DELETE = 0x7f,
	B_HOME = 0x01,
	B_END = 0x04,
	B_PAGE_UP = 0x0b,
	B_PAGE_DOWN = 0x0c,

	// Every function key gives this byte; "key" tells them apart.
	B_FUNCTION_KEY = 0x10
};

// Key codes ("key") of the function key row.
enum {
	B_F1_KEY = 0x02,
	B_F2_KEY = 0x03,
	B_F3_KEY = 0x04,
	B_F4_KEY = 0x05,
	B_F5_KEY = 0x06,
	B_F6_KEY = 0x07,
	B_F7_KEY = 0x08,
	B_F8_KEY = 0x09,
	B_F9_KEY = 0x0a,
	B_F10_KEY = 0x0b,
	B_F11_KEY = 0x0c,
	B_F12_KEY = 0x0d,
	B_PRINT_KEY = 0x0e,
	B_SCROLL_KEY = 0x0f,
	B_PAUSE_KEY = 0x10
};

// Bits of "modifiers".
enum {
	B_SHIFT_KEY = 0x00000001,
	B_COMMAND_KEY = 0x00000002,
	B_CONTROL_KEY = 0x00000004,
	B_CAPS_LOCK = 0x00000008,
	B_SCROLL_LOCK = 0x00000010,
	B_NUM_LOCK = 0x00000020,
	B_OPTION_KEY = 0x00000040,
	B_MENU_KEY = 0x00000080,
	B_LEFT_SHIFT_KEY = 0x00000100,
	B_RIGHT_SHIFT_KEY = 0x00000200,
	B_LEFT_COMMAND_KEY = 0x00000400,
	B_RIGHT_COMMAND_KEY = 0x00000800,
	B_LEFT_CONTROL_KEY = 0x00001000,
	B_RIGHT_CONTROL_KEY = 0x00002000,
	B_LEFT_OPTION_KEY = 0x00004000,
	B_RIGHT_OPTION_KEY = 0x00008000
};

// The keyboard's state: modifiers and one bit per key code, most
// significant bit first (key k is bit 7 - k % 8 of key_states[k / 8]).
struct key_info {
	uint32 modifiers;
	uint8 key_states[16];
};

// ---------------------------------------------------------------------
// Interface kit constants (views, windows, colours) follow below.
// ---------------------------------------------------------------------

#include <GraphicsDefs.h>

// Room that scroll bars take beside or below their target.
#define B_V_SCROLL_BAR_WIDTH 14.0f
#define B_H_SCROLL_BAR_HEIGHT 14.0f

enum border_style { B_PLAIN_BORDER, B_FANCY_BORDER, B_NO_BORDER };

enum orientation { B_HORIZONTAL, B_VERTICAL };

enum alignment { B_ALIGN_LEFT, B_ALIGN_RIGHT, B_ALIGN_CENTER };

// Mouse buttons in "buttons" of mouse messages.
enum {
	B_PRIMARY_MOUSE_BUTTON = 0x01,
	B_SECONDARY_MOUSE_BUTTON = 0x02,
	B_TERTIARY_MOUSE_BUTTON = 0x04
};

// Colours the interface kit draws with.
enum color_which {
	B_PANEL_BACKGROUND_COLOR = 1,
	B_PANEL_TEXT_COLOR = 10,
	B_DOCUMENT_BACKGROUND_COLOR = 11,
	B_DOCUMENT_TEXT_COLOR = 12,
	B_LIST_BACKGROUND_COLOR = 40,
	B_LIST_SELECTED_BACKGROUND_COLOR = 41,
	B_LIST_ITEM_TEXT_COLOR = 42,
	B_LIST_SELECTED_ITEM_TEXT_COLOR = 43,
	B_SCROLL_BAR_THUMB_COLOR = 44
};

rgb_color ui_color(color_which which);

// Shades of a colour, as the platform's tint_color takes them.
#define B_LIGHTEN_MAX_TINT 0.0f
#define B_LIGHTEN_2_TINT 0.385f
#define B_LIGHTEN_1_TINT 0.590f
#define B_NO_TINT 1.0f
#define B_DARKEN_1_TINT 1.147f
#define B_DARKEN_2_TINT 1.295f
#define B_DARKEN_3_TINT 1.407f
#define B_DARKEN_4_TINT 1.555f
#define B_DARKEN_MAX_TINT 2.0f

rgb_color tint_color(rgb_color color, float tint);

#endif // _INTERFACE_DEFS_H
