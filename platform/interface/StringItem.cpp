// Interface kit: BStringItem, a list row that shows a line of text.
#include <ListItem.h>

#include <Font.h>
#include <InterfaceDefs.h>
#include <View.h>

#include <math.h>
#include <stdlib.h>
#include <string.h>

// Room left of the text, and per outline level.
static const float kTextInset = 4;
static const float kLevelIndent = 10;

BStringItem::BStringItem(const char* text, uint32 outlineLevel, bool expanded)
    : BListItem(outlineLevel, expanded), fText(strdup(text != NULL ? text : "")), fBaselineOffset(0)
{
}

BStringItem::~BStringItem()
{
	free(fText);
}

void BStringItem::SetText(const char* text)
{
	char* copy = strdup(text != NULL ? text : "");
	free(fText);
	fText = copy;
}

void BStringItem::Update(BView* owner, const BFont* font)
{
	BListItem::Update(owner, font);
	font_height height;
	font->GetHeight(&height);
	fBaselineOffset = 2 + ceilf(height.ascent);
	SetWidth(font->StringWidth(fText) + kTextInset * 2 + OutlineLevel() * kLevelIndent);
}

void BStringItem::DrawItem(BView* owner, BRect frame, bool complete)
{
	rgb_color background =
	        IsSelected() ? ui_color(B_LIST_SELECTED_BACKGROUND_COLOR) : owner->ViewColor();
	if (IsSelected() || complete)
		owner->FillRect(frame, background);
	rgb_color text = IsSelected() ? ui_color(B_LIST_SELECTED_ITEM_TEXT_COLOR)
	                              : ui_color(B_LIST_ITEM_TEXT_COLOR);
	if (!IsEnabled())
		text = tint_color(text, B_LIGHTEN_1_TINT);
	rgb_color high = owner->HighColor();
	owner->SetHighColor(text);
	owner->DrawString(fText, BPoint(frame.left + kTextInset + OutlineLevel() * kLevelIndent,
	                                frame.top + fBaselineOffset));
	owner->SetHighColor(high);
}
