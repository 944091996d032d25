// BApplication: a looper whose loop runs on the thread that calls Run.
#include <Application.h>

#include <Message.h>

#include <cstdlib>
#include <cstring>

BApplication* be_app = NULL;
BMessenger be_app_messenger;

BApplication::BApplication(const char* signature)
    : BLooper(signature), fSignature(signature != NULL ? strdup(signature) : NULL)
{
	be_app = this;
	be_app_messenger = BMessenger(this);
}

BApplication::~BApplication()
{
	if (be_app == this) {
		be_app = NULL;
		be_app_messenger = BMessenger();
	}
	free(fSignature);
}

thread_id BApplication::Run()
{
	if (_RunCalled())
		return B_ALREADY_RUNNING;
	PostMessage(B_READY_TO_RUN);
	// The constructor's lock is held by this thread unless it was given up.
	while (IsLocked())
		Unlock();
	_RunLoop();
	while (IsLocked())
		Unlock();
	return find_thread(NULL);
}

void BApplication::Quit()
{
	bool unlock = false;
	if (!IsLocked()) {
		if (!Lock())
			return;
		unlock = true;
	}
	if (!_RunCalled() || _IsLoopThread())
		_SetTerminating();
	else
		_PostQuit();
	if (unlock)
		Unlock();
}

void BApplication::ReadyToRun() {}

void BApplication::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->what == B_READY_TO_RUN && handler == this) {
		ReadyToRun();
		return;
	}
	BLooper::DispatchMessage(message, handler);
}

const char* BApplication::Signature() const
{
	return fSignature;
}
