#include "StriaWindow.h"

#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"

#include <List.h>
#include <Locker.h>
#include <Message.h>
#include <Messenger.h>
#include <ScrollView.h>
#include <String.h>

#include <mutex>
#include <stdio.h>
#include <vector>

// The owner's pointer to the window and the lock that guards it, until
// closeWindow cuts the link. Held by the window and, while it closes the
// window, by closeWindow: the window may be gone by then, the link not.
class StriaWindow::OwnerLink {
public:
	OwnerLink(StriaWindow** slot, BLocker* lock) : fSlot(slot), fOwnerLock(lock) {}

	// Clears the owner's pointer if it still points at window.
	void Forget(StriaWindow* window)
	{
		std::lock_guard link(fLock);
		if (fSlot == NULL)
			return;
		if (fOwnerLock != NULL)
			fOwnerLock->Lock();
		if (*fSlot == window)
			*fSlot = NULL;
		if (fOwnerLock != NULL)
			fOwnerLock->Unlock();
	}

	// From here on the owner's memory is never touched again; waits for a
	// Forget under way.
	void Cut()
	{
		std::lock_guard link(fLock);
		fSlot = NULL;
		fOwnerLock = NULL;
	}

private:
	// Taken before the owner's lock, never after it.
	std::mutex fLock;
	StriaWindow** fSlot;
	BLocker* fOwnerLock;
};

StriaWindow::StriaWindow(BRect frame, StriaWindow** ownerSlot, BLocker* ownerLock, BList* initial)
    : BWindow(frame, "Stria", B_TITLED_WINDOW,
              B_NOT_CLOSABLE | B_NOT_ZOOMABLE | B_ASYNCHRONOUS_CONTROLS | B_AVOID_FOCUS,
              B_CURRENT_WORKSPACE),
      owner(std::make_shared<OwnerLink>(ownerSlot, ownerLock)), listView(NULL), codeView(NULL),
      quitting(false)
{
	float width = frame.Width();
	float height = frame.Height();
	BRect listFrame(0, 0, width, height);
	listFrame.right -= B_V_SCROLL_BAR_WIDTH;
	listFrame.right -= 200;
	BRect codeFrame(width - 200, 0, width, height);

	codeView = new StriaCodeView(codeFrame, "tv");
	listView = new StriaListView(listFrame, "StriaList", codeView);
	if (initial != NULL)
		listView->AddList(initial);
	// The code view starts without a tab.
	listView->DeselectAll();

	AddChild(new BScrollView("cuescroll", listView, B_FOLLOW_ALL_SIDES, 0, false, true,
	                         B_FANCY_BORDER));
	AddChild(codeView);
	codeView->SetViewColor(216, 216, 216, 0);
}

StriaWindow::~StriaWindow()
{
	std::vector<BListItem*> items;
	for (int32 i = 0; i < listView->CountItems(); i++)
		items.push_back(listView->ItemAt(i));
	listView->MakeEmpty();
	for (BListItem* item : items)
		delete item;
}

bool StriaWindow::QuitRequested()
{
	// Only this window's own entry: the owner may hold a newer one already.
	owner->Forget(this);
	quitting = true;
	return true;
}

status_t StriaWindow::addCode(StriaCode* item, bigtime_t timeout)
{
	if (item == NULL)
		return B_BAD_VALUE;
	status_t status = LockWithTimeout(timeout);
	if (status != B_OK)
		return status;
	if (quitting) {
		Unlock();
		return B_NOT_ALLOWED;
	}
	listView->AddItem(item, 0);
	// Selecting calls SelectionChanged here, under this lock, which shows
	// the new item in the tab.
	listView->Select(0, false);
	// The new row shows on the person's workspace, but the keyboard stays
	// with the application they type into (where a scan may be typed too).
	SetWorkspaces(B_CURRENT_WORKSPACE);
	Unlock();
	return B_OK;
}

status_t StriaWindow::addCodeTo(const BMessenger& window, StriaCode* item, bigtime_t timeout)
{
	// Locking through the messenger is safe when the window is gone already;
	// once locked, it stays alive until unlocked.
	status_t status = window.LockTargetWithTimeout(timeout);
	if (status != B_OK)
		return window.IsValid() ? status : B_BAD_HANDLER;
	BLooper* looper = NULL;
	window.Target(&looper);
	StriaWindow* target = dynamic_cast<StriaWindow*>(looper);
	status = target != NULL ? target->addCode(item, timeout) : B_BAD_HANDLER;
	looper->Unlock();
	return status;
}

status_t StriaWindow::showCode(StriaWindow** ownerSlot, BLocker* ownerLock, StriaCode* item,
                               BRect frame, bigtime_t patience)
{
	bigtime_t deadline = system_time() + patience;
	for (;;) {
		StriaWindow* created = NULL;
		StriaWindow* current;
		BMessenger target;
		{
			// The owner's lock only guards the pointer. While it is set the
			// window has not agreed to quit, so it is alive here.
			ownerLock->Lock();
			if (*ownerSlot == NULL) {
				created = new StriaWindow(frame, ownerSlot, ownerLock);
				*ownerSlot = created;
			}
			current = *ownerSlot;
			target = BMessenger(NULL, current);
			ownerLock->Unlock();
		}
		if (created != NULL)
			created->Show();

		bigtime_t left = deadline - system_time();
		status_t status = addCodeTo(
		        target, item, left < ADD_CODE_TIMEOUT ? (left > 0 ? left : 0) : ADD_CODE_TIMEOUT);
		if (status == B_OK)
			return B_OK;
		if (status == B_TIMED_OUT) {
			if (system_time() < deadline)
				continue;
			fprintf(stderr, "stria: the viewer window does not respond; scan not shown: %s\n",
			        item->Text());
			delete item;
			return status;
		}
		// Quitting or gone: its QuitRequested has cleared the pointer, or
		// it went without asking; either way the next round makes a new one.
		ownerLock->Lock();
		if (*ownerSlot == current && !target.IsValid())
			*ownerSlot = NULL;
		ownerLock->Unlock();
	}
}

void StriaWindow::closeWindow(StriaWindow** ownerSlot, BLocker* ownerLock, bigtime_t timeout)
{
	BMessenger target;
	std::shared_ptr<OwnerLink> link;
	ownerLock->Lock();
	// While the pointer is set the window has not agreed to quit, so it is
	// alive here.
	if (*ownerSlot != NULL) {
		target = BMessenger(NULL, *ownerSlot);
		link = (*ownerSlot)->owner;
	}
	*ownerSlot = NULL;
	ownerLock->Unlock();
	if (link)
		link->Cut();
	if (!target.IsValid())
		return;
	status_t status = target.LockTargetWithTimeout(timeout);
	if (status == B_OK) {
		BLooper* looper = NULL;
		target.Target(&looper);
		looper->Quit();
	} else if (target.IsValid()) {
		// Queued behind whatever keeps it busy; it no longer needs its owner.
		BMessage quit(B_QUIT_REQUESTED);
		target.SendMessage(&quit, (BHandler*)NULL, 0);
		fprintf(stderr, "stria: the viewer window does not respond; it closes once it can\n");
	}
}
