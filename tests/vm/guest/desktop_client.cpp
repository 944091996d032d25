// The application a person types into, on the test machine's desktop: a
// plain X client that maps a window, takes the input focus and turns each
// key press into text under the X server's keymap, as any toolkit does. It
// logs what it gets (the format is in VmSessions.h) until it is stopped or
// its X server goes away.
//
//   vm_desktop_client LOG
#include "VmSessions.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

using stria::test::vm::Hex;
using stria::test::vm::kDesktopClientTitle;

namespace {

int sLog = -1;

long long Now()
{
	struct timespec now;
	clock_gettime(CLOCK_MONOTONIC, &now);
	return now.tv_sec * 1000000000LL + now.tv_nsec;
}

// One line at once: the guest reads the log while it grows.
void Log(const std::string& line)
{
	const std::string whole = line + "\n";
	if (::write(sLog, whole.data(), whole.size()) != static_cast<ssize_t>(whole.size()))
		std::perror("vm_desktop_client: log");
}

// A window that went away before its name was read is no reason to stop.
int IgnoreError(Display*, XErrorEvent*)
{
	return 0;
}

// Latin-1 from XLookupString, as UTF-8.
std::string Utf8(const char* latin1, int length)
{
	std::string text;
	for (int i = 0; i < length; i++) {
		const unsigned char byte = static_cast<unsigned char>(latin1[i]);
		if (byte < 0x80) {
			text += static_cast<char>(byte);
		} else {
			text += static_cast<char>(0xc0 | (byte >> 6));
			text += static_cast<char>(0x80 | (byte & 0x3f));
		}
	}
	return text;
}

} // namespace

int main(int argc, char** argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: vm_desktop_client LOG\n");
		return 2;
	}
	sLog = ::open(argv[1], O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
	if (sLog < 0) {
		std::perror(argv[1]);
		return 1;
	}
	// The input method turns key presses into UTF-8 text (dead keys too);
	// it needs a UTF-8 locale, and none is installed but the built-in one.
	std::setlocale(LC_ALL, "C.UTF-8");
	XSetLocaleModifiers("@im=none");
	Display* display = XOpenDisplay(nullptr);
	if (display == nullptr) {
		std::fprintf(stderr, "vm_desktop_client: cannot open the display\n");
		return 1;
	}
	XSetErrorHandler(IgnoreError);
	const Window root = DefaultRootWindow(display);
	// Other top-level windows being mapped (the viewer's).
	XSelectInput(display, root, SubstructureNotifyMask);
	const Window window = XCreateSimpleWindow(display, root, 600, 400, 300, 200, 0, 0, 0xffffff);
	XStoreName(display, window, kDesktopClientTitle);
	XSelectInput(display, window, KeyPressMask | FocusChangeMask | StructureNotifyMask);
	XIM method = XOpenIM(display, nullptr, nullptr, nullptr);
	XIC context = method == nullptr
	                      ? nullptr
	                      : XCreateIC(method, XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
	                                  XNClientWindow, window, XNFocusWindow, window, nullptr);
	XMapWindow(display, window);
	for (XEvent event;;) {
		XWindowEvent(display, window, StructureNotifyMask, &event);
		if (event.type == MapNotify)
			break;
	}
	XSetInputFocus(display, window, RevertToParent, CurrentTime);
	XSync(display, False);
	Log("ready " + std::to_string(window) + (context == nullptr ? " (no input method)" : ""));

	for (;;) {
		XEvent event;
		XNextEvent(display, &event);
		const long long when = Now();
		if (XFilterEvent(&event, None))
			continue;
		switch (event.type) {
		case KeyPress: {
			char buffer[64];
			KeySym keysym = NoSymbol;
			std::string text;
			if (context != nullptr) {
				Status status;
				const int length = Xutf8LookupString(context, &event.xkey, buffer, sizeof(buffer),
				                                     &keysym, &status);
				if (status == XLookupChars || status == XLookupBoth)
					text.assign(buffer, length);
			} else {
				const int length =
				        XLookupString(&event.xkey, buffer, sizeof(buffer), &keysym, nullptr);
				text = Utf8(buffer, length);
			}
			char symbol[16];
			std::snprintf(symbol, sizeof(symbol), "%lx", keysym);
			Log("key " + std::to_string(when) + " " + symbol + " " + Hex(text));
			break;
		}
		case FocusIn:
		case FocusOut:
			if (event.xfocus.window != window)
				break;
			if (context != nullptr)
				event.type == FocusIn ? XSetICFocus(context) : XUnsetICFocus(context);
			Log(std::string(event.type == FocusIn ? "focus-in " : "focus-out ") +
			    std::to_string(when));
			break;
		case MappingNotify:
			XRefreshKeyboardMapping(&event.xmapping);
			break;
		case MapNotify: {
			if (event.xmap.window == window)
				break;
			char* name = nullptr;
			XFetchName(display, event.xmap.window, &name);
			Log("mapped " + std::to_string(when) + " " + std::to_string(event.xmap.window) + " " +
			    (name != nullptr ? name : ""));
			if (name != nullptr)
				XFree(name);
			break;
		}
		}
	}
}
