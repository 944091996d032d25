// Interface kit: BFont, DejaVu Sans at a size in pixels.
#include <Font.h>

#include "FontCache.h"

#include <string.h>

using BPrivate::FontCache;

static const BFont sPlainFont;
const BFont* be_plain_font = &sPlainFont;

BFont::BFont() : fSize(12.0f) {}

void BFont::SetSize(float size)
{
	if (size > 0 && size < 10000)
		fSize = size;
}

const char* BFont::Family() const
{
	return "DejaVu Sans";
}

void BFont::GetHeight(font_height* height) const
{
	if (height != NULL)
		FontCache::GetHeight(fSize, height);
}

float BFont::StringWidth(const char* string) const
{
	return string == NULL ? 0 : FontCache::StringWidth(fSize, string, strlen(string));
}

float BFont::StringWidth(const char* string, int32 length) const
{
	return FontCache::StringWidth(fSize, string, length);
}
