// Interface kit: BListView. Rows are kept in a vector of pointers; while
// every row has the same height (the usual case: text rows of one font)
// a row's place is index times height, so drawing, hit testing and
// scrolling cost the same for ten rows as for a hundred thousand.
#include <ListView.h>

#include <InterfaceDefs.h>
#include <Message.h>
#include <ScrollBar.h>
#include <Window.h>

#include <algorithm>
#include <math.h>
#include <vector>

BListView::BListView(BRect frame, const char* name, list_view_type type, uint32 resizingMode,
                     uint32 flags)
    : BView(frame, name, resizingMode, flags), fListType(type), fSelected(-1), fRowHeight(0),
      fOddHeightCount(0)
{
	SetViewColor(ui_color(B_LIST_BACKGROUND_COLOR));
	SetLowColor(ui_color(B_LIST_BACKGROUND_COLOR));
}

BListView::~BListView() {}

// #pragma mark - Rows

bool BListView::AddItem(BListItem* item)
{
	return AddItem(item, (int32)fItems.size());
}

bool BListView::AddItem(BListItem* item, int32 index)
{
	if (item == NULL || index < 0 || index > (int32)fItems.size())
		return false;
	fItems.insert(fItems.begin() + index, item);
	_ItemsInserted(index, 1);
	return true;
}

bool BListView::AddList(BList* newItems)
{
	return AddList(newItems, (int32)fItems.size());
}

bool BListView::AddList(BList* newItems, int32 index)
{
	if (newItems == NULL || index < 0 || index > (int32)fItems.size())
		return false;
	int32 count = newItems->CountItems();
	for (int32 i = 0; i < count; i++) {
		if (newItems->ItemAt(i) == NULL)
			return false;
	}
	std::vector<BListItem*> added;
	added.reserve(count);
	for (int32 i = 0; i < count; i++)
		added.push_back((BListItem*)newItems->ItemAt(i));
	fItems.insert(fItems.begin() + index, added.begin(), added.end());
	_ItemsInserted(index, count);
	return true;
}

BListItem* BListView::RemoveItem(int32 index)
{
	if (index < 0 || index >= (int32)fItems.size())
		return NULL;
	BListItem* item = fItems[index];
	_ItemsRemoved(index, 1);
	return item;
}

bool BListView::RemoveItem(BListItem* item)
{
	int32 index = IndexOf(item);
	return index >= 0 && RemoveItem(index) != NULL;
}

bool BListView::RemoveItems(int32 index, int32 count)
{
	if (index < 0 || count < 0 || index + count > (int32)fItems.size())
		return false;
	if (count > 0)
		_ItemsRemoved(index, count);
	return true;
}

void BListView::MakeEmpty()
{
	RemoveItems(0, (int32)fItems.size());
}

void BListView::_ItemsInserted(int32 index, int32 count)
{
	BFont font;
	GetFont(&font);
	for (int32 i = index; i < index + count; i++) {
		BListItem* item = fItems[i];
		item->Update(this, &font);
		if (fItems.size() == (size_t)count && i == index && fOddHeightCount == 0)
			fRowHeight = item->Height();
		else if (item->Height() != fRowHeight)
			fOddHeightCount++;
	}
	// The selection stays with its row.
	if (fSelected >= index)
		fSelected += count;
	// Items that arrive selected are taken as they are only in lists that
	// allow several; a single selection has one row at most.
	for (int32 i = index; i < index + count; i++) {
		if (fItems[i]->IsSelected()) {
			if (fListType == B_SINGLE_SELECTION_LIST)
				fItems[i]->Deselect();
			else if (fSelected < 0 || i < fSelected)
				fSelected = i;
		}
	}
	_UpdateScrollBar();
	Invalidate();
}

void BListView::_ItemsRemoved(int32 index, int32 count)
{
	bool selectionChanged = false;
	for (int32 i = index; i < index + count; i++) {
		BListItem* item = fItems[i];
		if (item->Height() != fRowHeight && fOddHeightCount > 0)
			fOddHeightCount--;
		if (item->IsSelected()) {
			item->Deselect();
			selectionChanged = true;
		}
	}
	fItems.erase(fItems.begin() + index, fItems.begin() + index + count);
	if (fItems.empty())
		fOddHeightCount = 0;

	if (fSelected >= index + count) {
		fSelected -= count;
	} else if (fSelected >= index) {
		fSelected = -1;
		if (fListType == B_MULTIPLE_SELECTION_LIST) {
			for (int32 i = 0; i < (int32)fItems.size(); i++) {
				if (fItems[i]->IsSelected()) {
					fSelected = i;
					break;
				}
			}
		}
	}

	// Keep the scroll position inside the shorter list.
	_UpdateScrollBar();
	float overflow = _TotalHeight() - (Bounds().Height() + 1);
	if (Bounds().top > std::max(0.0f, overflow))
		ScrollTo(Bounds().left, std::max(0.0f, overflow));
	Invalidate();
	if (selectionChanged)
		SelectionChanged();
}

