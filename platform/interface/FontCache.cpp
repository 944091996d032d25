// Interface kit, private: scaled fonts of DejaVu Sans, cached per size.
#include "FontCache.h"

#include <private/WindowSnapshot.h>

#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>
#include <stdlib.h>
#include <string.h>

namespace BPrivate {

namespace {

std::mutex sFontLock;
cairo_font_face_t* sFace = NULL;
std::map<float, cairo_scaled_font_t*>* sFonts = NULL;

// At the end of the process the fonts, cairo's caches and fontconfig's
// are handed back, so that leak checkers see only the program's own leaks.
void ReleaseFonts()
{
	// A window still alive may still draw on another thread: then the
	// caches stay.
	if (BPrivate::count_live_windows() > 0)
		return;
	std::lock_guard<std::mutex> lock(sFontLock);
	if (sFonts == NULL)
		return;
	for (auto& entry : *sFonts)
		cairo_scaled_font_destroy(entry.second);
	delete sFonts;
	sFonts = NULL;
	cairo_font_face_destroy(sFace);
	sFace = NULL;
	cairo_debug_reset_static_data();
	FcFini();
}

} // namespace

cairo_scaled_font_t* FontCache::ScaledFont(float size)
{
	if (!(size > 0))
		size = 12;
	std::lock_guard<std::mutex> lock(sFontLock);
	if (sFace == NULL) {
		sFace = cairo_toy_font_face_create("DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
		                                   CAIRO_FONT_WEIGHT_NORMAL);
		sFonts = new std::map<float, cairo_scaled_font_t*>;
		atexit(ReleaseFonts);
	}
	auto found = sFonts->find(size);
	if (found != sFonts->end())
		return found->second;

	cairo_matrix_t fontMatrix;
	cairo_matrix_t identity;
	cairo_matrix_init_scale(&fontMatrix, size, size);
	cairo_matrix_init_identity(&identity);
	cairo_font_options_t* options = cairo_font_options_create();
	cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
	cairo_scaled_font_t* font = cairo_scaled_font_create(sFace, &fontMatrix, &identity, options);
	cairo_font_options_destroy(options);
	(*sFonts)[size] = font;
	return font;
}

void FontCache::GetHeight(float size, font_height* height)
{
	cairo_font_extents_t extents;
	cairo_scaled_font_extents(ScaledFont(size), &extents);
	height->ascent = extents.ascent;
	height->descent = extents.descent;
	float leading = extents.height - extents.ascent - extents.descent;
	height->leading = leading > 0 ? leading : 0;
}

float FontCache::StringWidth(float size, const char* string, int32 length)
{
	if (string == NULL || length <= 0)
		return 0;
	std::string text = Printable(string, length);
	cairo_text_extents_t extents;
	cairo_scaled_font_text_extents(ScaledFont(size), text.c_str(), &extents);
	return extents.x_advance;
}

static void AppendCodePoint(std::string& out, uint32 code)
{
	if (code < 0x80) {
		out += (char)code;
	} else if (code < 0x800) {
		out += (char)(0xc0 | (code >> 6));
		out += (char)(0x80 | (code & 0x3f));
	} else {
		out += (char)(0xe0 | (code >> 12));
		out += (char)(0x80 | ((code >> 6) & 0x3f));
		out += (char)(0x80 | (code & 0x3f));
	}
}

// Length of the valid UTF-8 sequence at text, or 0.
static int32 SequenceLength(const uint8* text, int32 left)
{
	uint8 lead = text[0];
	int32 length;
	uint32 minimum;
	if (lead >= 0xc2 && lead <= 0xdf) {
		length = 2;
		minimum = 0x80;
	} else if (lead >= 0xe0 && lead <= 0xef) {
		length = 3;
		minimum = 0x800;
	} else if (lead >= 0xf0 && lead <= 0xf4) {
		length = 4;
		minimum = 0x10000;
	} else {
		return 0;
	}
	if (left < length)
		return 0;
	uint32 code = lead & (0x7f >> length);
	for (int32 i = 1; i < length; i++) {
		if ((text[i] & 0xc0) != 0x80)
			return 0;
		code = (code << 6) | (text[i] & 0x3f);
	}
	if (code < minimum || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff))
		return 0;
	return length;
}

std::string FontCache::Printable(const char* string, int32 length)
{
	std::string out;
	if (string == NULL)
		return out;
	out.reserve(length);
	const uint8* text = (const uint8*)string;
	int32 i = 0;
	while (i < length) {
		uint8 byte = text[i];
		if (byte < 0x20 || byte == 0x7f) {
			AppendCodePoint(out, 0xfffd);
			i++;
		} else if (byte < 0x80) {
			out += (char)byte;
			i++;
		} else if (int32 sequence = SequenceLength(text + i, length - i)) {
			out.append(string + i, sequence);
			i += sequence;
		} else {
			// A stray byte: its Latin-1 character, if it has a printable one.
			AppendCodePoint(out, byte < 0xa0 ? 0xfffd : byte);
			i++;
		}
	}
	return out;
}

} // namespace BPrivate
