// X11Keymap: the keyboard layout the X server applies now, read from the
// server's XKB keymap through libxkbcommon-x11 and kept up to date by the
// server's own notices: a new keymap (setxkbmap, a new keyboard) or another
// layout group locked (the person switches between layouts). The notices
// wait on the connection and are read when the layout is asked for, so no
// thread watches the display.
#ifndef STRIA_X11_KEYMAP_H
#define STRIA_X11_KEYMAP_H

#include <SupportDefs.h>

#include <memory>
#include <string>

class LayoutKeys;
struct xcb_connection_t;
struct xkb_context;
struct xkb_keymap;

class X11Keymap {
public:
	// Connects to display (as DISPLAY names it); nullptr, with the reason
	// in *error, when no X server answers there or it has no XKB.
	static std::unique_ptr<X11Keymap> Connect(const std::string& display, std::string* error);
	~X11Keymap();

	X11Keymap(const X11Keymap&) = delete;
	X11Keymap& operator=(const X11Keymap&) = delete;

	// The layout the server types with now, built anew only when its
	// notices say the keymap or the locked group changed. nullptr, with the
	// reason in *error, once the connection is lost.
	std::shared_ptr<const LayoutKeys> Current(std::string* error);

	const std::string& Display() const { return fDisplay; }

private:
	X11Keymap(std::string display, xcb_connection_t* connection, xkb_context* context,
	          uint8 firstEvent, int32 device);
	// Reads the server's keymap and locked group; false when it cannot.
	bool _ReadKeymap();
	void _Build();

	std::string fDisplay;
	xcb_connection_t* fConnection;
	xkb_context* fContext;
	uint8 fFirstEvent;
	int32 fDevice;
	xkb_keymap* fKeymap = nullptr;
	uint32 fGroup = 0;
	std::shared_ptr<const LayoutKeys> fLayout;
};

#endif // STRIA_X11_KEYMAP_H
