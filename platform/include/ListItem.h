// Interface kit: BListItem, one row of a BListView, and BStringItem, a row
// that shows a line of text.
#ifndef _LIST_ITEM_H
#define _LIST_ITEM_H

#include <Rect.h>

class BFont;
class BView;

class BListItem {
public:
	explicit BListItem(uint32 outlineLevel = 0, bool expanded = true);
	virtual ~BListItem();

	float Height() const { return fHeight; }
	float Width() const { return fWidth; }
	void SetHeight(float height) { fHeight = height; }
	void SetWidth(float width) { fWidth = width; }

	bool IsSelected() const { return fSelected; }
	void Select() { fSelected = true; }
	void Deselect() { fSelected = false; }
	bool IsEnabled() const { return fEnabled; }
	void SetEnabled(bool enabled) { fEnabled = enabled; }
	bool IsExpanded() const { return fExpanded; }
	void SetExpanded(bool expanded) { fExpanded = expanded; }
	uint32 OutlineLevel() const { return fLevel; }

	// Draws the row into the list view, inside frame (in the list's
	// coordinates). complete asks for the background too.
	virtual void DrawItem(BView* owner, BRect frame, bool complete = false) = 0;
	// Called when the item joins a list: sets its height for the font.
	virtual void Update(BView* owner, const BFont* font);

private:
	float fWidth;
	float fHeight;
	uint32 fLevel;
	bool fSelected;
	bool fEnabled;
	bool fExpanded;
};

class BStringItem : public BListItem {
public:
	explicit BStringItem(const char* text, uint32 outlineLevel = 0, bool expanded = true);
	~BStringItem() override;
	BStringItem(const BStringItem&) = delete;
	BStringItem& operator=(const BStringItem&) = delete;

	void DrawItem(BView* owner, BRect frame, bool complete = false) override;
	void Update(BView* owner, const BFont* font) override;

	// Keeps its own copy of the text.
	virtual void SetText(const char* text);
	const char* Text() const { return fText; }

private:
	char* fText;
	float fBaselineOffset;
};

#endif // _LIST_ITEM_H
