// Interface kit: BScrollView, a border around a target view with its
// scroll bars.
#include <ScrollView.h>

#include <InterfaceDefs.h>

BScrollView::BScrollView(const char* name, BView* target, uint32 resizingMode, uint32 flags,
                         bool horizontal, bool vertical, border_style border)
    : BView(_ComputeFrame(target != NULL ? target->Frame() : BRect(0, 0, 0, 0), horizontal,
                          vertical, border),
            name, resizingMode, flags | B_WILL_DRAW),
      fTarget(target), fHorizontal(NULL), fVertical(NULL), fBorder(border)
{
	SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	if (target == NULL)
		return;

	float inset = _BorderSize(border);
	BRect frame = target->Frame().OffsetToCopy(inset, inset);
	target->MoveTo(frame.LeftTop());
	AddChild(target);

	if (vertical) {
		BRect barFrame(frame.right + 1, frame.top, frame.right + B_V_SCROLL_BAR_WIDTH,
		               frame.bottom);
		fVertical = new BScrollBar(barFrame, "_VSB_", target, 0, 0, B_VERTICAL);
		AddChild(fVertical);
	}
	if (horizontal) {
		BRect barFrame(frame.left, frame.bottom + 1, frame.right,
		               frame.bottom + B_H_SCROLL_BAR_HEIGHT);
		fHorizontal = new BScrollBar(barFrame, "_HSB_", target, 0, 0, B_HORIZONTAL);
		AddChild(fHorizontal);
	}
	target->TargetedByScrollView(this);
}

BScrollView::~BScrollView() {}

float BScrollView::_BorderSize(border_style border)
{
	switch (border) {
	case B_FANCY_BORDER:
		return 2;
	case B_PLAIN_BORDER:
		return 1;
	default:
		return 0;
	}
}

BRect BScrollView::_ComputeFrame(BRect targetFrame, bool horizontal, bool vertical,
                                 border_style border)
{
	BRect frame = targetFrame;
	if (vertical)
		frame.right += B_V_SCROLL_BAR_WIDTH;
	if (horizontal)
		frame.bottom += B_H_SCROLL_BAR_HEIGHT;
	float inset = _BorderSize(border);
	frame.InsetBy(-inset, -inset);
	return frame;
}

BScrollBar* BScrollView::ScrollBar(orientation direction) const
{
	return direction == B_VERTICAL ? fVertical : fHorizontal;
}

void BScrollView::Draw(BRect)
{
	BRect bounds = Bounds();
	rgb_color panel = ui_color(B_PANEL_BACKGROUND_COLOR);
	if (fBorder == B_PLAIN_BORDER) {
		SetHighColor(tint_color(panel, B_DARKEN_2_TINT));
		StrokeRect(bounds);
	} else if (fBorder == B_FANCY_BORDER) {
		// A sunken frame: shadow above and left, light below and right.
		SetHighColor(tint_color(panel, B_DARKEN_1_TINT));
		StrokeLine(bounds.LeftBottom(), bounds.LeftTop());
		StrokeLine(bounds.LeftTop(), bounds.RightTop());
		SetHighColor(tint_color(panel, B_LIGHTEN_2_TINT));
		StrokeLine(bounds.RightTop(), bounds.RightBottom());
		StrokeLine(bounds.RightBottom(), bounds.LeftBottom());
		bounds.InsetBy(1, 1);
		SetHighColor(tint_color(panel, B_DARKEN_3_TINT));
		StrokeRect(bounds);
	}
}
