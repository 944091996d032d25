// Interface kit, private: the one font face of the kit (DejaVu Sans) at
// any size, shared by every thread, and text made safe for it.
#ifndef STRIA_FONT_CACHE_H
#define STRIA_FONT_CACHE_H

#include <Font.h>

#include <cairo.h>

#include <string>

namespace BPrivate {

class FontCache {
public:
	// A scaled font of this pixel size; lives as long as the process.
	static cairo_scaled_font_t* ScaledFont(float size);
	static void GetHeight(float size, font_height* height);
	static float StringWidth(float size, const char* string, int32 length);

	// The text as valid UTF-8: bytes that are not part of a UTF-8 sequence
	// stand for their Latin-1 characters, control characters become U+FFFD.
	// Text drawn from scanned codes can hold any byte; cairo refuses
	// invalid UTF-8 for good.
	static std::string Printable(const char* string, int32 length);
};

} // namespace BPrivate

#endif // STRIA_FONT_CACHE_H
