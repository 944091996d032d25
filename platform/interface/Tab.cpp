// Interface kit: BTab, one tab of a BTabView.
#include <TabView.h>

#include <InterfaceDefs.h>

#include <stdlib.h>
#include <string.h>

BTab::BTab(BView* contents)
    : fTabView(NULL), fLabel(NULL), fView(contents), fSelected(false), fEnabled(true)
{
	if (contents != NULL && contents->Name() != NULL)
		fLabel = strdup(contents->Name());
}

BTab::~BTab()
{
	if (fView != NULL) {
		fView->RemoveSelf();
		delete fView;
	}
	free(fLabel);
}

const char* BTab::Label() const
{
	return fLabel;
}

void BTab::SetLabel(const char* label)
{
	char* copy = label != NULL ? strdup(label) : NULL;
	free(fLabel);
	fLabel = copy;
	if (fTabView != NULL)
		fTabView->Invalidate();
}

void BTab::Select(BView* owner)
{
	if (owner != NULL && fView != NULL && fView->Parent() == NULL && fView->Window() == NULL)
		owner->AddChild(fView);
	fSelected = true;
}

void BTab::Deselect()
{
	if (fView != NULL)
		fView->RemoveSelf();
	fSelected = false;
}

void BTab::SetView(BView* contents)
{
	if (contents == fView)
		return;
	BView* container = fView != NULL && fSelected ? fView->Parent() : NULL;
	if (fView != NULL) {
		fView->RemoveSelf();
		delete fView;
	}
	fView = contents;
	if (fSelected && container != NULL && contents != NULL)
		container->AddChild(contents);
	if (fTabView != NULL)
		fTabView->Invalidate();
}

void BTab::DrawLabel(BView* owner, BRect frame)
{
	if (fLabel == NULL)
		return;
	font_height height;
	owner->GetFontHeight(&height);
	float width = owner->StringWidth(fLabel);
	float x = frame.left + (frame.Width() + 1 - width) / 2;
	float y = frame.top + (frame.Height() + 1 + height.ascent - height.descent) / 2;
	owner->SetHighColor(ui_color(B_PANEL_TEXT_COLOR));
	if (!fEnabled)
		owner->SetHighColor(tint_color(ui_color(B_PANEL_TEXT_COLOR), B_LIGHTEN_1_TINT));
	owner->DrawString(fLabel, BPoint(x, y));
}

void BTab::DrawTab(BView* owner, BRect frame, tab_position position, bool)
{
	rgb_color panel = owner->ViewColor();
	if (panel == B_TRANSPARENT_COLOR)
		panel = ui_color(B_PANEL_BACKGROUND_COLOR);
	bool front = position == B_TAB_FRONT;
	// The front tab is lighter and open towards its content.
	owner->FillRect(frame, front ? tint_color(panel, B_LIGHTEN_1_TINT) : panel);
	owner->SetHighColor(tint_color(panel, B_LIGHTEN_2_TINT));
	owner->StrokeLine(frame.LeftBottom(), frame.LeftTop());
	owner->StrokeLine(frame.LeftTop(), frame.RightTop());
	owner->SetHighColor(tint_color(panel, B_DARKEN_3_TINT));
	owner->StrokeLine(frame.RightTop(), frame.RightBottom());
	if (!front)
		owner->StrokeLine(frame.LeftBottom(), frame.RightBottom());
	DrawLabel(owner, frame);
}
