// Interface kit: the kit's colours.
#include <GraphicsDefs.h>
#include <InterfaceDefs.h>

#include <algorithm>

const rgb_color B_TRANSPARENT_COLOR = {0x77, 0x74, 0x77, 0x00};

rgb_color ui_color(color_which which)
{
	switch (which) {
	case B_PANEL_BACKGROUND_COLOR:
		return make_color(216, 216, 216);
	case B_PANEL_TEXT_COLOR:
	case B_DOCUMENT_TEXT_COLOR:
	case B_LIST_ITEM_TEXT_COLOR:
		return make_color(0, 0, 0);
	case B_DOCUMENT_BACKGROUND_COLOR:
	case B_LIST_BACKGROUND_COLOR:
		return make_color(255, 255, 255);
	case B_LIST_SELECTED_BACKGROUND_COLOR:
		return make_color(51, 102, 187);
	case B_LIST_SELECTED_ITEM_TEXT_COLOR:
		return make_color(255, 255, 255);
	case B_SCROLL_BAR_THUMB_COLOR:
		return make_color(232, 232, 232);
	}
	return make_color(216, 216, 216);
}

rgb_color tint_color(rgb_color color, float tint)
{
	auto shade = [tint](uint8 value) -> uint8 {
		float result;
		if (tint <= 1.0f) // lighter: towards white
			result = 255 - (255 - value) * tint;
		else // darker: towards black
			result = value * (2.0f - tint);
		return (uint8)std::clamp(result + 0.5f, 0.0f, 255.0f);
	};
	return make_color(shade(color.red), shade(color.green), shade(color.blue), color.alpha);
}
