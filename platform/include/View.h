// Interface kit: BView, a rectangle of a window that draws itself and takes
// mouse and keyboard input; views form a tree below the window.
#ifndef _VIEW_H
#define _VIEW_H

#include <Font.h>
#include <GraphicsDefs.h>
#include <Handler.h>
#include <InterfaceDefs.h>
#include <Rect.h>

class BMessage;
class BScrollBar;
class BScrollView;
class BWindow;

// A resizing mode packs four 4-bit values (top, left, bottom, right edge of
// the view, in bits 12-15, 8-11, 4-7, 0-3); each names the edge of the
// parent that the view's edge keeps its distance to.
enum { _VIEW_TOP_ = 1, _VIEW_LEFT_ = 2, _VIEW_BOTTOM_ = 3, _VIEW_RIGHT_ = 4, _VIEW_CENTER_ = 5 };

inline constexpr uint32 _rule_(uint32 top, uint32 left, uint32 bottom, uint32 right)
{
	return (top << 12) | (left << 8) | (bottom << 4) | right;
}

#define B_FOLLOW_NONE 0
#define B_FOLLOW_ALL_SIDES _rule_(_VIEW_TOP_, _VIEW_LEFT_, _VIEW_BOTTOM_, _VIEW_RIGHT_)
#define B_FOLLOW_ALL B_FOLLOW_ALL_SIDES
#define B_FOLLOW_LEFT _rule_(0, _VIEW_LEFT_, 0, _VIEW_LEFT_)
#define B_FOLLOW_RIGHT _rule_(0, _VIEW_RIGHT_, 0, _VIEW_RIGHT_)
#define B_FOLLOW_LEFT_RIGHT _rule_(0, _VIEW_LEFT_, 0, _VIEW_RIGHT_)
#define B_FOLLOW_H_CENTER _rule_(0, _VIEW_CENTER_, 0, _VIEW_CENTER_)
#define B_FOLLOW_TOP _rule_(_VIEW_TOP_, 0, _VIEW_TOP_, 0)
#define B_FOLLOW_BOTTOM _rule_(_VIEW_BOTTOM_, 0, _VIEW_BOTTOM_, 0)
#define B_FOLLOW_TOP_BOTTOM _rule_(_VIEW_TOP_, 0, _VIEW_BOTTOM_, 0)
#define B_FOLLOW_V_CENTER _rule_(_VIEW_CENTER_, 0, _VIEW_CENTER_, 0)

// View flags.
enum {
	B_FULL_UPDATE_ON_RESIZE = 0x80000000UL,
	B_WILL_DRAW = 0x20000000UL,
	B_PULSE_NEEDED = 0x10000000UL,
	B_NAVIGABLE_JUMP = 0x08000000UL,
	B_FRAME_EVENTS = 0x04000000UL,
	B_NAVIGABLE = 0x02000000UL,
	B_SUBPIXEL_PRECISE = 0x01000000UL,
	B_DRAW_ON_CHILDREN = 0x00800000UL,
	B_INPUT_METHOD_AWARE = 0x00400000UL
};

// The transit argument of MouseMoved.
enum { B_ENTERED_VIEW = 0, B_INSIDE_VIEW, B_EXITED_VIEW, B_OUTSIDE_VIEW };

class BView : public BHandler {
public:
	BView(BRect frame, const char* name, uint32 resizingMode, uint32 flags);
	// Deletes the children that are still attached.
	~BView() override;

	// Hooks.
	virtual void AttachedToWindow();
	virtual void DetachedFromWindow();
	virtual void Draw(BRect updateRect);
	virtual void FrameMoved(BPoint newPosition);
	virtual void FrameResized(float newWidth, float newHeight);
	virtual void MouseDown(BPoint where);
	virtual void MouseUp(BPoint where);
	virtual void MouseMoved(BPoint where, uint32 transit, const BMessage* dragMessage);
	virtual void KeyDown(const char* bytes, int32 numBytes);
	virtual void KeyUp(const char* bytes, int32 numBytes);
	virtual void MakeFocus(bool focus = true);
	virtual void TargetedByScrollView(BScrollView* scrollView);
	void MessageReceived(BMessage* message) override;

