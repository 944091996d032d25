// Interface kit, private: windows on the X display.
#include "X11Display.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>

#include "ViewPrivate.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>

#include <deque>
#include <errno.h>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace BPrivate {

namespace {

// Motif window manager hints: which frame functions and decorations a
// window has. Window managers of every desktop still read them.
enum {
	MWM_HINTS_FUNCTIONS = 1 << 0,
	MWM_HINTS_DECORATIONS = 1 << 1,
	MWM_FUNC_RESIZE = 1 << 1,
	MWM_FUNC_MOVE = 1 << 2,
	MWM_FUNC_MINIMIZE = 1 << 3,
	MWM_FUNC_MAXIMIZE = 1 << 4,
	MWM_FUNC_CLOSE = 1 << 5,
	MWM_DECOR_BORDER = 1 << 1,
	MWM_DECOR_RESIZEH = 1 << 2,
	MWM_DECOR_TITLE = 1 << 3,
	MWM_DECOR_MENU = 1 << 4,
	MWM_DECOR_MINIMIZE = 1 << 5,
	MWM_DECOR_MAXIMIZE = 1 << 6
};

const unsigned long kDoubleClickTime = 500; // milliseconds

std::once_flag sHandlersOnce;
// Opening and replacing the connection; sDefault is the newest one.
std::mutex sOpenLock;
std::atomic<X11Display*> sDefault(NULL);
// The display was lost or could not be opened: the next connection that
// opens says so. Set under sOpenLock or in an IO error handler.
std::atomic<bool> sAway(false);
// That the display cannot be opened was said, once until it opens again.
bool sSaidCannotOpen = false;

int IgnoreXError(Display* display, XErrorEvent* error)
{
	// A request about a window that is already gone is no reason to stop.
	char text[128];
	XGetErrorText(display, error->error_code, text, sizeof(text));
	fprintf(stderr, "stria: X request %d failed: %s\n", error->request_code, text);
	return 0;
}

int NoteIOError(Display*)
{
	// Xlib's own handler would end the process here. Since libX11 1.7 the
	// connection's exit handler (X11Display::_IOErrorExit) runs after this
	// one returns, and a connection whose exit handler returns is marked
	// dead: every later call on it returns at once.
	return 0;
}

int32 Modifiers(unsigned int state)
{
	int32 modifiers = 0;
	if (state & ShiftMask)
		modifiers |= B_SHIFT_KEY;
	if (state & ControlMask)
		modifiers |= B_CONTROL_KEY;
	if (state & Mod1Mask)
		modifiers |= B_COMMAND_KEY;
	if (state & LockMask)
		modifiers |= B_CAPS_LOCK;
	return modifiers;
}

int32 Buttons(unsigned int state)
{
	int32 buttons = 0;
	if (state & Button1Mask)
		buttons |= B_PRIMARY_MOUSE_BUTTON;
	if (state & Button3Mask)
		buttons |= B_SECONDARY_MOUSE_BUTTON;
	if (state & Button2Mask)
		buttons |= B_TERTIARY_MOUSE_BUTTON;
	return buttons;
}

int32 ButtonBit(unsigned int button)
{
	switch (button) {
	case Button1:
		return B_PRIMARY_MOUSE_BUTTON;
	case Button3:
		return B_SECONDARY_MOUSE_BUTTON;
	case Button2:
		return B_TERTIARY_MOUSE_BUTTON;
	}
	return 0;
}

// The byte a key gives on the platform for keys without a character.
int SpecialByte(KeySym keysym)
{
	switch (keysym) {
	case XK_Up:
	case XK_KP_Up:
		return B_UP_ARROW;
	case XK_Down:
	case XK_KP_Down:
		return B_DOWN_ARROW;
	case XK_Left:
	case XK_KP_Left:
		return B_LEFT_ARROW;
	case XK_Right:
	case XK_KP_Right:
		return B_RIGHT_ARROW;
	case XK_Home:
	case XK_KP_Home:
		return B_HOME;
	case XK_End:
	case XK_KP_End:
		return B_END;
	case XK_Page_Up:
	case XK_KP_Page_Up:
		return B_PAGE_UP;
	case XK_Page_Down:
	case XK_KP_Page_Down:
		return B_PAGE_DOWN;
	case XK_Return:
	case XK_KP_Enter:
		return B_ENTER;
	case XK_BackSpace:
		return B_BACKSPACE;
	case XK_Tab:
	case XK_ISO_Left_Tab:
		return B_TAB;
	case XK_Escape:
		return B_ESCAPE;
	case XK_Delete:
	case XK_KP_Delete:
		return B_DELETE;
	case XK_Insert:
	case XK_KP_Insert:
		return B_INSERT;
	}
	if (keysym >= XK_F1 && keysym <= XK_F12)
		return B_FUNCTION_KEY;
	return -1;
}

} // namespace

