// Interface kit, private: the process's connection to the X display, which
// gives every shown window a top-level X11 window and turns X events into
// the kit's messages, posted to the window's looper.
#ifndef STRIA_X11_DISPLAY_H
#define STRIA_X11_DISPLAY_H

#include <GraphicsDefs.h>
#include <Messenger.h>
#include <Rect.h>
#include <Window.h>

#include <cairo.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>

struct _XDisplay;
union _XEvent;
class BMessage;

namespace BPrivate {

class X11Display {
public:
	// The display connection, opened when DISPLAY is set and there is none
	// yet or the last one was lost; NULL without DISPLAY or while the
	// display cannot be opened (said once on standard error until it can).
	static X11Display* Default();
	// Whether windows are to be shown on a display: DISPLAY is set.
	static bool Wanted();
	// Whether a connection is open and not lost, without trying to open one.
	static bool IsShowing();

	// A top-level window with the frame's content size (Width()+1 by
	// Height()+1), not yet mapped; its events go to target. 0 on failure
	// or once the connection is lost. The other calls are carried out on
	// the connection's thread, in order, and are dropped once it is lost.
	unsigned long CreateWindow(const BMessenger& target, BRect frame, const char* title,
	                           window_type type, uint32 flags, rgb_color background);
	void DestroyWindow(unsigned long window);
	void Map(unsigned long window);
	void Unmap(unsigned long window);
	void SetTitle(unsigned long window, const char* title);
	// Window manager hints: which frame buttons and functions the flags allow.
	void SetFlags(unsigned long window, window_type type, uint32 flags, BRect frame);
	void Move(unsigned long window, BPoint where);
	void Resize(unsigned long window, float width, float height);
	void Activate(unsigned long window);
	void SetWorkspaces(unsigned long window, uint32 workspaces);
	// Copies a drawn image of the window's content onto it (the image is
	// referenced until then).
	void Paint(unsigned long window, cairo_surface_t* image);

private:
	struct Target {
		BMessenger messenger;
		unsigned long lastPressTime;
		unsigned int lastButton;
		int32 clicks;
		BRect frame;
	};

	X11Display(_XDisplay* display, const char* name);
	// The connection's thread: it makes every Xlib call on the connection
	// (the windows' requests, in order, and reading events), so that a lost
	// server is met there and nowhere else.
	void _Thread();
	void _Queue(std::function<void()> request);
	unsigned long _CreateWindow(const BMessenger& target, BRect frame, const std::string& title,
	                            window_type type, uint32 flags, rgb_color background);
	void _SetTitle(unsigned long window, const std::string& title);
	void _SetFlags(unsigned long window, window_type type, uint32 flags, BRect frame);
	void _Paint(unsigned long window, cairo_surface_t* image);
	// A client message about window to the window manager, through the
	// root window; request is its atom.
	void _AskWindowManager(unsigned long window, unsigned long request, long first, long second);
	// Tells every window of the lost connection that its X window is gone.
	void _TellWindowsLost();
	// Turns one X event into a message for its window; false when it has
	// none.
	bool _Translate(_XEvent& event, BMessenger* target, BMessage* message);
	void _Wake();
	static void _IOErrorExit(_XDisplay* display, void* data);

	_XDisplay* fDisplay;
	std::string fName;
	int fScreen;
	unsigned long fRoot;
	int fWakePipe[2];
	std::atomic<bool> fLost;
	std::mutex fRequestsLock;
	std::condition_variable fRequestDone;
	std::deque<std::function<void()>> fRequests;
	std::mutex fTargetsLock;
	std::map<unsigned long, Target> fTargets;

	unsigned long fWmProtocols;
	unsigned long fWmDeleteWindow;
	unsigned long fMotifHints;
	unsigned long fNetWmName;
	unsigned long fUtf8String;
	unsigned long fNetWmPid;
	unsigned long fNetWmUserTime;
	unsigned long fNetWmWindowType;
	unsigned long fNetWmDesktop;
	unsigned long fNetCurrentDesktop;
	unsigned long fNetActiveWindow;
	unsigned long fTypeNormal;
	unsigned long fTypeDialog;
	unsigned long fTypeUtility;
};

} // namespace BPrivate

#endif // STRIA_X11_DISPLAY_H
