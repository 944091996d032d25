#include "XvfbDisplay.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <cairo.h>

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

void Sleep(int milliseconds)
{
	struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
	nanosleep(&pause, NULL);
}

bool Exists(const std::string& path)
{
	struct stat info;
	return stat(path.c_str(), &info) == 0;
}

} // namespace

XvfbDisplay::~XvfbDisplay()
{
	if (fDisplay != nullptr)
		XCloseDisplay(fDisplay);
	if (fServer > 0) {
		kill(fServer, SIGTERM);
		waitpid(fServer, NULL, 0);
	}
}

void XvfbDisplay::Kill()
{
	if (fDisplay != nullptr)
		XCloseDisplay(fDisplay);
	fDisplay = nullptr;
	if (fServer > 0) {
		kill(fServer, SIGKILL);
		waitpid(fServer, NULL, 0);
	}
	fServer = -1;
}

bool XvfbDisplay::Start(std::string* reason, int only)
{
	const char* candidates[] = {"/usr/bin/Xvfb", "/usr/local/bin/Xvfb"};
	const char* program = NULL;
	for (const char* candidate : candidates) {
		if (access(candidate, X_OK) == 0)
			program = candidate;
	}
	if (program == NULL) {
		*reason = "Xvfb is not installed (Debian package xvfb)";
		return false;
	}
	// A number nobody uses; another test starting its own server at the same
	// time makes ours fail, and the next number is tried.
	// A killed server leaves its lock and socket behind; the next server on
	// its number replaces them.
	for (int number = only >= 0 ? only : 90 + getpid() % 100; number < 400; number++) {
		std::string name = ":" + std::to_string(number);
		if (only >= 0 && number != only)
			break;
		if (only < 0 && (Exists("/tmp/.X" + std::to_string(number) + "-lock") ||
		                 Exists("/tmp/.X11-unix/X" + std::to_string(number))))
			continue;
		pid_t child = fork();
		if (child < 0) {
			*reason = std::string("fork failed: ") + strerror(errno);
			return false;
		}
		if (child == 0) {
			int null = open("/dev/null", O_RDWR);
			dup2(null, 0);
			dup2(null, 1);
			dup2(null, 2);
			execl(program, program, name.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
			      (char*)NULL);
			_exit(127);
		}
		for (int wait = 0; wait < 200; wait++) {
			int status;
			if (waitpid(child, &status, WNOHANG) == child) {
				child = -1;
				break;
			}
			if (Exists("/tmp/.X11-unix/X" + std::to_string(number))) {
				fDisplay = XOpenDisplay(name.c_str());
				if (fDisplay != nullptr)
					break;
			}
			Sleep(50);
		}
		if (fDisplay != nullptr) {
			fServer = child;
			fName = name;
			fNumber = number;
			int event, error, major, minor;
			fHasXTest = XTestQueryExtension(fDisplay, &event, &error, &major, &minor);
			return true;
		}
		if (child > 0) {
			kill(child, SIGTERM);
			waitpid(child, NULL, 0);
		}
	}
	*reason = "Xvfb did not start on any display number";
	return false;
}

std::vector<Window> XvfbDisplay::TopLevelWindows() const
{
	std::vector<Window> windows;
	Window root, parent, *children = NULL;
	unsigned int count = 0;
	if (XQueryTree(fDisplay, DefaultRootWindow(fDisplay), &root, &parent, &children, &count)) {
		for (unsigned int i = 0; i < count; i++)
			windows.push_back(children[i]);
		XFree(children);
	}
	return windows;
}

Window XvfbDisplay::FindWindow(const char* title) const
{
	for (Window window : TopLevelWindows()) {
		XWindowAttributes attributes;
		if (!XGetWindowAttributes(fDisplay, window, &attributes) ||
		    attributes.map_state != IsViewable)
			continue;
		char* name = NULL;
		bool match =
		        XFetchName(fDisplay, window, &name) && name != NULL && strcmp(name, title) == 0;
		if (name != NULL)
			XFree(name);
		if (match)
			return window;
	}
	return 0;
}

bool XvfbDisplay::Screenshot(const std::string& path) const
{
	Window root = DefaultRootWindow(fDisplay);
	XWindowAttributes attributes;
	XGetWindowAttributes(fDisplay, root, &attributes);
	XImage* image = XGetImage(fDisplay, root, 0, 0, attributes.width, attributes.height, AllPlanes,
	                          ZPixmap);
	if (image == NULL)
		return false;
	cairo_surface_t* surface =
	        cairo_image_surface_create(CAIRO_FORMAT_RGB24, attributes.width, attributes.height);
	unsigned char* data = cairo_image_surface_get_data(surface);
	int stride = cairo_image_surface_get_stride(surface);
	for (int y = 0; y < attributes.height; y++) {
		uint32_t* row = (uint32_t*)(data + y * stride);
		for (int x = 0; x < attributes.width; x++)
			row[x] = XGetPixel(image, x, y) & 0xffffff;
	}
	cairo_surface_mark_dirty(surface);
	bool written = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
	cairo_surface_destroy(surface);
	XDestroyImage(image);
	return written;
}

void XvfbDisplay::Click(int x, int y) const
{
	if (fHasXTest) {
		XTestFakeMotionEvent(fDisplay, -1, x, y, 0);
		XTestFakeButtonEvent(fDisplay, 1, True, 0);
		XTestFakeButtonEvent(fDisplay, 1, False, 0);
		XSync(fDisplay, False);
		return;
	}
	// Without XTEST: a button press and release sent to the window under
	// the point.
	Window root = DefaultRootWindow(fDisplay), child = 0;
	int localX, localY;
	XTranslateCoordinates(fDisplay, root, root, x, y, &localX, &localY, &child);
	if (child == 0)
		return;
	XTranslateCoordinates(fDisplay, root, child, x, y, &localX, &localY, &root);
	for (int type : {ButtonPress, ButtonRelease}) {
		XEvent event;
		memset(&event, 0, sizeof(event));
		event.xbutton.type = type;
		event.xbutton.window = child;
		event.xbutton.x = localX;
		event.xbutton.y = localY;
		event.xbutton.x_root = x;
		event.xbutton.y_root = y;
		event.xbutton.button = Button1;
		event.xbutton.state = type == ButtonRelease ? Button1Mask : 0;
		event.xbutton.same_screen = True;
		XSendEvent(fDisplay, child, True, ButtonPressMask | ButtonReleaseMask, &event);
	}
	XSync(fDisplay, False);
}

void XvfbDisplay::Wheel(int x, int y, bool down) const
{
	if (!fHasXTest)
		return;
	XTestFakeMotionEvent(fDisplay, -1, x, y, 0);
	XTestFakeButtonEvent(fDisplay, down ? 5 : 4, True, 0);
	XTestFakeButtonEvent(fDisplay, down ? 5 : 4, False, 0);
	XSync(fDisplay, False);
}

void XvfbDisplay::PressKey(unsigned long keysym) const
{
	KeyCode code = XKeysymToKeycode(fDisplay, keysym);
	if (fHasXTest) {
		XTestFakeKeyEvent(fDisplay, code, True, 0);
		XTestFakeKeyEvent(fDisplay, code, False, 0);
	}
	XSync(fDisplay, False);
}
