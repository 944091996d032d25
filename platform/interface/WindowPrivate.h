// Interface kit, private: a window's state beyond the looper's.
#ifndef STRIA_WINDOW_PRIVATE_H
#define STRIA_WINDOW_PRIVATE_H

#include <View.h>
#include <Window.h>

#include <cairo.h>

#include <atomic>
#include <string>

namespace BPrivate {
class X11Display;
}

struct BWindow::Private {
	BRect frame;
	std::string title;
	window_type type;
	uint32 flags;
	uint32 workspaces;

	// Holds the window's views; covers the window's bounds.
	BView* topView;
	BView* focus;
	// The view that took the mouse-down, which gets the moves and the
	// mouse-up until the buttons are released.
	BView* mouseView;
	BView* hoverView;

	int32 hideLevel;
	bool running;
	bool active;

	BPrivate::X11Display* display;
	unsigned long xWindow;
	// An update message is on its way; more Invalidate calls wait for it.
	std::atomic<bool> updatePending;

	static BView* TopView(const BWindow* window) { return window->fPrivate->topView; }
	// Draws the whole view tree onto a new image the size of the frame.
	static cairo_surface_t* Render(BWindow* window);
};

namespace BPrivate {

// The registry of live windows (WindowRegistry.cpp).
void register_window(BWindow* window);
void unregister_window(BWindow* window);
// Called by a quitting window, locked: redraws the final snapshot when one
// is being taken and the window is the newest.
void window_quitting(BWindow* window);

} // namespace BPrivate

#endif // STRIA_WINDOW_PRIVATE_H
