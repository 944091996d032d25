// Interface kit: BScrollBar. The bar is an arrow button at each end with
// the track between them; the thumb's length shows the visible share of
// the target, its place the scroll position.
#include <ScrollBar.h>

#include <InterfaceDefs.h>

#include <algorithm>

static const float kMinThumbLength = 16;

BScrollBar::BScrollBar(BRect frame, const char* name, BView* target, float min, float max,
                       orientation direction)
    : BView(frame, name,
            direction == B_VERTICAL ? B_FOLLOW_RIGHT | B_FOLLOW_TOP_BOTTOM
                                    : B_FOLLOW_LEFT_RIGHT | B_FOLLOW_BOTTOM,
            B_WILL_DRAW | B_FRAME_EVENTS),
      fTarget(NULL), fOrientation(direction), fMin(min), fMax(std::max(min, max)), fValue(min),
      fProportion(0), fSmallStep(1), fLargeStep(10), fDragging(false), fDragOffset(0)
{
	SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	SetTarget(target);
}

BScrollBar::~BScrollBar()
{
	SetTarget(NULL);
}

void BScrollBar::SetTarget(BView* target)
{
	if (fTarget != NULL) {
		BScrollBar*& slot = fOrientation == B_VERTICAL ? fTarget->fVerticalScrollBar
		                                               : fTarget->fHorizontalScrollBar;
		if (slot == this)
			slot = NULL;
	}
	fTarget = target;
	if (target != NULL) {
		if (fOrientation == B_VERTICAL)
			target->fVerticalScrollBar = this;
		else
			target->fHorizontalScrollBar = this;
	}
}

void BScrollBar::SetValue(float value)
{
	value = std::clamp(value, fMin, fMax);
	if (value == fValue)
		return;
	fValue = value;
	Invalidate();
	ValueChanged(value);
}

void BScrollBar::ValueChanged(float newValue)
{
	if (fTarget == NULL)
		return;
	BPoint origin = fTarget->Bounds().LeftTop();
	if (fOrientation == B_VERTICAL)
		origin.y = newValue;
	else
		origin.x = newValue;
	fTarget->ScrollTo(origin);
}

void BScrollBar::_TargetScrolled(float value)
{
	if (value == fValue)
		return;
	fValue = value;
	Invalidate();
}

void BScrollBar::SetRange(float min, float max)
{
	fMin = min;
	fMax = std::max(min, max);
	Invalidate();
	if (fValue < fMin || fValue > fMax)
		SetValue(fValue);
}

void BScrollBar::GetRange(float* min, float* max) const
{
	if (min != NULL)
		*min = fMin;
	if (max != NULL)
		*max = fMax;
}

void BScrollBar::SetProportion(float proportion)
{
	fProportion = std::clamp(proportion, 0.0f, 1.0f);
	Invalidate();
}

void BScrollBar::SetSteps(float smallStep, float largeStep)
{
	fSmallStep = smallStep;
	fLargeStep = largeStep;
}

void BScrollBar::GetSteps(float* smallStep, float* largeStep) const
{
	if (smallStep != NULL)
		*smallStep = fSmallStep;
	if (largeStep != NULL)
		*largeStep = fLargeStep;
}

// #pragma mark - Geometry

// The arrow buttons are squares as wide as the bar is thick.
static float ButtonLength(BRect bounds, orientation direction)
{
	return (direction == B_VERTICAL ? bounds.Width() : bounds.Height()) + 1;
}

float BScrollBar::_TrackLength() const
{
	BRect bounds = Bounds();
	float length = (fOrientation == B_VERTICAL ? bounds.Height() : bounds.Width()) + 1;
	return std::max(0.0f, length - 2 * ButtonLength(bounds, fOrientation));
}

BRect BScrollBar::ThumbFrame() const
{
	BRect bounds = Bounds();
	float track = _TrackLength();
	if (fMax <= fMin || track <= 0)
		return BRect();
	float length = std::clamp(track * fProportion, std::min(kMinThumbLength, track), track);
	float start =
	        ButtonLength(bounds, fOrientation) + (track - length) * (fValue - fMin) / (fMax - fMin);
	if (fOrientation == B_VERTICAL)
		return BRect(bounds.left, bounds.top + start, bounds.right,
		             bounds.top + start + length - 1);
	return BRect(bounds.left + start, bounds.top, bounds.left + start + length - 1, bounds.bottom);
}

