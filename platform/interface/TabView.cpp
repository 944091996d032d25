// Interface kit: BTabView. The tab row runs along the top; below it the
// container holds the selected tab's view, so that a tab's view is placed
// in the container's coordinates.
#include <TabView.h>

#include <InterfaceDefs.h>

#include <algorithm>
#include <math.h>

static const float kMinTabWidth = 100;
static const float kLabelPadding = 20;
static const float kRowInset = 6;

BTabView::BTabView(BRect frame, const char* name, button_width width, uint32 resizingMode,
                   uint32 flags)
    : BView(frame, name, resizingMode, flags), fContainer(NULL), fTabWidth(width), fTabHeight(0),
      fSelection(-1)
{
	SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	font_height height;
	GetFontHeight(&height);
	fTabHeight = ceilf(height.ascent + height.descent + height.leading) + 8;

	BRect bounds = Bounds();
	fContainer = new BView(BRect(bounds.left, bounds.top + fTabHeight, bounds.right, bounds.bottom),
	                       "view container", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
	// The tab view's own colour and frame show through around the content.
	fContainer->SetViewColor(B_TRANSPARENT_COLOR);
	AddChild(fContainer);
}

BTabView::~BTabView()
{
	for (BTab* tab : fTabs) {
		tab->fTabView = NULL;
		delete tab;
	}
}

void BTabView::AddTab(BView* target, BTab* tab)
{
	if (tab == NULL)
		tab = new BTab(target);
	else if (target != NULL)
		tab->SetView(target);
	tab->fTabView = this;
	fTabs.push_back(tab);
	if (fSelection < 0 && fTabs.size() == 1)
		Select(0);
	Invalidate();
}

BTab* BTabView::RemoveTab(int32 index)
{
	if (index < 0 || index >= (int32)fTabs.size())
		return NULL;
	BTab* tab = fTabs[index];
	if (tab->IsSelected())
		tab->Deselect();
	fTabs.erase(fTabs.begin() + index);
	tab->fTabView = NULL;
	if (index == fSelection) {
		fSelection = -1;
		if (!fTabs.empty())
			Select(std::max<int32>(0, index - 1));
	} else if (index < fSelection) {
		fSelection--;
	}
	Invalidate();
	return tab;
}

BTab* BTabView::TabAt(int32 index) const
{
	if (index < 0 || index >= (int32)fTabs.size())
		return NULL;
	return fTabs[index];
}

int32 BTabView::CountTabs() const
{
	return (int32)fTabs.size();
}

int32 BTabView::IndexOf(BTab* tab) const
{
	auto found = std::find(fTabs.begin(), fTabs.end(), tab);
	return found == fTabs.end() ? -1 : (int32)(found - fTabs.begin());
}

void BTabView::Select(int32 index)
{
	BTab* tab = TabAt(index);
	if (tab == NULL)
		return;
	if (index != fSelection) {
		if (BTab* previous = TabAt(fSelection))
			previous->Deselect();
	}
	fSelection = index;
	tab->Select(fContainer);
	Invalidate();
}

BView* BTabView::ViewForTab(int32 index) const
{
	BTab* tab = TabAt(index);
	return tab != NULL ? tab->View() : NULL;
}

void BTabView::SetTabWidth(button_width width)
{
	fTabWidth = width;
	Invalidate();
}

void BTabView::SetTabHeight(float height)
{
	if (height <= 0 || height == fTabHeight)
		return;
	float delta = height - fTabHeight;
	fTabHeight = height;
	BRect frame = fContainer->Frame();
	fContainer->MoveTo(frame.left, frame.top + delta);
	fContainer->ResizeBy(0, -delta);
	Invalidate();
}

BRect BTabView::TabFrame(int32 index) const
{
	if (index < 0 || index >= (int32)fTabs.size())
		return BRect();
	auto labelWidth = [this](int32 i) {
		const char* label = fTabs[i]->Label();
		return (label != NULL ? StringWidth(label) : 0) + kLabelPadding;
	};
	float widest = 0;
	if (fTabWidth != B_WIDTH_FROM_LABEL) {
		for (int32 i = 0; i < (int32)fTabs.size(); i++)
			widest = std::max(widest, labelWidth(i));
	}
	float left = Bounds().left + kRowInset;
	for (int32 i = 0; i <= index; i++) {
		float width;
		if (fTabWidth == B_WIDTH_FROM_LABEL)
			width = labelWidth(i);
		else if (fTabWidth == B_WIDTH_FROM_WIDEST)
			width = widest;
		else
			width = std::max(kMinTabWidth, widest);
		width = ceilf(width);
		if (i == index)
			return BRect(left, Bounds().top, left + width - 1, Bounds().top + fTabHeight - 1);
		left += width;
	}
	return BRect();
}

void BTabView::Draw(BRect)
{
	BRect bounds = Bounds();
	rgb_color panel = ViewColor();
	if (panel == B_TRANSPARENT_COLOR)
		panel = ui_color(B_PANEL_BACKGROUND_COLOR);

	// The frame around the content area, open under the front tab.
	BRect box(bounds.left, bounds.top + fTabHeight - 1, bounds.right, bounds.bottom);
	SetHighColor(tint_color(panel, B_LIGHTEN_2_TINT));
	StrokeLine(box.LeftTop(), box.RightTop());
	StrokeLine(box.LeftTop(), box.LeftBottom());
	SetHighColor(tint_color(panel, B_DARKEN_3_TINT));
	StrokeLine(box.RightTop(), box.RightBottom());
	StrokeLine(box.LeftBottom(), box.RightBottom());

	for (int32 i = 0; i < (int32)fTabs.size(); i++) {
		if (i != fSelection)
			fTabs[i]->DrawTab(this, TabFrame(i), i == 0 ? B_TAB_FIRST : B_TAB_ANY);
	}
	if (BTab* front = TabAt(fSelection))
		front->DrawTab(this, TabFrame(fSelection), B_TAB_FRONT);
}

void BTabView::MouseDown(BPoint where)
{
	for (int32 i = 0; i < (int32)fTabs.size(); i++) {
		if (TabFrame(i).Contains(where) && fTabs[i]->IsEnabled()) {
			Select(i);
			return;
		}
	}
}

void BTabView::KeyDown(const char* bytes, int32 numBytes)
{
	if (numBytes > 0 && !fTabs.empty()) {
		int32 count = (int32)fTabs.size();
		if (bytes[0] == B_LEFT_ARROW) {
			Select((std::max<int32>(fSelection, 0) + count - 1) % count);
			return;
		}
		if (bytes[0] == B_RIGHT_ARROW) {
			Select((fSelection + 1) % count);
			return;
		}
	}
	BView::KeyDown(bytes, numBytes);
}