	// The tree.
	void AddChild(BView* child, BView* before = NULL);
	bool RemoveChild(BView* child);
	bool RemoveSelf();
	int32 CountChildren() const;
	BView* ChildAt(int32 index) const;
	BView* NextSibling() const;
	BView* PreviousSibling() const;
	BView* Parent() const;
	BWindow* Window() const { return fOwner; }
	// Finds a view of this name in the subtree below this view.
	BView* FindView(const char* name) const;

	// Geometry. Frame is in the parent's coordinates; Bounds in the view's
	// own, whose left-top is the scrolled-to origin.
	BRect Frame() const;
	BRect Bounds() const;
	void MoveTo(BPoint where);
	void MoveTo(float x, float y) { MoveTo(BPoint(x, y)); }
	void MoveBy(float dx, float dy);
	void ResizeTo(float width, float height);
	void ResizeBy(float dx, float dy);
	virtual void ScrollTo(BPoint where);
	void ScrollTo(float x, float y) { ScrollTo(BPoint(x, y)); }
	void ScrollBy(float dx, float dy);
	BScrollBar* ScrollBar(orientation direction) const;

	BPoint ConvertToParent(BPoint point) const;
	BRect ConvertToParent(BRect rect) const;
	BPoint ConvertFromParent(BPoint point) const;
	BRect ConvertFromParent(BRect rect) const;
	// In the window's coordinates (the window's top view is at 0, 0).
	BPoint ConvertToWindow(BPoint point) const;
	BRect ConvertToWindow(BRect rect) const;
	BPoint ConvertFromWindow(BPoint point) const;
	BPoint ConvertToScreen(BPoint point) const;
	BRect ConvertToScreen(BRect rect) const;
	BPoint ConvertFromScreen(BPoint point) const;

	uint32 ResizingMode() const { return fResizingMode; }
	void SetResizingMode(uint32 mode) { fResizingMode = mode; }
	uint32 Flags() const { return fFlags; }
	void SetFlags(uint32 flags) { fFlags = flags; }

	void Hide();
	void Show();
	bool IsHidden() const;
	bool IsFocus() const;

	// Drawing state.
	void SetViewColor(rgb_color color);
	void SetViewColor(uint8 r, uint8 g, uint8 b, uint8 a = 255)
	{
		SetViewColor(make_color(r, g, b, a));
	}
	rgb_color ViewColor() const { return fViewColor; }
	void SetHighColor(rgb_color color) { fHighColor = color; }
	void SetHighColor(uint8 r, uint8 g, uint8 b, uint8 a = 255)
	{
		fHighColor = make_color(r, g, b, a);
	}
	rgb_color HighColor() const { return fHighColor; }
	void SetLowColor(rgb_color color) { fLowColor = color; }
	void SetLowColor(uint8 r, uint8 g, uint8 b, uint8 a = 255)
	{
		fLowColor = make_color(r, g, b, a);
	}
	rgb_color LowColor() const { return fLowColor; }
	virtual void SetFont(const BFont* font);
	void GetFont(BFont* font) const;
	void SetFontSize(float size);
	void GetFontHeight(font_height* height) const;
	float StringWidth(const char* string) const;

	// Drawing; does something only while the window draws this view.
	void FillRect(BRect rect);
	void FillRect(BRect rect, rgb_color color);
	void StrokeRect(BRect rect);
	void StrokeLine(BPoint start, BPoint end);
	void FillTriangle(BPoint a, BPoint b, BPoint c);
	void DrawString(const char* string, BPoint baseline);

	// Asks for the view to be drawn again.
	void Invalidate();
	void Invalidate(BRect rect);

	struct Private;

private:
	friend class BWindow;

	void _Attach(BWindow* owner);
	void _Detach();
	void _ParentResized(float dx, float dy);
	void _ResizeBy(float dx, float dy, bool notify);

	BRect fFrame;
	BPoint fOrigin;
	uint32 fResizingMode;
	uint32 fFlags;
	rgb_color fViewColor;
	rgb_color fHighColor;
	rgb_color fLowColor;
	BFont fFont;
	int32 fHideLevel;

	BWindow* fOwner;
	BView* fParent;
	BView* fFirstChild;
	BView* fNextSibling;
	BView* fPreviousSibling;
	BScrollBar* fVerticalScrollBar;
	BScrollBar* fHorizontalScrollBar;
	void* fDrawContext; // the cairo context while the view is drawn

	friend struct Private;
	friend class BScrollBar;
	friend class BScrollView;
};

#endif // _VIEW_H