BListItem* BListView::ItemAt(int32 index) const
{
	if (index < 0 || index >= (int32)fItems.size())
		return NULL;
	return fItems[index];
}

BListItem* BListView::FirstItem() const
{
	return fItems.empty() ? NULL : fItems.front();
}

BListItem* BListView::LastItem() const
{
	return fItems.empty() ? NULL : fItems.back();
}

int32 BListView::IndexOf(const BListItem* item) const
{
	auto found = std::find(fItems.begin(), fItems.end(), item);
	return found == fItems.end() ? -1 : (int32)(found - fItems.begin());
}

int32 BListView::IndexOf(BPoint point) const
{
	if (point.y < 0 || fItems.empty())
		return -1;
	if (fOddHeightCount == 0) {
		if (fRowHeight <= 0)
			return -1;
		int32 index = (int32)floorf(point.y / fRowHeight);
		return index < (int32)fItems.size() ? index : -1;
	}
	float top = 0;
	for (int32 i = 0; i < (int32)fItems.size(); i++) {
		top += fItems[i]->Height();
		if (point.y < top)
			return i;
	}
	return -1;
}

bool BListView::HasItem(const BListItem* item) const
{
	return IndexOf(item) >= 0;
}

int32 BListView::CountItems() const
{
	return (int32)fItems.size();
}

bool BListView::IsEmpty() const
{
	return fItems.empty();
}

float BListView::_ItemTop(int32 index) const
{
	if (fOddHeightCount == 0)
		return index * fRowHeight;
	float top = 0;
	for (int32 i = 0; i < index; i++)
		top += fItems[i]->Height();
	return top;
}

float BListView::_TotalHeight() const
{
	return _ItemTop((int32)fItems.size());
}

BRect BListView::ItemFrame(int32 index) const
{
	if (index < 0 || index >= (int32)fItems.size())
		return BRect();
	float top = _ItemTop(index);
	return BRect(0, top, Bounds().Width(), top + fItems[index]->Height() - 1);
}

// #pragma mark - Selection

void BListView::Select(int32 index, bool extend)
{
	if (index < 0 || index >= (int32)fItems.size())
		return;
	if (fListType == B_MULTIPLE_SELECTION_LIST && extend) {
		if (fItems[index]->IsSelected())
			return;
		fItems[index]->Select();
		if (fSelected < 0 || index < fSelected)
			fSelected = index;
		Invalidate();
		SelectionChanged();
		return;
	}
	// Replace the selection: nothing changes when the row is already the
	// only selected one.
	bool onlyThis = fItems[index]->IsSelected();
	if (onlyThis && fListType == B_MULTIPLE_SELECTION_LIST) {
		for (int32 i = 0; i < (int32)fItems.size() && onlyThis; i++)
			onlyThis = i == index || !fItems[i]->IsSelected();
	}
	if (onlyThis)
		return;
	_SetSelection(index);
	Invalidate();
	SelectionChanged();
}

void BListView::_SetSelection(int32 index)
{
	if (fListType == B_SINGLE_SELECTION_LIST) {
		if (fSelected >= 0)
			fItems[fSelected]->Deselect();
	} else {
		for (BListItem* item : fItems)
			item->Deselect();
	}
	fSelected = index;
	if (index >= 0)
		fItems[index]->Select();
}

void BListView::Deselect(int32 index)
{
	if (index < 0 || index >= (int32)fItems.size() || !fItems[index]->IsSelected())
		return;
	fItems[index]->Deselect();
	if (index == fSelected) {
		fSelected = -1;
		if (fListType == B_MULTIPLE_SELECTION_LIST) {
			for (int32 i = index + 1; i < (int32)fItems.size(); i++) {
				if (fItems[i]->IsSelected()) {
					fSelected = i;
					break;
				}
			}
		}
	}
	Invalidate();
	SelectionChanged();
}

void BListView::DeselectAll()
{
	if (fSelected < 0)
		return;
	_SetSelection(-1);
	Invalidate();
	SelectionChanged();
}

bool BListView::IsItemSelected(int32 index) const
{
	BListItem* item = ItemAt(index);
	return item != NULL && item->IsSelected();
}

