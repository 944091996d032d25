// Application kit: BApplication, a looper run on the main thread.
#ifndef _APPLICATION_H
#define _APPLICATION_H

#include <Looper.h>

class BApplication : public BLooper {
public:
	explicit BApplication(const char* signature);
	~BApplication() override;

	// Runs the message loop on the calling thread until Quit.
	thread_id Run() override;
	void Quit() override;
	virtual void ReadyToRun();

	const char* Signature() const;

private:
	char* fSignature;
};

extern BApplication* be_app;

#endif  // _APPLICATION_H
