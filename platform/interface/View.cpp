// Interface kit: BView, one rectangle of a window's view tree.
#include <View.h>

#include <Looper.h>
#include <ScrollBar.h>
#include <Window.h>

#include "FontCache.h"
#include "ViewPrivate.h"
#include "WindowPrivate.h"

#include <AppDefs.h>

#include <algorithm>
#include <stdio.h>
#include <string.h>

using BPrivate::FontCache;

BView::BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags)
    : BHandler(name), fFrame(frame), fOrigin(0, 0), fResizingMode(resizingMode), fFlags(flags),
      fViewColor(make_color(255, 255, 255)), fHighColor(make_color(0, 0, 0)),
      fLowColor(make_color(255, 255, 255)), fFont(*be_plain_font), fHideLevel(0), fOwner(NULL),
      fParent(NULL), fFirstChild(NULL), fNextSibling(NULL), fPreviousSibling(NULL),
      fVerticalScrollBar(NULL), fHorizontalScrollBar(NULL), fDrawContext(NULL)
{
}

BView::~BView()
{
	if (fParent != NULL)
		fParent->RemoveChild(this);
	while (BView* child = fFirstChild) {
		RemoveChild(child);
		delete child;
	}
	// Scroll bars that still point at this view forget it.
	if (fVerticalScrollBar != NULL && fVerticalScrollBar->fTarget == this)
		fVerticalScrollBar->fTarget = NULL;
	if (fHorizontalScrollBar != NULL && fHorizontalScrollBar->fTarget == this)
		fHorizontalScrollBar->fTarget = NULL;
}

void BView::AttachedToWindow() {}
void BView::DetachedFromWindow() {}
void BView::Draw(BRect) {}
void BView::FrameMoved(BPoint) {}
void BView::FrameResized(float, float) {}
void BView::MouseDown(BPoint) {}
void BView::MouseUp(BPoint) {}
void BView::MouseMoved(BPoint, uint32, const BMessage*) {}
void BView::KeyUp(const char*, int32) {}
void BView::TargetedByScrollView(BScrollView*) {}

void BView::KeyDown(const char* bytes, int32 numBytes)
{
	// Keys a view does not use go up the tree.
	if (fParent != NULL)
		fParent->KeyDown(bytes, numBytes);
}

void BView::MakeFocus(bool focus)
{
	if (fOwner != NULL)
		fOwner->_SetFocus(this, focus);
}

void BView::MessageReceived(BMessage* message)
{
	if (message->what == B_MOUSE_WHEEL_CHANGED) {
		float delta = 0;
		message->FindFloat("be:wheel_delta_y", &delta);
		if (BScrollBar* bar = ScrollBar(B_VERTICAL)) {
			float small, large;
			bar->GetSteps(&small, &large);
			bar->SetValue(bar->Value() + delta * small * 3);
			return;
		}
		if (fParent != NULL) {
			fParent->MessageReceived(message);
			return;
		}
	}
	BHandler::MessageReceived(message);
}

// #pragma mark - The tree

void BView::AddChild(BView* child, BView* before)
{
	if (child == NULL || child == this || child->fParent != NULL) {
		fprintf(stderr, "BView::AddChild: view \"%s\" already has a parent\n",
		        child != NULL && child->Name() != NULL ? child->Name() : "");
		return;
	}
	if (before != NULL && before->fParent != this)
		before = NULL;

	child->fParent = this;
	if (before == NULL) {
		BView* last = fFirstChild;
		while (last != NULL && last->fNextSibling != NULL)
			last = last->fNextSibling;
		child->fPreviousSibling = last;
		child->fNextSibling = NULL;
		if (last != NULL)
			last->fNextSibling = child;
		else
			fFirstChild = child;
	} else {
		child->fNextSibling = before;
		child->fPreviousSibling = before->fPreviousSibling;
		if (before->fPreviousSibling != NULL)
			before->fPreviousSibling->fNextSibling = child;
		else
			fFirstChild = child;
		before->fPreviousSibling = child;
	}
	if (fOwner != NULL)
		child->_Attach(fOwner);
	Invalidate();
}

bool BView::RemoveChild(BView* child)
{
	if (child == NULL || child->fParent != this)
		return false;
	if (child->fOwner != NULL)
		child->_Detach();
	if (child->fPreviousSibling != NULL)
		child->fPreviousSibling->fNextSibling = child->fNextSibling;
	else
		fFirstChild = child->fNextSibling;
	if (child->fNextSibling != NULL)
		child->fNextSibling->fPreviousSibling = child->fPreviousSibling;
	child->fParent = NULL;
	child->fNextSibling = NULL;
	child->fPreviousSibling = NULL;
	Invalidate();
	return true;
}

