// Interface kit, private: what the window needs of its views (drawing the
// tree, hit testing) and the message fields the kit uses.
#ifndef STRIA_VIEW_PRIVATE_H
#define STRIA_VIEW_PRIVATE_H

#include <Message.h>
#include <Point.h>
#include <View.h>

#include <cairo.h>

// Type code of a BPoint field ("where" of mouse messages).
#define STRIA_POINT_TYPE 'BPNT'
// Asks a window to draw itself on the display.
#define STRIA_UPDATE_MESSAGE '_UPD'
// Tells a window that its display connection is gone, with its X window.
#define STRIA_DISPLAY_LOST_MESSAGE '_DLS'

struct BView::Private {
	// Draws view and its children onto cr, whose user space is the parent's
	// coordinates; clip is the part of the parent to draw, in those.
	static void DrawTree(BView* view, cairo_t* cr, BRect clip);
	// The deepest visible view under point (in view's parent's coordinates).
	static BView* ViewAt(BView* view, BPoint point);
	static void Attach(BView* view, BWindow* window) { view->_Attach(window); }
	static void Detach(BView* view) { view->_Detach(); }
	static void ResizeBy(BView* view, float dx, float dy) { view->_ResizeBy(dx, dy, true); }
	static void SetFrame(BView* view, BRect frame) { view->fFrame = frame; }
	static BView* FirstNavigable(BView* view);
	static bool Contains(const BView* ancestor, const BView* view);
};

namespace BPrivate {

inline status_t add_point(BMessage* message, const char* name, BPoint point)
{
	return message->AddData(name, STRIA_POINT_TYPE, &point, sizeof(point));
}

inline status_t find_point(const BMessage* message, const char* name, BPoint* point)
{
	const void* data;
	ssize_t size;
	status_t status = message->FindData(name, STRIA_POINT_TYPE, &data, &size);
	if (status != B_OK)
		return status;
	if (size != (ssize_t)sizeof(BPoint))
		return B_BAD_DATA;
	*point = *(const BPoint*)data;
	return B_OK;
}

} // namespace BPrivate

#endif // STRIA_VIEW_PRIVATE_H
