// Application kit: BApplication, a looper run on the main thread.
#ifndef _APPLICATION_H
#define _APPLICATION_H

#include <Looper.h>
#include <Messenger.h>

class BApplication : public BLooper {
public:
	explicit BApplication(const char* signature);
	~BApplication() override;

	// Runs the message loop on the calling thread until Quit; ReadyToRun is
	// the first message handled.
	thread_id Run() override;
	// Ends Run: after the current message when called from Run's thread,
	// else after the messages queued before. Does not delete the object.
	void Quit() override;
	virtual void ReadyToRun();
	void DispatchMessage(BMessage* message, BHandler* handler) override;

	const char* Signature() const;

private:
	char* fSignature;
};

extern BApplication* be_app;
// A messenger to be_app, valid while it exists.
extern BMessenger be_app_messenger;

#endif // _APPLICATION_H