X11Display* X11Display::Default()
{
	std::call_once(sHandlersOnce, [] {
		XInitThreads();
		XSetErrorHandler(IgnoreXError);
		XSetIOErrorHandler(NoteIOError);
	});
	std::lock_guard<std::mutex> lock(sOpenLock);
	X11Display* current = sDefault;
	if (current != NULL && !current->fLost)
		return current;
	const char* name = getenv("DISPLAY");
	if (name == NULL || name[0] == '\0')
		return NULL;
	Display* display = XOpenDisplay(name);
	if (display == NULL) {
		if (!sSaidCannotOpen) {
			fprintf(stderr,
			        "stria: cannot open X display \"%s\"; windows are not shown until it "
			        "can be opened\n",
			        name);
		}
		sSaidCannotOpen = true;
		sAway = true;
		return NULL;
	}
	if (sAway.exchange(false))
		fprintf(stderr, "stria: X display \"%s\" opened; windows are shown again\n", name);
	sSaidCannotOpen = false;
	// A lost connection is never freed: its thread stays parked in Xlib,
	// and a window may still be on its way to hear that it is lost.
	current = new X11Display(display, name);
	sDefault = current;
	return current;
}

bool X11Display::Wanted()
{
	const char* name = getenv("DISPLAY");
	return name != NULL && name[0] != '\0';
}

bool X11Display::IsShowing()
{
	X11Display* current = sDefault;
	return current != NULL && !current->fLost;
}

