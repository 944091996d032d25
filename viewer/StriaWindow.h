// StriaWindow: the viewer window. It lists every code scanned while it is
// open, newest first, and shows the selected one in a tab on the right.
#ifndef STRIA_WINDOW_H
#define STRIA_WINDOW_H

#include <Window.h>

#include <memory>

class BList;
class BLocker;
class BMessenger;
class StriaCode;
class StriaCodeView;
class StriaListView;

class StriaWindow : public BWindow {
public:
	// How long addCode waits for a window busy on its own thread.
	static const bigtime_t ADD_CODE_TIMEOUT = 250000;
	// How long showCode keeps trying a window that stays busy before it
	// gives the scan up (it has reached the subscribers already).
	static const bigtime_t SHOW_CODE_PATIENCE = 10000000;
	// How long closeWindow waits for the window's lock.
	static const bigtime_t CLOSE_TIMEOUT = 5000000;

	// ownerSlot: the owner's pointer to this window, cleared under
	// ownerLock when the window agrees to quit (until closeWindow lets go of
	// the window: from then on the window never touches either). initial:
	// items to show in list order (they pass to the window; the list stays
	// with the caller); may be NULL. The window starts hidden.
	StriaWindow(BRect frame, StriaWindow** ownerSlot, BLocker* ownerLock, BList* initial = NULL);
	// Deletes every item of the list.
	~StriaWindow() override;

	// Clears the owner's pointer and agrees; from then on the window takes
	// no more codes.
	bool QuitRequested() override;

	// Puts item at the top of the list, selects it and brings the window
	// forward. B_OK when the window took the item (and owns it); otherwise
	// the item stays with the caller: B_NOT_ALLOWED when the window is
	// quitting, B_TIMED_OUT when it could not be locked in time.
	status_t addCode(StriaCode* item, bigtime_t timeout = ADD_CODE_TIMEOUT);
	bool isQuitting() const { return quitting; }

	StriaListView* getListView() const { return listView; }
	StriaCodeView* getCodeView() const { return codeView; }

	// The window step of a scan: shows item in the owner's window, making
	// and showing one at frame when there is none or when the one there is
	// quitting. A window that stays busy is tried for patience, then the
	// item is given up with a log line (B_TIMED_OUT). ownerLock guards
	// *ownerSlot and is never held while the window is locked. Takes the
	// item in every case.
	static status_t showCode(StriaWindow** ownerSlot, BLocker* ownerLock, StriaCode* item,
	                         BRect frame, bigtime_t patience = SHOW_CODE_PATIENCE);
	// Quits the owner's window, if there is one, and clears the pointer.
	// The window lets go of the owner first, so that it never touches
	// *ownerSlot or ownerLock again: the owner may go as soon as this
	// returns. A window that cannot be locked within timeout is asked to
	// quit once it can, with a log line.
	static void closeWindow(StriaWindow** ownerSlot, BLocker* ownerLock,
	                        bigtime_t timeout = CLOSE_TIMEOUT);

private:
	class OwnerLink;

	static status_t addCodeTo(const BMessenger& window, StriaCode* item, bigtime_t timeout);

	// The way back to the owner's pointer; shared with closeWindow, which
	// may cut it while the window goes away on its own thread.
	std::shared_ptr<OwnerLink> owner;
	StriaListView* listView;
	StriaCodeView* codeView;
	// Set by QuitRequested, under the window's lock.
	bool quitting;
};

#endif // STRIA_WINDOW_H
