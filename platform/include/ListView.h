// Interface kit: BListView, a scrollable list of rows of which one can be
// selected. Only the rows inside the visible part are drawn, so the list
// stays quick however long it grows.
#ifndef _LIST_VIEW_H
#define _LIST_VIEW_H

#include <List.h>
#include <ListItem.h>
#include <View.h>

#include <deque>

enum list_view_type { B_SINGLE_SELECTION_LIST, B_MULTIPLE_SELECTION_LIST };

class BListView : public BView {
public:
	BListView(BRect frame, const char* name, list_view_type type = B_SINGLE_SELECTION_LIST,
	          uint32 resizingMode = B_FOLLOW_LEFT | B_FOLLOW_TOP,
	          uint32 flags = B_WILL_DRAW | B_FRAME_EVENTS | B_NAVIGABLE);
	// Does not delete the items: their owner does.
	~BListView() override;

	// Adding and removing rows. Items are not copied; the list holds
	// pointers. Rows after an insertion move down, and the selection stays
	// with its row.
	virtual bool AddItem(BListItem* item);
	virtual bool AddItem(BListItem* item, int32 index);
	virtual bool AddList(BList* newItems);
	virtual bool AddList(BList* newItems, int32 index);
	virtual BListItem* RemoveItem(int32 index);
	virtual bool RemoveItem(BListItem* item);
	virtual bool RemoveItems(int32 index, int32 count);
	void MakeEmpty();

	BListItem* ItemAt(int32 index) const;
	BListItem* FirstItem() const;
	BListItem* LastItem() const;
	int32 IndexOf(const BListItem* item) const;
	// The row under a point in the list's coordinates, or -1.
	int32 IndexOf(BPoint point) const;
	bool HasItem(const BListItem* item) const;
	int32 CountItems() const;
	bool IsEmpty() const;
	// The row's rectangle in the list's coordinates.
	BRect ItemFrame(int32 index) const;

	// Selection. Every change of it calls SelectionChanged.
	void Select(int32 index, bool extend = false);
	void Deselect(int32 index);
	void DeselectAll();
	bool IsItemSelected(int32 index) const;
	// The index-th selected row (0: the first), or -1.
	int32 CurrentSelection(int32 index = 0) const;
	virtual void SelectionChanged();
	list_view_type ListType() const { return fListType; }

	void ScrollToSelection();

	void Draw(BRect updateRect) override;
	void MouseDown(BPoint where) override;
	void KeyDown(const char* bytes, int32 numBytes) override;
	void AttachedToWindow() override;
	void FrameResized(float newWidth, float newHeight) override;
	void TargetedByScrollView(BScrollView* scrollView) override;
	void SetFont(const BFont* font) override;

private:
	void _ItemsInserted(int32 index, int32 count);
	void _ItemsRemoved(int32 index, int32 count);
	void _UpdateItemHeights();
	void _UpdateScrollBar();
	void _SetSelection(int32 index);
	float _ItemTop(int32 index) const;
	float _TotalHeight() const;

	// A deque: rows arrive on top, and inserting there costs the same
	// however long the list is.
	std::deque<BListItem*> fItems;
	list_view_type fListType;
	int32 fSelected;
	// Rows all of one height are placed by arithmetic; mixed heights fall
	// back to summing.
	float fRowHeight;
	int32 fOddHeightCount;
};

#endif // _LIST_VIEW_H
