// Interface kit: BStringView, one line of text.
#include <StringView.h>

#include <InterfaceDefs.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

BStringView::BStringView(BRect frame, const char* name, const char* text, uint32 resizingMode,
                         uint32 flags)
    : BView(frame, name, resizingMode, flags), fText(text != NULL ? strdup(text) : NULL),
      fAlignment(B_ALIGN_LEFT)
{
	SetHighColor(ui_color(B_PANEL_TEXT_COLOR));
}

BStringView::~BStringView()
{
	free(fText);
}

void BStringView::SetText(const char* text)
{
	char* copy = text != NULL ? strdup(text) : NULL;
	free(fText);
	fText = copy;
	Invalidate();
}

void BStringView::SetAlignment(alignment flag)
{
	fAlignment = flag;
	Invalidate();
}

void BStringView::AttachedToWindow()
{
	// Text sits on its parent's background, as on the platform.
	if (BView* parent = Parent())
		SetViewColor(parent->ViewColor());
}

void BStringView::Draw(BRect)
{
	if (fText == NULL)
		return;
	BRect bounds = Bounds();
	font_height height;
	GetFontHeight(&height);
	float x = bounds.left;
	if (fAlignment != B_ALIGN_LEFT) {
		float width = StringWidth(fText);
		x = fAlignment == B_ALIGN_RIGHT ? bounds.right - width
		                                : bounds.left + (bounds.Width() + 1 - width) / 2;
	}
	DrawString(fText, BPoint(x, bounds.top + ceilf(height.ascent)));
}