int32 BListView::CurrentSelection(int32 index) const
{
	if (fSelected < 0 || index < 0)
		return -1;
	if (index == 0)
		return fSelected;
	if (fListType == B_SINGLE_SELECTION_LIST)
		return -1;
	for (int32 i = fSelected + 1; i < (int32)fItems.size(); i++) {
		if (fItems[i]->IsSelected() && --index == 0)
			return i;
	}
	return -1;
}

void BListView::SelectionChanged() {}

void BListView::ScrollToSelection()
{
	BRect frame = ItemFrame(fSelected);
	if (!frame.IsValid())
		return;
	BRect bounds = Bounds();
	if (frame.top < bounds.top)
		ScrollTo(bounds.left, frame.top);
	else if (frame.bottom > bounds.bottom)
		ScrollTo(bounds.left, std::max(0.0f, frame.bottom - bounds.Height()));
}

// #pragma mark - Drawing and input

void BListView::Draw(BRect updateRect)
{
	if (fItems.empty())
		return;
	// Only the rows that meet the update rectangle.
	int32 first = IndexOf(BPoint(0, std::max(0.0f, updateRect.top)));
	if (first < 0)
		return;
	float top = _ItemTop(first);
	for (int32 i = first; i < (int32)fItems.size() && top <= updateRect.bottom; i++) {
		BListItem* item = fItems[i];
		BRect frame(0, top, Bounds().Width(), top + item->Height() - 1);
		frame.left = Bounds().left;
		frame.right = Bounds().right;
		item->DrawItem(this, frame, true);
		top += item->Height();
	}
}

void BListView::MouseDown(BPoint where)
{
	MakeFocus(true);
	int32 index = IndexOf(where);
	if (index < 0) {
		// A click below the rows clears the selection.
		DeselectAll();
		return;
	}
	int32 modifiers = 0;
	if (Window() != NULL && Window()->CurrentMessage() != NULL)
		Window()->CurrentMessage()->FindInt32("modifiers", &modifiers);
	bool extend = fListType == B_MULTIPLE_SELECTION_LIST &&
	              (modifiers & (B_SHIFT_KEY | B_COMMAND_KEY)) != 0;
	if (extend && fItems[index]->IsSelected())
		Deselect(index);
	else
		Select(index, extend);
}

void BListView::KeyDown(const char* bytes, int32 numBytes)
{
	if (numBytes < 1) {
		BView::KeyDown(bytes, numBytes);
		return;
	}
	int32 count = (int32)fItems.size();
	int32 current = fSelected;
	int32 page = fRowHeight > 0 ? std::max(1, (int32)(Bounds().Height() / fRowHeight)) : 1;
	int32 next;
	switch (bytes[0]) {
	case B_UP_ARROW:
		next = current < 0 ? 0 : current - 1;
		break;
	case B_DOWN_ARROW:
		next = current < 0 ? 0 : current + 1;
		break;
	case B_HOME:
		next = 0;
		break;
	case B_END:
		next = count - 1;
		break;
	case B_PAGE_UP:
		next = current < 0 ? 0 : current - page;
		break;
	case B_PAGE_DOWN:
		next = current < 0 ? 0 : current + page;
		break;
	default:
		BView::KeyDown(bytes, numBytes);
		return;
	}
	if (count == 0)
		return;
	next = std::clamp(next, (int32)0, count - 1);
	Select(next);
	ScrollToSelection();
}

void BListView::AttachedToWindow()
{
	_UpdateScrollBar();
}

void BListView::FrameResized(float, float)
{
	_UpdateScrollBar();
}

void BListView::TargetedByScrollView(BScrollView*)
{
	_UpdateScrollBar();
}

void BListView::SetFont(const BFont* font)
{
	BView::SetFont(font);
	_UpdateItemHeights();
}

void BListView::_UpdateItemHeights()
{
	BFont font;
	GetFont(&font);
	fOddHeightCount = 0;
	for (size_t i = 0; i < fItems.size(); i++) {
		fItems[i]->Update(this, &font);
		if (i == 0)
			fRowHeight = fItems[i]->Height();
		else if (fItems[i]->Height() != fRowHeight)
			fOddHeightCount++;
	}
	_UpdateScrollBar();
	Invalidate();
}

void BListView::_UpdateScrollBar()
{
	BScrollBar* bar = ScrollBar(B_VERTICAL);
	if (bar == NULL)
		return;
	float visible = Bounds().Height() + 1;
	float total = _TotalHeight();
	float row = fRowHeight > 0 ? fRowHeight : 16;
	bar->SetSteps(row, std::max(row, visible - row));
	bar->SetProportion(total > 0 ? std::min(1.0f, visible / total) : 1.0f);
	bar->SetRange(0, std::max(0.0f, total - visible));
}
