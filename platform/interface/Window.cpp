// Interface kit: BWindow, a looper that owns a view tree and, on an X
// display, a top-level window.
#include <Window.h>

#include <AppDefs.h>
#include <Message.h>
#include <View.h>

#include "ViewPrivate.h"
#include "WindowPrivate.h"
#include "X11Display.h"

#include <algorithm>
#include <string.h>

using BPrivate::X11Display;

BWindow::BWindow(BRect frame, const char* title, window_type type, uint32 flags, uint32 workspace)
    : BLooper(title, B_DISPLAY_PRIORITY), fPrivate(new Private)
{
	fPrivate->frame = frame;
	fPrivate->title = title != NULL ? title : "";
	fPrivate->type = type;
	fPrivate->flags = flags;
	fPrivate->workspaces = workspace;
	fPrivate->focus = NULL;
	fPrivate->mouseView = NULL;
	fPrivate->hoverView = NULL;
	fPrivate->hideLevel = 1;
	fPrivate->running = false;
	fPrivate->active = false;
	fPrivate->display = NULL;
	fPrivate->xWindow = 0;
	fPrivate->updatePending = false;

	fPrivate->topView = new BView(Bounds(), "top view", B_FOLLOW_ALL_SIDES, B_WILL_DRAW);
	fPrivate->topView->SetViewColor(ui_color(B_PANEL_BACKGROUND_COLOR));
	BView::Private::Attach(fPrivate->topView, this);
	BPrivate::register_window(this);
}

BWindow::~BWindow()
{
	BPrivate::unregister_window(this);
	if (fPrivate->xWindow != 0)
		fPrivate->display->DestroyWindow(fPrivate->xWindow);
	BView::Private::Detach(fPrivate->topView);
	delete fPrivate->topView;
	delete fPrivate;
}

void BWindow::Quit()
{
	BPrivate::window_quitting(this);
	// No more events from the display once the window is on its way out.
	if (fPrivate->xWindow != 0) {
		fPrivate->display->DestroyWindow(fPrivate->xWindow);
		fPrivate->xWindow = 0;
	}
	fPrivate->hideLevel = std::max<int32>(fPrivate->hideLevel, 1);
	BLooper::Quit();
}

// #pragma mark - Showing

void BWindow::Show()
{
	if (!Lock())
		return;
	fPrivate->hideLevel--;
	if (fPrivate->hideLevel == 0) {
		if (fPrivate->xWindow == 0)
			_ShowOnDisplay();
		else
			fPrivate->display->Map(fPrivate->xWindow);
		_Invalidate();
	}
	bool start = !fPrivate->running;
	fPrivate->running = true;
	Unlock();
	if (start)
		Run();
}

void BWindow::_ShowOnDisplay()
{
	X11Display* display = X11Display::Default();
	if (display == NULL)
		return;
	fPrivate->xWindow = display->CreateWindow(BMessenger(NULL, this), fPrivate->frame,
	                                          fPrivate->title.c_str(), fPrivate->type,
	                                          fPrivate->flags, ui_color(B_PANEL_BACKGROUND_COLOR));
	if (fPrivate->xWindow == 0)
		return;
	fPrivate->display = display;
	display->Map(fPrivate->xWindow);
	if (fPrivate->workspaces != B_CURRENT_WORKSPACE)
		display->SetWorkspaces(fPrivate->xWindow, fPrivate->workspaces);
}

void BWindow::Hide()
{
	if (!Lock())
		return;
	fPrivate->hideLevel++;
	if (fPrivate->hideLevel == 1 && fPrivate->xWindow != 0)
		fPrivate->display->Unmap(fPrivate->xWindow);
	Unlock();
}

bool BWindow::IsHidden() const
{
	return fPrivate->hideLevel > 0;
}

void BWindow::Activate(bool active)
{
	// A window that avoids the focus gets it only from the person (a
	// click), never from the program.
	if (active && (fPrivate->flags & B_AVOID_FOCUS) != 0)
		return;
	if (active && fPrivate->xWindow != 0 && fPrivate->hideLevel == 0) {
		fPrivate->display->Activate(fPrivate->xWindow);
		return;
	}
	// Without a display the window is active as soon as it is asked to be;
	// on a display, once the focus arrives.
	if (fPrivate->active != active && fPrivate->xWindow == 0) {
		fPrivate->active = active;
		WindowActivated(active);
	}
}

bool BWindow::IsActive() const
{
	return fPrivate->active;
}

void BWindow::SetWorkspaces(uint32 workspaces)
{
	fPrivate->workspaces = workspaces;
	if (fPrivate->xWindow != 0)
		fPrivate->display->SetWorkspaces(fPrivate->xWindow, workspaces);
}

uint32 BWindow::Workspaces() const
{
	return fPrivate->workspaces;
}

// #pragma mark - Geometry