bool BView::RemoveSelf()
{
	return fParent != NULL && fParent->RemoveChild(this);
}

int32 BView::CountChildren() const
{
	int32 count = 0;
	for (BView* child = fFirstChild; child != NULL; child = child->fNextSibling)
		count++;
	return count;
}

BView* BView::ChildAt(int32 index) const
{
	BView* child = fFirstChild;
	while (child != NULL && index-- > 0)
		child = child->fNextSibling;
	return index < 0 || child == NULL ? child : NULL;
}

BView* BView::Parent() const
{
	// Views added to the window itself have no parent, as on the platform.
	if (fParent != NULL && fOwner != NULL && fParent == BWindow::Private::TopView(fOwner))
		return NULL;
	return fParent;
}

BView* BView::NextSibling() const
{
	return fNextSibling;
}

BView* BView::PreviousSibling() const
{
	return fPreviousSibling;
}

BView* BView::FindView(const char* name) const
{
	if (name == NULL)
		return NULL;
	if (Name() != NULL && strcmp(Name(), name) == 0)
		return const_cast<BView*>(this);
	for (BView* child = fFirstChild; child != NULL; child = child->fNextSibling) {
		if (BView* found = child->FindView(name))
			return found;
	}
	return NULL;
}

void BView::_Attach(BWindow* owner)
{
	fOwner = owner;
	owner->AddHandler(this);
	AttachedToWindow();
	for (BView* child = fFirstChild; child != NULL; child = child->fNextSibling)
		child->_Attach(owner);
}

void BView::_Detach()
{
	for (BView* child = fFirstChild; child != NULL; child = child->fNextSibling)
		child->_Detach();
	DetachedFromWindow();
	fOwner->_ViewRemoved(this);
	fOwner->RemoveHandler(this);
	fOwner = NULL;
}

// #pragma mark - Geometry

BRect BView::Frame() const
{
	return fFrame;
}

BRect BView::Bounds() const
{
	return BRect(fOrigin.x, fOrigin.y, fOrigin.x + fFrame.Width(), fOrigin.y + fFrame.Height());
}

void BView::MoveTo(BPoint where)
{
	if (where == fFrame.LeftTop())
		return;
	fFrame.OffsetTo(where);
	if (fFlags & B_FRAME_EVENTS)
		FrameMoved(where);
	Invalidate();
}

void BView::MoveBy(float dx, float dy)
{
	MoveTo(fFrame.LeftTop() + BPoint(dx, dy));
}

void BView::ResizeTo(float width, float height)
{
	_ResizeBy(width - fFrame.Width(), height - fFrame.Height(), true);
}

void BView::ResizeBy(float dx, float dy)
{
	_ResizeBy(dx, dy, true);
}

void BView::_ResizeBy(float dx, float dy, bool notify)
{
	if (dx == 0 && dy == 0)
		return;
	fFrame.right += dx;
	fFrame.bottom += dy;
	for (BView* child = fFirstChild; child != NULL; child = child->fNextSibling)
		child->_ParentResized(dx, dy);
	if (notify && (fFlags & B_FRAME_EVENTS))
		FrameResized(fFrame.Width(), fFrame.Height());
	Invalidate();
}

// How far a view edge moves when the parent's size changes by delta: edges
// that keep their distance to the parent's right or bottom edge move with
// it, centred ones by half.
static float EdgeShift(uint32 rule, float delta)
{
	switch (rule) {
	case _VIEW_RIGHT_:
	case _VIEW_BOTTOM_:
		return delta;
	case _VIEW_CENTER_:
		return delta / 2;
	default:
		return 0;
	}
}

void BView::_ParentResized(float dx, float dy)
{
	float left = EdgeShift((fResizingMode >> 8) & 0xf, dx);
	float right = EdgeShift(fResizingMode & 0xf, dx);
	float top = EdgeShift((fResizingMode >> 12) & 0xf, dy);
	float bottom = EdgeShift((fResizingMode >> 4) & 0xf, dy);

	if (left != 0 || top != 0) {
		fFrame.OffsetBy(left, top);
		if (fFlags & B_FRAME_EVENTS)
			FrameMoved(fFrame.LeftTop());
	}
	_ResizeBy(right - left, bottom - top, true);
}

