// Interface kit: BListItem, one row of a list.
#include <ListItem.h>

#include <Font.h>
#include <View.h>

#include <math.h>

BListItem::BListItem(uint32 outlineLevel, bool expanded)
    : fWidth(0), fHeight(0), fLevel(outlineLevel), fSelected(false), fEnabled(true),
      fExpanded(expanded)
{
}

BListItem::~BListItem() {}

void BListItem::Update(BView* owner, const BFont* font)
{
	font_height height;
	font->GetHeight(&height);
	fHeight = ceilf(height.ascent + height.descent + height.leading) + 4;
	fWidth = owner != NULL ? owner->Bounds().Width() : 0;
}
