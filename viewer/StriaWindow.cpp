#include "StriaWindow.h"

#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"

#include <List.h>
#include <Message.h>
#include <Messenger.h>
#include <ScrollView.h>
#include <StriaLog.h>
#include <String.h>

#include <vector>

StriaWindow::StriaWindow(BRect frame, BList* initial)
    : BWindow(frame, "Stria", B_TITLED_WINDOW,
              B_NOT_CLOSABLE | B_NOT_ZOOMABLE | B_ASYNCHRONOUS_CONTROLS | B_AVOID_FOCUS,
              B_CURRENT_WORKSPACE),
      fListView(NULL), fCodeView(NULL), fQuitting(false)
{
	float width = frame.Width();
	float height = frame.Height();
	BRect listFrame(0, 0, width, height);
	listFrame.right -= B_V_SCROLL_BAR_WIDTH;
	listFrame.right -= 200;
	BRect codeFrame(width - 200, 0, width, height);

	fCodeView = new StriaCodeView(codeFrame, "tv");
	fListView = new StriaListView(listFrame, "StriaList", fCodeView);
	if (initial != NULL)
		fListView->AddList(initial);
	// The code view starts without a tab.
	fListView->DeselectAll();

	AddChild(new BScrollView("cuescroll", fListView, B_FOLLOW_ALL_SIDES, 0, false, true,
	                         B_FANCY_BORDER));
	AddChild(fCodeView);
	fCodeView->SetViewColor(216, 216, 216, 0);
}

StriaWindow::~StriaWindow()
{
	std::vector<BListItem*> items;
	for (int32 i = 0; i < fListView->CountItems(); i++)
		items.push_back(fListView->ItemAt(i));
	fListView->MakeEmpty();
	for (BListItem* item : items)
		delete item;
}

bool StriaWindow::QuitRequested()
{
	fQuitting = true;
	return true;
}

status_t StriaWindow::AddCode(StriaCode* item, bigtime_t timeout)
{
	if (item == NULL)
		return B_BAD_VALUE;
	status_t status = LockWithTimeout(timeout);
	if (status != B_OK)
		return status;
	if (fQuitting) {
		Unlock();
		return B_NOT_ALLOWED;
	}
	fListView->AddItem(item, 0);
	// Selecting calls SelectionChanged here, under this lock, which shows
	// the new item in the tab.
	fListView->Select(0, false);
	// The new row shows on the person's workspace, but the keyboard stays
	// with the application they type into (where a scan may be typed too).
	SetWorkspaces(B_CURRENT_WORKSPACE);
	Unlock();
	return B_OK;
}

status_t StriaWindow::_AddCodeTo(const BMessenger& window, StriaCode* item, bigtime_t timeout)
{
	// Locking through the messenger is safe when the window is gone already;
	// once locked, it stays alive until unlocked.
	status_t status = window.LockTargetWithTimeout(timeout);
	if (status != B_OK)
		return window.IsValid() ? status : B_BAD_HANDLER;
	BLooper* looper = NULL;
	window.Target(&looper);
	StriaWindow* target = dynamic_cast<StriaWindow*>(looper);
	status = target != NULL ? target->AddCode(item, timeout) : B_BAD_HANDLER;
	looper->Unlock();
	return status;
}

status_t StriaWindow::ShowCode(BMessenger* window, StriaCode* item, BRect frame, bigtime_t patience)
{
	bigtime_t deadline = system_time() + patience;
	for (;;) {
		if (!window->IsValid()) {
			StriaWindow* created = new StriaWindow(frame);
			*window = BMessenger(NULL, created);
			created->Show();
		}

		bigtime_t left = deadline - system_time();
		status_t status = _AddCodeTo(
		        *window, item, left < ADD_CODE_TIMEOUT ? (left > 0 ? left : 0) : ADD_CODE_TIMEOUT);
		if (status == B_OK)
			return B_OK;
		if (status == B_TIMED_OUT) {
			if (system_time() < deadline)
				continue;
			stria::Log("StriaFilter", "the viewer window does not respond; scan not shown: %s",
			           item->Text());
			delete item;
			return status;
		}
		// Quitting or gone: the next round makes a new one.
		*window = BMessenger();
	}
}

void StriaWindow::CloseWindow(BMessenger* window, bigtime_t timeout)
{
	BMessenger target = *window;
	*window = BMessenger();
	if (!target.IsValid())
		return;
	status_t status = target.LockTargetWithTimeout(timeout);
	if (status == B_OK) {
		BLooper* looper = NULL;
		target.Target(&looper);
		looper->Quit();
	} else if (target.IsValid()) {
		// Queued behind whatever keeps it busy.
		BMessage quit(B_QUIT_REQUESTED);
		target.SendMessage(&quit, (BHandler*)NULL, 0);
		stria::Log("StriaFilter", "the viewer window does not respond; it closes once it can");
	}
}