float BScrollBar::_Position(BPoint where) const
{
	return fOrientation == B_VERTICAL ? where.y - Bounds().top : where.x - Bounds().left;
}

// #pragma mark - Drawing and input

void BScrollBar::Draw(BRect)
{
	BRect bounds = Bounds();
	rgb_color panel = ui_color(B_PANEL_BACKGROUND_COLOR);
	rgb_color dark = tint_color(panel, B_DARKEN_3_TINT);
	float button = ButtonLength(bounds, fOrientation);
	bool enabled = fMax > fMin;

	FillRect(bounds, tint_color(panel, B_DARKEN_1_TINT));
	SetHighColor(dark);
	StrokeRect(bounds);

	BRect first, second;
	if (fOrientation == B_VERTICAL) {
		first = BRect(bounds.left, bounds.top, bounds.right, bounds.top + button - 1);
		second = BRect(bounds.left, bounds.bottom - button + 1, bounds.right, bounds.bottom);
	} else {
		first = BRect(bounds.left, bounds.top, bounds.left + button - 1, bounds.bottom);
		second = BRect(bounds.right - button + 1, bounds.top, bounds.right, bounds.bottom);
	}
	for (BRect box : {first, second}) {
		FillRect(box, panel);
		SetHighColor(dark);
		StrokeRect(box);
	}
	SetHighColor(enabled ? make_color(0, 0, 0) : dark);
	BRect a = first.InsetByCopy(4, 4);
	BRect b = second.InsetByCopy(4, 4);
	if (fOrientation == B_VERTICAL) {
		FillTriangle(BPoint((a.left + a.right) / 2, a.top), a.LeftBottom(), a.RightBottom());
		FillTriangle(b.LeftTop(), b.RightTop(), BPoint((b.left + b.right) / 2, b.bottom));
	} else {
		FillTriangle(BPoint(a.left, (a.top + a.bottom) / 2), a.RightTop(), a.RightBottom());
		FillTriangle(b.LeftTop(), b.LeftBottom(), BPoint(b.right, (b.top + b.bottom) / 2));
	}

	BRect thumb = ThumbFrame();
	if (enabled && thumb.IsValid()) {
		FillRect(thumb, ui_color(B_SCROLL_BAR_THUMB_COLOR));
		SetHighColor(dark);
		StrokeRect(thumb);
	}
}

void BScrollBar::MouseDown(BPoint where)
{
	if (fMax <= fMin)
		return;
	float position = _Position(where);
	float button = ButtonLength(Bounds(), fOrientation);
	float length = (fOrientation == B_VERTICAL ? Bounds().Height() : Bounds().Width()) + 1;
	BRect thumb = ThumbFrame();
	float thumbStart =
	        fOrientation == B_VERTICAL ? thumb.top - Bounds().top : thumb.left - Bounds().left;
	float thumbEnd =
	        fOrientation == B_VERTICAL ? thumb.bottom - Bounds().top : thumb.right - Bounds().left;

	if (position < button)
		SetValue(fValue - fSmallStep);
	else if (position >= length - button)
		SetValue(fValue + fSmallStep);
	else if (position < thumbStart)
		SetValue(fValue - fLargeStep);
	else if (position > thumbEnd)
		SetValue(fValue + fLargeStep);
	else {
		fDragging = true;
		fDragOffset = position - thumbStart;
	}
}

void BScrollBar::MouseMoved(BPoint where, uint32, const BMessage*)
{
	if (!fDragging)
		return;
	BRect thumb = ThumbFrame();
	float thumbLength = fOrientation == B_VERTICAL ? thumb.Height() + 1 : thumb.Width() + 1;
	float room = _TrackLength() - thumbLength;
	if (room <= 0)
		return;
	float start = _Position(where) - fDragOffset - ButtonLength(Bounds(), fOrientation);
	SetValue(fMin + (fMax - fMin) * start / room);
}

void BScrollBar::MouseUp(BPoint)
{
	fDragging = false;
}