BRect BWindow::Frame() const
{
	return fPrivate->frame;
}

BRect BWindow::Bounds() const
{
	return BRect(0, 0, fPrivate->frame.Width(), fPrivate->frame.Height());
}

void BWindow::MoveTo(BPoint where)
{
	if (where == fPrivate->frame.LeftTop())
		return;
	fPrivate->frame.OffsetTo(where);
	if (fPrivate->xWindow != 0)
		fPrivate->display->Move(fPrivate->xWindow, where);
	FrameMoved(where);
}

void BWindow::MoveBy(float dx, float dy)
{
	MoveTo(fPrivate->frame.LeftTop() + BPoint(dx, dy));
}

void BWindow::ResizeTo(float width, float height)
{
	_Resized(width, height, false);
}

void BWindow::ResizeBy(float dx, float dy)
{
	_Resized(fPrivate->frame.Width() + dx, fPrivate->frame.Height() + dy, false);
}

void BWindow::_Resized(float width, float height, bool fromDisplay)
{
	width = std::max(width, 0.0f);
	height = std::max(height, 0.0f);
	float dx = width - fPrivate->frame.Width();
	float dy = height - fPrivate->frame.Height();
	if (dx == 0 && dy == 0)
		return;
	fPrivate->frame.right = fPrivate->frame.left + width;
	fPrivate->frame.bottom = fPrivate->frame.top + height;
	BView::Private::ResizeBy(fPrivate->topView, dx, dy);
	if (!fromDisplay && fPrivate->xWindow != 0)
		fPrivate->display->Resize(fPrivate->xWindow, width, height);
	FrameResized(width, height);
	_Invalidate();
}

const char* BWindow::Title() const
{
	return fPrivate->title.c_str();
}

void BWindow::SetTitle(const char* title)
{
	fPrivate->title = title != NULL ? title : "";
	if (fPrivate->xWindow != 0)
		fPrivate->display->SetTitle(fPrivate->xWindow, fPrivate->title.c_str());
}

window_type BWindow::Type() const
{
	return fPrivate->type;
}

uint32 BWindow::Flags() const
{
	return fPrivate->flags;
}

void BWindow::SetFlags(uint32 flags)
{
	fPrivate->flags = flags;
	if (fPrivate->xWindow != 0) {
		fPrivate->display->SetFlags(fPrivate->xWindow, fPrivate->type, flags, fPrivate->frame);
	}
}

// #pragma mark - Views

void BWindow::AddChild(BView* child, BView* before)
{
	fPrivate->topView->AddChild(child, before);
}

bool BWindow::RemoveChild(BView* child)
{
	return fPrivate->topView->RemoveChild(child);
}

int32 BWindow::CountChildren() const
{
	return fPrivate->topView->CountChildren();
}

BView* BWindow::ChildAt(int32 index) const
{
	return fPrivate->topView->ChildAt(index);
}

BView* BWindow::FindView(const char* name) const
{
	BView* view = fPrivate->topView->FindView(name);
	return view != fPrivate->topView ? view : NULL;
}

BView* BWindow::FindView(BPoint point) const
{
	BView* view = BView::Private::ViewAt(fPrivate->topView, point);
	return view != fPrivate->topView ? view : NULL;
}

BView* BWindow::CurrentFocus() const
{
	return fPrivate->focus;
}

void BWindow::_SetFocus(BView* view, bool focus)
{
	if (focus)
		fPrivate->focus = view;
	else if (fPrivate->focus == view)
		fPrivate->focus = NULL;
}

void BWindow::_ViewRemoved(BView* view)
{
	if (fPrivate->focus == view)
		fPrivate->focus = NULL;
	if (fPrivate->mouseView == view)
		fPrivate->mouseView = NULL;
	if (fPrivate->hoverView == view)
		fPrivate->hoverView = NULL;
}

void BWindow::_Invalidate()
{
	// Only a window on the display is drawn on its own; pictures of any
	// window are drawn when asked for. A shown window that should be on a
	// display but is not (it could not be opened, or was lost) tries again
	// when it changes.
	if (fPrivate->hideLevel > 0 || (fPrivate->xWindow == 0 && !X11Display::Wanted()))
		return;
	if (!fPrivate->updatePending.exchange(true) && PostMessage(STRIA_UPDATE_MESSAGE) != B_OK)
		fPrivate->updatePending = false;
}

// #pragma mark - Hooks and messages

void BWindow::FrameMoved(BPoint) {}
void BWindow::FrameResized(float, float) {}
void BWindow::WindowActivated(bool) {}