void BView::ScrollTo(BPoint where)
{
	if (where == fOrigin)
		return;
	fOrigin = where;
	if (fVerticalScrollBar != NULL)
		fVerticalScrollBar->_TargetScrolled(where.y);
	if (fHorizontalScrollBar != NULL)
		fHorizontalScrollBar->_TargetScrolled(where.x);
	Invalidate();
}

void BView::ScrollBy(float dx, float dy)
{
	ScrollTo(fOrigin + BPoint(dx, dy));
}

BScrollBar* BView::ScrollBar(orientation direction) const
{
	return direction == B_VERTICAL ? fVerticalScrollBar : fHorizontalScrollBar;
}

BPoint BView::ConvertToParent(BPoint point) const
{
	return point - fOrigin + fFrame.LeftTop();
}

BRect BView::ConvertToParent(BRect rect) const
{
	BPoint shift = fFrame.LeftTop() - fOrigin;
	return rect.OffsetByCopy(shift.x, shift.y);
}

BPoint BView::ConvertFromParent(BPoint point) const
{
	return point - fFrame.LeftTop() + fOrigin;
}

BRect BView::ConvertFromParent(BRect rect) const
{
	BPoint shift = fOrigin - fFrame.LeftTop();
	return rect.OffsetByCopy(shift.x, shift.y);
}

BPoint BView::ConvertToWindow(BPoint point) const
{
	for (const BView* view = this; view != NULL && view->fParent != NULL; view = view->fParent)
		point = view->ConvertToParent(point);
	return point;
}

BRect BView::ConvertToWindow(BRect rect) const
{
	BPoint leftTop = ConvertToWindow(rect.LeftTop());
	return rect.OffsetToCopy(leftTop.x, leftTop.y);
}

BPoint BView::ConvertFromWindow(BPoint point) const
{
	return point - ConvertToWindow(BPoint(0, 0));
}

BPoint BView::ConvertToScreen(BPoint point) const
{
	point = ConvertToWindow(point);
	if (fOwner != NULL)
		point += fOwner->Frame().LeftTop();
	return point;
}

BRect BView::ConvertToScreen(BRect rect) const
{
	BPoint leftTop = ConvertToScreen(rect.LeftTop());
	return rect.OffsetToCopy(leftTop.x, leftTop.y);
}

BPoint BView::ConvertFromScreen(BPoint point) const
{
	return point - ConvertToScreen(BPoint(0, 0));
}

void BView::Hide()
{
	fHideLevel++;
	if (fHideLevel == 1 && fParent != NULL)
		fParent->Invalidate();
}

void BView::Show()
{
	if (fHideLevel == 0)
		return;
	fHideLevel--;
	if (fHideLevel == 0)
		Invalidate();
}

bool BView::IsHidden() const
{
	for (const BView* view = this; view != NULL; view = view->fParent) {
		if (view->fHideLevel > 0)
			return true;
	}
	return false;
}

bool BView::IsFocus() const
{
	return fOwner != NULL && fOwner->CurrentFocus() == this;
}

// #pragma mark - Drawing

void BView::SetViewColor(rgb_color color)
{
	fViewColor = color;
	Invalidate();
}

void BView::SetFont(const BFont* font)
{
	if (font == NULL)
		return;
	fFont = *font;
	Invalidate();
}

void BView::GetFont(BFont* font) const
{
	if (font != NULL)
		*font = fFont;
}

void BView::SetFontSize(float size)
{
	BFont font(fFont);
	font.SetSize(size);
	SetFont(&font);
}

void BView::GetFontHeight(font_height* height) const
{
	fFont.GetHeight(height);
}

float BView::StringWidth(const char* string) const
{
	return fFont.StringWidth(string);
}

static void SetSource(cairo_t* cr, rgb_color color)
{
	// As on the platform, drawing copies colours: alpha plays no part.
	cairo_set_source_rgb(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0);
}

void BView::FillRect(BRect rect)
{
	FillRect(rect, fHighColor);
}

void BView::FillRect(BRect rect, rgb_color color)
{
	cairo_t* cr = (cairo_t*)fDrawContext;
	if (cr == NULL || !rect.IsValid())
		return;
	SetSource(cr, color);
	// Pixel x covers x to x + 1, and both edges belong to the rectangle.
	cairo_rectangle(cr, rect.left, rect.top, rect.Width() + 1, rect.Height() + 1);
	cairo_fill(cr);
}

