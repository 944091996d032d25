#include "StriaWindow.h"

#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"

#include <List.h>
#include <Locker.h>
#include <Messenger.h>
#include <ScrollView.h>
#include <String.h>

#include <stdio.h>
#include <vector>

StriaWindow::StriaWindow(BRect frame, StriaWindow** ownerSlot, BLocker* ownerLock, BList* initial)
    : BWindow(frame, "Stria", B_TITLED_WINDOW,
              B_NOT_CLOSABLE | B_NOT_ZOOMABLE | B_ASYNCHRONOUS_CONTROLS, B_CURRENT_WORKSPACE),
      ownerSlot(NULL), ownerLock(ownerLock), listView(NULL), codeView(NULL), quitting(false)
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
	this->ownerSlot = ownerSlot;
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
	if (ownerLock != NULL)
		ownerLock->Lock();
	// Only this window's own entry: the owner may hold a newer one already.
	if (ownerSlot != NULL && *ownerSlot == this)
		*ownerSlot = NULL;
	if (ownerLock != NULL)
		ownerLock->Unlock();
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
	SetWorkspaces(B_CURRENT_WORKSPACE);
	Activate(true);
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
                               BRect frame)
{
	bigtime_t deadline = system_time() + SHOW_CODE_PATIENCE;
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

		status_t status = addCodeTo(target, item, ADD_CODE_TIMEOUT);
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

void StriaWindow::closeWindow(StriaWindow** ownerSlot, BLocker* ownerLock)
{
	BMessenger target;
	ownerLock->Lock();
	if (*ownerSlot != NULL)
		target = BMessenger(NULL, *ownerSlot);
	*ownerSlot = NULL;
	ownerLock->Unlock();
	if (!target.IsValid())
		return;
	status_t status = target.LockTargetWithTimeout(CLOSE_TIMEOUT);
	if (status == B_OK) {
		BLooper* looper = NULL;
		target.Target(&looper);
		looper->Quit();
	} else if (target.IsValid()) {
		fprintf(stderr, "stria: the viewer window does not respond; it stays open\n");
	}
}
