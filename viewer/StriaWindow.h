// StriaWindow: the viewer window. It lists every code scanned while it is
// open, newest first, and shows the selected one in a tab on the right.
#ifndef STRIA_WINDOW_H
#define STRIA_WINDOW_H

#include <Window.h>

class BList;
class BMessenger;
class StriaCode;
class StriaCodeView;
class StriaListView;

class StriaWindow : public BWindow {
public:
	// How long AddCode waits for a window busy on its own thread.
	static const bigtime_t ADD_CODE_TIMEOUT = 250000;
	// How long ShowCode keeps trying a window that stays busy before it
	// gives the scan up (it has reached the subscribers already).
	static const bigtime_t SHOW_CODE_PATIENCE = 10000000;
	// How long CloseWindow waits for the window's lock.
	static const bigtime_t CLOSE_TIMEOUT = 5000000;

	// initial: items to show in list order (they pass to the window; the
	// list stays with the caller); may be NULL. The window starts hidden.
	// It never touches its owner's memory: the owner keeps a messenger to
	// it, which turns invalid once the window is gone.
	explicit StriaWindow(BRect frame, BList* initial = NULL);
	// Deletes every item of the list.
	~StriaWindow() override;

	// Agrees; from then on the window takes no more codes.
	bool QuitRequested() override;

	// Puts item at the top of the list, selects it and brings the window
	// forward. B_OK when the window took the item (and owns it); otherwise
	// the item stays with the caller: B_NOT_ALLOWED when the window is
	// quitting, B_TIMED_OUT when it could not be locked in time.
	status_t AddCode(StriaCode* item, bigtime_t timeout = ADD_CODE_TIMEOUT);
	bool IsQuitting() const { return fQuitting; }

	StriaListView* ListView() const { return fListView; }
	StriaCodeView* CodeView() const { return fCodeView; }

	// The window step of a scan: shows item in the owner's window, making
	// and showing one at frame (and pointing *window at it) when there is
	// none or when the one there is quitting or gone. A window that stays
	// busy is tried for patience, then the item is given up with a log line
	// (B_TIMED_OUT). Takes the item in every case. Only one thread at a
	// time may use *window.
	static status_t ShowCode(BMessenger* window, StriaCode* item, BRect frame,
	                         bigtime_t patience = SHOW_CODE_PATIENCE);
	// Quits the owner's window, if it is still there, and clears *window. A
	// window that cannot be locked within timeout is asked to quit once it
	// can, with a log line.
	static void CloseWindow(BMessenger* window, bigtime_t timeout = CLOSE_TIMEOUT);

private:
	static status_t _AddCodeTo(const BMessenger& window, StriaCode* item, bigtime_t timeout);

	StriaListView* fListView;
	StriaCodeView* fCodeView;
	// Set by QuitRequested, under the window's lock.
	bool fQuitting;
};

#endif // STRIA_WINDOW_H