void BWindow::DispatchMessage(BMessage* message, BHandler* handler)
{
	switch (message->what) {
	case B_MOUSE_DOWN:
	case B_MOUSE_UP:
	case B_MOUSE_MOVED:
		_HandleMouse(message);
		return;

	case B_MOUSE_WHEEL_CHANGED: {
		BPoint where;
		BView* view = NULL;
		if (BPrivate::find_point(message, "where", &where) == B_OK)
			view = FindView(where);
		if (view == NULL)
			view = fPrivate->focus;
		if (view != NULL)
			view->MessageReceived(message);
		return;
	}

	case B_KEY_DOWN:
	case B_KEY_UP:
		_HandleKey(message);
		return;

	case B_WINDOW_RESIZED: {
		BPoint where;
		if (BPrivate::find_point(message, "where", &where) == B_OK &&
		    where != fPrivate->frame.LeftTop()) {
			fPrivate->frame.OffsetTo(where);
			FrameMoved(where);
		}
		int32 width, height;
		if (message->FindInt32("width", &width) == B_OK &&
		    message->FindInt32("height", &height) == B_OK)
			_Resized(width, height, true);
		return;
	}

	case B_WINDOW_ACTIVATED: {
		bool active = false;
		message->FindBool("active", &active);
		if (active != fPrivate->active) {
			fPrivate->active = active;
			WindowActivated(active);
		}
		return;
	}

	case STRIA_DISPLAY_LOST_MESSAGE:
		// The X window went with the display; the window lives on and
		// shows itself again once a display can be opened.
		fPrivate->xWindow = 0;
		fPrivate->display = NULL;
		fPrivate->mouseView = NULL;
		if (fPrivate->active) {
			fPrivate->active = false;
			WindowActivated(false);
		}
		// Rows may have come while the display was going; a display that
		// is already back shows them now, one that is not yet is tried
		// again at the next change.
		_Invalidate();
		return;

	case STRIA_UPDATE_MESSAGE:
		fPrivate->updatePending = false;
		if (fPrivate->xWindow == 0 && fPrivate->hideLevel == 0)
			_ShowOnDisplay();
		if (fPrivate->xWindow != 0 && fPrivate->hideLevel == 0) {
			cairo_surface_t* image = Private::Render(this);
			fPrivate->display->Paint(fPrivate->xWindow, image);
			cairo_surface_destroy(image);
		}
		return;
	}
	BLooper::DispatchMessage(message, handler);
}

void BWindow::MessageReceived(BMessage* message)
{
	BLooper::MessageReceived(message);
}

void BWindow::_HandleMouse(BMessage* message)
{
	BPoint where;
	if (BPrivate::find_point(message, "where", &where) != B_OK)
		return;
	BView* under = FindView(where);

	switch (message->what) {
	case B_MOUSE_DOWN:
		fPrivate->mouseView = under;
		if (under != NULL)
			under->MouseDown(under->ConvertFromWindow(where));
		break;

	case B_MOUSE_UP: {
		BView* target = fPrivate->mouseView != NULL ? fPrivate->mouseView : under;
		fPrivate->mouseView = NULL;
		if (target != NULL)
			target->MouseUp(target->ConvertFromWindow(where));
		break;
	}

	case B_MOUSE_MOVED: {
		if (BView* captured = fPrivate->mouseView) {
			BPoint local = captured->ConvertFromWindow(where);
			captured->MouseMoved(
			        local, captured->Bounds().Contains(local) ? B_INSIDE_VIEW : B_OUTSIDE_VIEW,
			        NULL);
			break;
		}
		BView* previous = fPrivate->hoverView;
		if (previous != under && previous != NULL)
			previous->MouseMoved(previous->ConvertFromWindow(where), B_EXITED_VIEW, NULL);
		fPrivate->hoverView = under;
		if (under != NULL) {
			under->MouseMoved(under->ConvertFromWindow(where),
			                  previous != under ? B_ENTERED_VIEW : B_INSIDE_VIEW, NULL);
		}
		break;
	}
	}
}

void BWindow::_HandleKey(BMessage* message)
{
	const char* bytes = NULL;
	if (message->FindString("bytes", &bytes) != B_OK || bytes == NULL)
		return;
	// Keys go to the focus view; before any has the focus, to the first
	// view that takes keyboard navigation.
	BView* target = fPrivate->focus;
	if (target == NULL)
		target = BView::Private::FirstNavigable(fPrivate->topView);
	if (target == NULL)
		return;
	if (message->what == B_KEY_DOWN)
		target->KeyDown(bytes, strlen(bytes));
	else
		target->KeyUp(bytes, strlen(bytes));
}

cairo_surface_t* BWindow::Private::Render(BWindow* window)
{
	BRect frame = window->fPrivate->frame;
	int width = frame.IntegerWidth() + 1;
	int height = frame.IntegerHeight() + 1;
	cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
	cairo_t* cr = cairo_create(image);
	BView::Private::DrawTree(window->fPrivate->topView, cr, BRect(0, 0, width - 1, height - 1));
	cairo_destroy(cr);
	cairo_surface_flush(image);
	return image;
}
