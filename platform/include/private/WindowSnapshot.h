// Interface kit, private: the registry of live windows and drawing a
// window's view tree into a PNG image. Used by the input server's
// --snapshot option and by tests.
#ifndef _WINDOW_SNAPSHOT_H
#define _WINDOW_SNAPSHOT_H

#include <Messenger.h>
#include <SupportDefs.h>

class BWindow;
typedef struct _cairo_surface cairo_surface_t;

namespace BPrivate {

// Draws the window's views into a PNG file of Width()+1 by Height()+1
// pixels of its frame (both edges of a rectangle are in it). The caller
// either holds the window's lock or knows that no other thread uses it.
status_t write_window_png(BWindow* window, const char* path);
// The same drawing into a new cairo image surface (RGB24), which the caller
// destroys with cairo_surface_destroy.
cairo_surface_t* draw_window(BWindow* window);

// The newest window that is still alive; an invalid messenger when none is.
BMessenger newest_live_window();
int32 count_live_windows();

// Locks the newest live window (waiting at most timeout), draws it into
// path and unlocks it. B_NAME_NOT_FOUND when there is no window.
status_t snapshot_newest_window(const char* path, bigtime_t timeout = 2000000);

// A picture of the windows as they are when a program stops: begin draws
// the newest live window into path (when there is one) and keeps the path;
// until end, the newest live window draws itself into it again when it
// quits, so that what its owner added on the way out is in the picture.
// end forgets the path and says whether a picture was written: B_OK,
// B_NAME_NOT_FOUND when there was no window, or the error of the last try.
status_t begin_final_snapshot(const char* path);
status_t end_final_snapshot();

// Whether shown windows go to an X display in this process now (DISPLAY is
// set, and the display was opened and has not been lost since).
bool windows_on_display();

} // namespace BPrivate

#endif // _WINDOW_SNAPSHOT_H