X11Display::X11Display(Display* display, const char* name)
    : fDisplay(display), fName(name), fScreen(DefaultScreen(display)),
      fRoot(RootWindow(display, DefaultScreen(display))), fLost(false)
{
	if (pipe2(fWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
		fWakePipe[0] = -1;
		fWakePipe[1] = -1;
	}
	XSetIOErrorExitHandler(display, _IOErrorExit, this);
	// Every call on the connection from here on is made on its thread.
	std::thread(&X11Display::_Thread, this).detach();
}

void X11Display::_IOErrorExit(Display*, void* data)
{
	// The X server went away (killed, or the session ended), met on the
	// connection's thread. libX11 leaves the connection's locks in
	// disorder when this handler returns, and a caller (Xlib itself, or
	// cairo) may go on into it and wait for ever; a jump out of the
	// handler would leave Xlib's and cairo's locks held. So the windows
	// are told here and the thread stays parked: no other thread ever
	// calls Xlib on this connection, and the next display opened gets a
	// connection and a thread of its own.
	X11Display* self = (X11Display*)data;
	sAway = true;
	if (!self->fLost.exchange(true)) {
		fprintf(stderr,
		        "stria: lost the X display \"%s\"; windows are shown again once it can be "
		        "opened\n",
		        self->fName.c_str());
	}
	self->_TellWindowsLost();
	{
		// A window waiting for a new X window sees the loss.
		std::lock_guard<std::mutex> lock(self->fRequestsLock);
	}
	self->fRequestDone.notify_all();
	for (;;)
		pause();
}

void X11Display::_Wake()
{
	if (fWakePipe[1] >= 0) {
		char byte = 0;
		ssize_t written = write(fWakePipe[1], &byte, 1);
		(void)written;
	}
}

void X11Display::_Queue(std::function<void()> request)
{
	if (fLost)
		return;
	{
		std::lock_guard<std::mutex> lock(fRequestsLock);
		fRequests.push_back(std::move(request));
	}
	_Wake();
}

unsigned long X11Display::CreateWindow(const BMessenger& target, BRect frame, const char* title,
                                       window_type type, uint32 flags, rgb_color background)
{
	// The caller waits for the window's id, or for the connection's loss.
	struct Result {
		bool done = false;
		unsigned long window = 0;
	};
	auto result = std::make_shared<Result>();
	std::string text = title != NULL ? title : "";
	_Queue([=, this] {
		unsigned long window = _CreateWindow(target, frame, text, type, flags, background);
		std::lock_guard<std::mutex> lock(fRequestsLock);
		result->window = window;
		result->done = true;
		fRequestDone.notify_all();
	});
	std::unique_lock<std::mutex> lock(fRequestsLock);
	fRequestDone.wait(lock, [&] { return result->done || fLost; });
	return result->done ? result->window : 0;
}

unsigned long X11Display::_CreateWindow(const BMessenger& target, BRect frame,
                                        const std::string& title, window_type type, uint32 flags,
                                        rgb_color background)
{
	XSetWindowAttributes attributes;
	memset(&attributes, 0, sizeof(attributes));
	attributes.background_pixel = ((unsigned long)background.red << 16) |
	                              ((unsigned long)background.green << 8) | background.blue;
	attributes.bit_gravity = NorthWestGravity;
	attributes.event_mask = ExposureMask | StructureNotifyMask | ButtonPressMask |
	                        ButtonReleaseMask | PointerMotionMask | KeyPressMask | KeyReleaseMask |
	                        FocusChangeMask;
	::Window window =
	        XCreateWindow(fDisplay, fRoot, (int)frame.left, (int)frame.top,
	                      (unsigned int)frame.IntegerWidth() + 1,
	                      (unsigned int)frame.IntegerHeight() + 1, 0, CopyFromParent, InputOutput,
	                      CopyFromParent, CWBackPixel | CWBitGravity | CWEventMask, &attributes);
	if (window == 0)
		return 0;

	Atom protocols[] = {fWmDeleteWindow};
	XSetWMProtocols(fDisplay, window, protocols, 1);
	XClassHint classHint;
	char resName[] = "stria";
	char resClass[] = "Stria";
	classHint.res_name = resName;
	classHint.res_class = resClass;
	XSetClassHint(fDisplay, window, &classHint);
	XWMHints wmHints;
	memset(&wmHints, 0, sizeof(wmHints));
	wmHints.flags = InputHint | StateHint;
	wmHints.input = True;
	wmHints.initial_state = NormalState;
	XSetWMHints(fDisplay, window, &wmHints);
	long pid = getpid();
	XChangeProperty(fDisplay, window, fNetWmPid, XA_CARDINAL, 32, PropModeReplace,
	                (unsigned char*)&pid, 1);
	if ((flags & B_AVOID_FOCUS) != 0) {
		// A user time of 0 asks the window manager not to give the window
		// the focus when it is mapped; a click still does.
		long never = 0;
		XChangeProperty(fDisplay, window, fNetWmUserTime, XA_CARDINAL, 32, PropModeReplace,
		                (unsigned char*)&never, 1);
	}
	_SetTitle(window, title);
	_SetFlags(window, type, flags, frame);
	std::lock_guard<std::mutex> lock(fTargetsLock);
	fTargets[window] = Target{target, 0, 0, 0, frame};
	return window;
}

void X11Display::DestroyWindow(unsigned long window)
{
	{
		// No more events for it from now on.
		std::lock_guard<std::mutex> lock(fTargetsLock);
		fTargets.erase(window);
	}
	_Queue([=, this] { XDestroyWindow(fDisplay, window); });
}

void X11Display::Map(unsigned long window)
{
	_Queue([=, this] { XMapRaised(fDisplay, window); });
}

void X11Display::Unmap(unsigned long window)
{
	_Queue([=, this] { XUnmapWindow(fDisplay, window); });
}

void X11Display::SetTitle(unsigned long window, const char* title)
{
	std::string text = title != NULL ? title : "";
	_Queue([=, this] { _SetTitle(window, text); });
}

void X11Display::_SetTitle(unsigned long window, const std::string& title)
{
	XStoreName(fDisplay, window, title.c_str());
	XChangeProperty(fDisplay, window, fNetWmName, fUtf8String, 8, PropModeReplace,
	                (const unsigned char*)title.c_str(), title.size());
}

void X11Display::SetFlags(unsigned long window, window_type type, uint32 flags, BRect frame)
{
	_Queue([=, this] { _SetFlags(window, type, flags, frame); });
}

void X11Display::_SetFlags(unsigned long window, window_type type, uint32 flags, BRect frame)
{
	long functions = MWM_FUNC_RESIZE | MWM_FUNC_MOVE | MWM_FUNC_MINIMIZE | MWM_FUNC_MAXIMIZE |
	                 MWM_FUNC_CLOSE;
	long decorations = MWM_DECOR_BORDER | MWM_DECOR_RESIZEH | MWM_DECOR_TITLE | MWM_DECOR_MENU |
	                   MWM_DECOR_MINIMIZE | MWM_DECOR_MAXIMIZE;
	bool resizable = (flags & B_NOT_RESIZABLE) == 0;
	if (flags & B_NOT_CLOSABLE)
		functions &= ~MWM_FUNC_CLOSE;
	if (flags & B_NOT_ZOOMABLE) {
		functions &= ~MWM_FUNC_MAXIMIZE;
		decorations &= ~MWM_DECOR_MAXIMIZE;
	}
	if (flags & B_NOT_MINIMIZABLE) {
		functions &= ~MWM_FUNC_MINIMIZE;
		decorations &= ~MWM_DECOR_MINIMIZE;
	}
	if (flags & B_NOT_MOVABLE)
		functions &= ~MWM_FUNC_MOVE;
	if (!resizable) {
		functions &= ~(MWM_FUNC_RESIZE | MWM_FUNC_MAXIMIZE);
		decorations &= ~(MWM_DECOR_RESIZEH | MWM_DECOR_MAXIMIZE);
	}
	if (type == B_BORDERED_WINDOW || type == B_UNTYPED_WINDOW)
		decorations = type == B_BORDERED_WINDOW ? MWM_DECOR_BORDER : 0;
	long motif[5] = {MWM_HINTS_FUNCTIONS | MWM_HINTS_DECORATIONS, functions, decorations, 0, 0};

	Atom windowType = fTypeNormal;
	if (type == B_MODAL_WINDOW)
		windowType = fTypeDialog;
	else if (type == B_FLOATING_WINDOW)
		windowType = fTypeUtility;

	XSizeHints* sizeHints = XAllocSizeHints();
	sizeHints->flags = USPosition | PPosition | PSize;
	sizeHints->x = (int)frame.left;
	sizeHints->y = (int)frame.top;
	sizeHints->width = frame.IntegerWidth() + 1;
	sizeHints->height = frame.IntegerHeight() + 1;
	if (!resizable) {
		sizeHints->flags |= PMinSize | PMaxSize;
		sizeHints->min_width = sizeHints->max_width = sizeHints->width;
		sizeHints->min_height = sizeHints->max_height = sizeHints->height;
	}

	XChangeProperty(fDisplay, window, fMotifHints, fMotifHints, 32, PropModeReplace,
	                (unsigned char*)motif, 5);
	XChangeProperty(fDisplay, window, fNetWmWindowType, XA_ATOM, 32, PropModeReplace,
	                (unsigned char*)&windowType, 1);
	XSetWMNormalHints(fDisplay, window, sizeHints);
	XFree(sizeHints);
}

void X11Display::Move(unsigned long window, BPoint where)
{
	_Queue([=, this] { XMoveWindow(fDisplay, window, (int)where.x, (int)where.y); });
}

void X11Display::Resize(unsigned long window, float width, float height)
{
	_Queue([=, this] {
		XResizeWindow(fDisplay, window, (unsigned int)width + 1, (unsigned int)height + 1);
	});
}

void X11Display::_AskWindowManager(unsigned long window, unsigned long request, long first,
                                   long second)
{
	XEvent event;
	memset(&event, 0, sizeof(event));
	event.xclient.type = ClientMessage;
	event.xclient.window = window;
	event.xclient.message_type = request;
	event.xclient.format = 32;
	event.xclient.data.l[0] = first;
	event.xclient.data.l[1] = second;
	XSendEvent(fDisplay, fRoot, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
}

void X11Display::Activate(unsigned long window)
{
	_Queue([=, this] {
		XRaiseWindow(fDisplay, window);
		// Ask the window manager (if any) to give the window the focus; 1:
		// a request from an application.
		_AskWindowManager(window, fNetActiveWindow, 1, CurrentTime);
		XWindowAttributes attributes;
		if (XGetWindowAttributes(fDisplay, window, &attributes) &&
		    attributes.map_state == IsViewable) {
			XSetInputFocus(fDisplay, window, RevertToParent, CurrentTime);
		}
	});
}

void X11Display::SetWorkspaces(unsigned long window, uint32 workspaces)
{
	_Queue([=, this] {
		long desktop = -1;
		if (workspaces == B_ALL_WORKSPACES) {
			desktop = 0xffffffff;
		} else if (workspaces == B_CURRENT_WORKSPACE) {
			Atom type;
			int format;
			unsigned long count, after;
			unsigned char* data = NULL;
			if (XGetWindowProperty(fDisplay, fRoot, fNetCurrentDesktop, 0, 1, False, XA_CARDINAL,
			                       &type, &format, &count, &after, &data) == Success &&
			    data != NULL && count == 1) {
				desktop = *(long*)data;
			}
			if (data != NULL)
				XFree(data);
		} else {
			desktop = __builtin_ctz(workspaces);
		}
		if (desktop < 0)
			return;
		// Without a window manager that keeps desktops nothing happens.
		_AskWindowManager(window, fNetWmDesktop, desktop, 1);
	});
}

void X11Display::Paint(unsigned long window, cairo_surface_t* image)
{
	cairo_surface_reference(image);
	_Queue([=, this] {
		_Paint(window, image);
		cairo_surface_destroy(image);
	});
}

void X11Display::_Paint(unsigned long window, cairo_surface_t* image)
{
	// cairo's X backend sends the image through shared memory where the
	// server offers it, which keeps a busy X server's work small. Should
	// the server go away in the middle, this thread stays parked in there
	// with the locks of this connection's cairo device only.
	int width = cairo_image_surface_get_width(image);
	int height = cairo_image_surface_get_height(image);
	cairo_surface_t* surface = cairo_xlib_surface_create(
	        fDisplay, window, DefaultVisual(fDisplay, fScreen), width, height);
	cairo_t* cr = cairo_create(surface);
	cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
	cairo_set_source_surface(cr, image, 0, 0);
	cairo_paint(cr);
	cairo_destroy(cr);
	cairo_surface_flush(surface);
	cairo_surface_destroy(surface);
}

// #pragma mark - The connection's thread

void X11Display::_Thread()
{
	fWmProtocols = XInternAtom(fDisplay, "WM_PROTOCOLS", False);
	fWmDeleteWindow = XInternAtom(fDisplay, "WM_DELETE_WINDOW", False);
	fMotifHints = XInternAtom(fDisplay, "_MOTIF_WM_HINTS", False);
	fNetWmName = XInternAtom(fDisplay, "_NET_WM_NAME", False);
	fUtf8String = XInternAtom(fDisplay, "UTF8_STRING", False);
	fNetWmPid = XInternAtom(fDisplay, "_NET_WM_PID", False);
	fNetWmUserTime = XInternAtom(fDisplay, "_NET_WM_USER_TIME", False);
	fNetWmWindowType = XInternAtom(fDisplay, "_NET_WM_WINDOW_TYPE", False);
	fNetWmDesktop = XInternAtom(fDisplay, "_NET_WM_DESKTOP", False);
	fNetCurrentDesktop = XInternAtom(fDisplay, "_NET_CURRENT_DESKTOP", False);
	fNetActiveWindow = XInternAtom(fDisplay, "_NET_ACTIVE_WINDOW", False);
	fTypeNormal = XInternAtom(fDisplay, "_NET_WM_WINDOW_TYPE_NORMAL", False);
	fTypeDialog = XInternAtom(fDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False);
	fTypeUtility = XInternAtom(fDisplay, "_NET_WM_WINDOW_TYPE_UTILITY", False);

	struct Delivery {
		BMessenger target;
		BMessage message;
	};
	int connection = ConnectionNumber(fDisplay);
	for (;;) {
		// The windows' requests, in the order they came.
		std::deque<std::function<void()>> requests;
		{
			std::lock_guard<std::mutex> lock(fRequestsLock);
			requests.swap(fRequests);
		}
		for (std::function<void()>& request : requests)
			request();
		XFlush(fDisplay);

		std::vector<Delivery> deliveries;
		while (XPending(fDisplay) > 0) {
			XEvent event;
			XNextEvent(fDisplay, &event);
			Delivery delivery;
			if (_Translate(event, &delivery.target, &delivery.message))
				deliveries.push_back(delivery);
		}
		for (Delivery& delivery : deliveries)
			delivery.target.SendMessage(&delivery.message, (BHandler*)NULL, 1000000);

		{
			std::lock_guard<std::mutex> lock(fRequestsLock);
			if (!fRequests.empty())
				continue;
		}
		// New requests write to the pipe; the time-out is a backstop.
		struct pollfd fds[2] = {{connection, POLLIN, 0}, {fWakePipe[0], POLLIN, 0}};
		int ready = poll(fds, fWakePipe[0] >= 0 ? 2 : 1, 250);
		if (ready < 0 && errno != EINTR) {
			fprintf(stderr, "stria: cannot wait for events of the X display \"%s\": %s\n",
			        fName.c_str(), strerror(errno));
			break;
		}
		if (fds[1].revents & POLLIN) {
			char buffer[64];
			while (read(fWakePipe[0], buffer, sizeof(buffer)) > 0) {
			}
		}
	}
	fLost = true;
	_TellWindowsLost();
	{
		std::lock_guard<std::mutex> lock(fRequestsLock);
	}
	fRequestDone.notify_all();
}

void X11Display::_TellWindowsLost()
{
	std::vector<BMessenger> windows;
	{
		std::lock_guard<std::mutex> lock(fTargetsLock);
		for (const auto& [window, target] : fTargets)
			windows.push_back(target.messenger);
	}
	BMessage lost(STRIA_DISPLAY_LOST_MESSAGE);
	for (BMessenger& window : windows)
		window.SendMessage(&lost, (BHandler*)NULL, 1000000);
}

bool X11Display::_Translate(XEvent& event, BMessenger* target, BMessage* message)
{
	// Inside a window manager's frame a window's position is the frame's;
	// the one on the screen is asked for before the targets are locked (a
	// lost server's handler needs them).
	BPoint screen(event.xconfigure.x, event.xconfigure.y);
	if (event.type == ConfigureNotify && !event.xconfigure.send_event) {
		int x, y;
		::Window child;
		if (XTranslateCoordinates(fDisplay, event.xconfigure.window, fRoot, 0, 0, &x, &y, &child))
			screen.Set(x, y);
	}
	std::lock_guard<std::mutex> lock(fTargetsLock);
	auto found = fTargets.find(event.xany.window);
	if (found == fTargets.end())
		return false;
	Target& window = found->second;
	*target = window.messenger;

	switch (event.type) {
	case Expose:
		if (event.xexpose.count > 0)
			return false;
		message->what = STRIA_UPDATE_MESSAGE;
		return true;

	case MapNotify:
		message->what = STRIA_UPDATE_MESSAGE;
		return true;

	case ConfigureNotify: {
		BPoint where = screen;
		BRect frame(where.x, where.y, where.x + event.xconfigure.width - 1,
		            where.y + event.xconfigure.height - 1);
		if (frame == window.frame)
			return false;
		window.frame = frame;
		message->what = B_WINDOW_RESIZED;
		message->AddInt32("width", event.xconfigure.width - 1);
		message->AddInt32("height", event.xconfigure.height - 1);
		add_point(message, "where", where);
		return true;
	}

	case ButtonPress:
	case ButtonRelease: {
		XButtonEvent& button = event.xbutton;
		BPoint where(button.x, button.y);
		if (button.button >= Button4 && button.button <= 7) {
			if (event.type == ButtonRelease)
				return false;
			message->what = B_MOUSE_WHEEL_CHANGED;
			float delta = button.button == Button4 || button.button == 6 ? -1 : 1;
			bool vertical = button.button <= Button5;
			message->AddFloat("be:wheel_delta_x", vertical ? 0 : delta);
			message->AddFloat("be:wheel_delta_y", vertical ? delta : 0);
			add_point(message, "where", where);
			return true;
		}
		message->AddInt64("when", (int64)button.time * 1000);
		add_point(message, "where", where);
		message->AddInt32("modifiers", Modifiers(button.state));
		if (event.type == ButtonPress) {
			if (button.button == window.lastButton &&
			    button.time - window.lastPressTime < kDoubleClickTime)
				window.clicks++;
			else
				window.clicks = 1;
			window.lastButton = button.button;
			window.lastPressTime = button.time;
			message->what = B_MOUSE_DOWN;
			message->AddInt32("buttons", Buttons(button.state) | ButtonBit(button.button));
			message->AddInt32("clicks", window.clicks);
		} else {
			message->what = B_MOUSE_UP;
			message->AddInt32("buttons", Buttons(button.state) & ~ButtonBit(button.button));
		}
		return true;
	}

	case MotionNotify:
		message->what = B_MOUSE_MOVED;
		message->AddInt64("when", (int64)event.xmotion.time * 1000);
		add_point(message, "where", BPoint(event.xmotion.x, event.xmotion.y));
		message->AddInt32("buttons", Buttons(event.xmotion.state));
		return true;

	case KeyPress:
	case KeyRelease: {
		char latin1[16];
		KeySym keysym = 0;
		int length = XLookupString(&event.xkey, latin1, sizeof(latin1), &keysym, NULL);
		std::string bytes;
		int special = SpecialByte(keysym);
		if (special >= 0) {
			bytes = (char)special;
		} else {
			for (int i = 0; i < length; i++) {
				uint8 byte = (uint8)latin1[i];
				if (byte < 0x80) {
					bytes += (char)byte;
				} else {
					bytes += (char)(0xc0 | (byte >> 6));
					bytes += (char)(0x80 | (byte & 0x3f));
				}
			}
		}
		if (bytes.empty())
			return false;
		message->what = event.type == KeyPress ? B_KEY_DOWN : B_KEY_UP;
		message->AddInt64("when", (int64)event.xkey.time * 1000);
		message->AddInt32("modifiers", Modifiers(event.xkey.state));
		for (char byte : bytes)
			message->AddInt8("byte", (int8)byte);
		message->AddString("bytes", bytes.c_str());
		message->AddInt32("raw_char", (uint8)bytes[0]);
		return true;
	}

	case FocusIn:
	case FocusOut:
		message->what = B_WINDOW_ACTIVATED;
		message->AddBool("active", event.type == FocusIn);
		return true;

	case ClientMessage:
		if (event.xclient.message_type == fWmProtocols &&
		    (Atom)event.xclient.data.l[0] == fWmDeleteWindow) {
			message->what = B_QUIT_REQUESTED;
			return true;
		}
		return false;
	}
	return false;
}

} // namespace BPrivate