void BView::StrokeRect(BRect rect)
{
	if (!rect.IsValid())
		return;
	StrokeLine(rect.LeftTop(), rect.RightTop());
	StrokeLine(rect.LeftBottom(), rect.RightBottom());
	StrokeLine(rect.LeftTop(), rect.LeftBottom());
	StrokeLine(rect.RightTop(), rect.RightBottom());
}

void BView::StrokeLine(BPoint start, BPoint end)
{
	cairo_t* cr = (cairo_t*)fDrawContext;
	if (cr == NULL)
		return;
	if (start.x == end.x || start.y == end.y) {
		FillRect(BRect(std::min(start.x, end.x), std::min(start.y, end.y), std::max(start.x, end.x),
		               std::max(start.y, end.y)));
		return;
	}
	SetSource(cr, fHighColor);
	cairo_set_line_width(cr, 1);
	cairo_move_to(cr, start.x + 0.5, start.y + 0.5);
	cairo_line_to(cr, end.x + 0.5, end.y + 0.5);
	cairo_stroke(cr);
}

void BView::FillTriangle(BPoint a, BPoint b, BPoint c)
{
	cairo_t* cr = (cairo_t*)fDrawContext;
	if (cr == NULL)
		return;
	SetSource(cr, fHighColor);
	cairo_move_to(cr, a.x + 0.5, a.y + 0.5);
	cairo_line_to(cr, b.x + 0.5, b.y + 0.5);
	cairo_line_to(cr, c.x + 0.5, c.y + 0.5);
	cairo_close_path(cr);
	cairo_fill(cr);
}

void BView::DrawString(const char* string, BPoint baseline)
{
	cairo_t* cr = (cairo_t*)fDrawContext;
	if (cr == NULL || string == NULL)
		return;
	std::string text = FontCache::Printable(string, strlen(string));
	cairo_set_scaled_font(cr, FontCache::ScaledFont(fFont.Size()));
	SetSource(cr, fHighColor);
	// The baseline row belongs to the glyphs above it.
	cairo_move_to(cr, baseline.x, baseline.y + 1);
	cairo_show_text(cr, text.c_str());
	cairo_new_path(cr);
}

void BView::Invalidate()
{
	if (fOwner != NULL)
		fOwner->_Invalidate();
}

void BView::Invalidate(BRect)
{
	Invalidate();
}

// #pragma mark - Private

void BView::Private::DrawTree(BView* view, cairo_t* cr, BRect clip)
{
	if (view->fHideLevel > 0)
		return;
	BRect visible = view->fFrame & clip;
	if (!visible.IsValid())
		return;

	cairo_save(cr);
	cairo_rectangle(cr, visible.left, visible.top, visible.Width() + 1, visible.Height() + 1);
	cairo_clip(cr);
	BPoint shift = view->fFrame.LeftTop() - view->fOrigin;
	cairo_translate(cr, shift.x, shift.y);

	BRect update = view->ConvertFromParent(visible);
	view->fDrawContext = cr;
	if (view->fViewColor != B_TRANSPARENT_COLOR)
		view->FillRect(update, view->fViewColor);
	if (view->fFlags & B_WILL_DRAW)
		view->Draw(update);
	view->fDrawContext = NULL;

	for (BView* child = view->fFirstChild; child != NULL; child = child->fNextSibling)
		DrawTree(child, cr, update);
	cairo_restore(cr);
}

BView* BView::Private::ViewAt(BView* view, BPoint point)
{
	if (view->fHideLevel > 0 || !view->fFrame.Contains(point))
		return NULL;
	BPoint local = view->ConvertFromParent(point);
	BView* last = view->fFirstChild;
	while (last != NULL && last->fNextSibling != NULL)
		last = last->fNextSibling;
	// Later children lie on top of earlier ones.
	for (BView* child = last; child != NULL; child = child->fPreviousSibling) {
		if (BView* found = ViewAt(child, local))
			return found;
	}
	return view;
}

BView* BView::Private::FirstNavigable(BView* view)
{
	if (view->fHideLevel > 0)
		return NULL;
	if (view->fFlags & B_NAVIGABLE)
		return view;
	for (BView* child = view->fFirstChild; child != NULL; child = child->fNextSibling) {
		if (BView* found = FirstNavigable(child))
			return found;
	}
	return NULL;
}

bool BView::Private::Contains(const BView* ancestor, const BView* view)
{
	for (; view != NULL; view = view->fParent) {
		if (view == ancestor)
			return true;
	}
	return false;
}
