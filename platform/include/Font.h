// Interface kit: BFont. Stria's kit has one family, DejaVu Sans, in
// any size; sizes are in pixels.
#ifndef _FONT_H
#define _FONT_H

#include <SupportDefs.h>

struct font_height {
	float ascent;
	float descent;
	float leading;
};

#define B_FONT_FAMILY_LENGTH 63

class BFont {
public:
	BFont();
	BFont(const BFont& font) = default;
	BFont& operator=(const BFont& font) = default;

	void SetSize(float size);
	float Size() const { return fSize; }
	const char* Family() const;

	void GetHeight(font_height* height) const;
	float StringWidth(const char* string) const;
	float StringWidth(const char* string, int32 length) const;

	bool operator==(const BFont& other) const { return fSize == other.fSize; }
	bool operator!=(const BFont& other) const { return !(*this == other); }

private:
	float fSize;
};

// The font views start with.
extern const BFont* be_plain_font;

#endif // _FONT_H
