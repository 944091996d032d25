// Test support: a private X server (Xvfb) on a free display number, and
// what tests do on it: find windows, take screenshots, click and type
// through XTEST.
#ifndef STRIA_TEST_XVFB_DISPLAY_H
#define STRIA_TEST_XVFB_DISPLAY_H

#include <X11/Xlib.h>

#include <string>
#include <sys/types.h>
#include <vector>

class XvfbDisplay {
public:
	XvfbDisplay() = default;
	~XvfbDisplay();
	XvfbDisplay(const XvfbDisplay&) = delete;
	XvfbDisplay& operator=(const XvfbDisplay&) = delete;

	// Starts Xvfb with a 1024x768 screen; false with a reason when it
	// cannot. With a number, on that display only (one whose server was
	// killed, say).
	bool Start(std::string* reason, int number = -1);
	// Kills the X server the way a crash would (SIGKILL), after closing the
	// test's own connection to it.
	void Kill();
	int Number() const { return fNumber; }
	// ":N"
	const std::string& Name() const { return fName; }
	Display* Connection() const { return fDisplay; }

	// The mapped top-level window with this title (WM_NAME), or 0.
	Window FindWindow(const char* title) const;
	std::vector<Window> TopLevelWindows() const;
	// Writes the whole screen into a PNG file.
	bool Screenshot(const std::string& path) const;
	void Click(int x, int y) const;
	// A turn of the mouse wheel at x, y: X buttons 4 (up) and 5 (down).
	void Wheel(int x, int y, bool down) const;
	void PressKey(unsigned long keysym) const;
	bool HasXTest() const { return fHasXTest; }

private:
	pid_t fServer = -1;
	Display* fDisplay = nullptr;
	std::string fName;
	int fNumber = -1;
	bool fHasXTest = false;
};

#endif // STRIA_TEST_XVFB_DISPLAY_H
