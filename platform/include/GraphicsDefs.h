// Interface kit: colours and pixel formats, with the platform's names.
#ifndef _GRAPHICS_DEFS_H
#define _GRAPHICS_DEFS_H

#include <SupportDefs.h>

typedef struct rgb_color {
	uint8 red;
	uint8 green;
	uint8 blue;
	uint8 alpha;

	rgb_color& set_to(uint8 r, uint8 g, uint8 b, uint8 a = 255)
	{
		red = r;
		green = g;
		blue = b;
		alpha = a;
		return *this;
	}

	bool operator==(const rgb_color& other) const
	{
		return red == other.red && green == other.green && blue == other.blue &&
		       alpha == other.alpha;
	}

	bool operator!=(const rgb_color& other) const { return !(*this == other); }
} rgb_color;

inline rgb_color make_color(uint8 red, uint8 green, uint8 blue, uint8 alpha = 255)
{
	rgb_color color = {red, green, blue, alpha};
	return color;
}

// A view whose view colour is this one gets no background fill.
extern const rgb_color B_TRANSPARENT_COLOR;

enum color_space { B_NO_COLOR_SPACE = 0x0000, B_RGB32 = 0x0008, B_RGBA32 = 0x2008 };

#endif // _GRAPHICS_DEFS_H
