// Interface kit: BWindow, a looper with its own thread that owns a tree of
// views. With DISPLAY set, a shown window is an X11 top-level window; any
// window can be drawn into a PNG image (see private/WindowSnapshot.h).
#ifndef _WINDOW_H
#define _WINDOW_H

#include <InterfaceDefs.h>
#include <Looper.h>
#include <Rect.h>

class BView;

enum window_type {
	B_UNTYPED_WINDOW = 0,
	B_TITLED_WINDOW = 1,
	B_MODAL_WINDOW = 3,
	B_DOCUMENT_WINDOW = 11,
	B_BORDERED_WINDOW = 20,
	B_FLOATING_WINDOW = 21
};

// Window flags.
enum {
	B_NOT_MOVABLE = 0x00000001,
	B_NOT_CLOSABLE = 0x00000020,
	B_NOT_ZOOMABLE = 0x00000040,
	B_NOT_MINIMIZABLE = 0x00004000,
	B_NOT_RESIZABLE = 0x00000002,
	B_NOT_H_RESIZABLE = 0x00000004,
	B_NOT_V_RESIZABLE = 0x00000008,
	B_AVOID_FRONT = 0x00000080,
	B_AVOID_FOCUS = 0x00002000,
	B_WILL_ACCEPT_FIRST_CLICK = 0x00000010,
	B_OUTLINE_RESIZE = 0x00001000,
	B_NO_WORKSPACE_ACTIVATION = 0x00000100,
	B_NOT_ANCHORED_ON_ACTIVATE = 0x00020000,
	B_ASYNCHRONOUS_CONTROLS = 0x00080000,
	B_QUIT_ON_WINDOW_CLOSE = 0x00100000
};

#define B_CURRENT_WORKSPACE 0
#define B_ALL_WORKSPACES 0xffffffff

class BWindow : public BLooper {
public:
	// The frame is the content area in screen coordinates. The window starts
	// hidden; the first Show starts its thread.
	BWindow(BRect frame, const char* title, window_type type, uint32 flags,
	        uint32 workspace = B_CURRENT_WORKSPACE);
	// Deletes every view still attached.
	~BWindow() override;

	// Hides the window and quits the looper, which deletes the window.
	void Quit() override;

	void Show();
	void Hide();
	bool IsHidden() const;
	void Activate(bool active = true);
	bool IsActive() const;
	void SetWorkspaces(uint32 workspaces);
	uint32 Workspaces() const;

	BRect Frame() const;
	BRect Bounds() const;
	void MoveTo(BPoint where);
	void MoveTo(float x, float y) { MoveTo(BPoint(x, y)); }
	void MoveBy(float dx, float dy);
	void ResizeTo(float width, float height);
	void ResizeBy(float dx, float dy);

	const char* Title() const;
	void SetTitle(const char* title);
	window_type Type() const;
	uint32 Flags() const;
	void SetFlags(uint32 flags);

	void AddChild(BView* child, BView* before = NULL);
	bool RemoveChild(BView* child);
	int32 CountChildren() const;
	BView* ChildAt(int32 index) const;
	BView* FindView(const char* name) const;
	// The deepest visible view under a point in window coordinates.
	BView* FindView(BPoint point) const;
	BView* CurrentFocus() const;

	// Hooks.
	virtual void FrameMoved(BPoint newPosition);
	virtual void FrameResized(float newWidth, float newHeight);
	virtual void WindowActivated(bool active);

	void DispatchMessage(BMessage* message, BHandler* handler) override;
	void MessageReceived(BMessage* message) override;

	struct Private;

private:
	friend class BView;

	void _SetFocus(BView* view, bool focus);
	void _ViewRemoved(BView* view);
	void _Invalidate();
	// Makes and maps the window's X window when a display can be opened.
	void _ShowOnDisplay();
	void _HandleMouse(BMessage* message);
	void _HandleKey(BMessage* message);
	void _Resized(float width, float height, bool fromDisplay);

	Private* fPrivate;
};

#endif // _WINDOW_H
