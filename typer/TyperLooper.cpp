#include "TyperLooper.h"

#include "Typist.h"

#include <Message.h>
#include <StriaProtocol.h>

TyperLooper::TyperLooper(Typist* typist, Logger log)
    : BLooper("typer"), fTypist(typist), fLog(std::move(log))
{
}

TyperLooper::~TyperLooper()
{
	if (int64 more = fRefusals.EndRun()) {
		fLog(std::to_string(more) + " more message" + (more == 1 ? " was" : "s were") +
		     " refused for coming from another process");
	}
}

void TyperLooper::DispatchMessage(BMessage* message, BHandler* handler)
{
	// Before anything acts on it, a quit request included: what comes from
	// another process could type anything where the person is typing.
	if (message->IsSourceRemote()) {
		fRefused++;
		if (fRefusals.Drop()) {
			fLog("refused a message from another process (pid " +
			     std::to_string(message->_SourceTeam()) +
			     "): only the filter of this server gives the typer scans (more are counted)");
		}
		return;
	}
	BLooper::DispatchMessage(message, handler);
}

void TyperLooper::MessageReceived(BMessage* message)
{
	switch (message->what) {
	case STRIA_CATSCAN: {
		const char* barcode = NULL;
		bool checkFailed = false;
		message->FindBool(STRIA_CHECK_FAILED_FIELD, &checkFailed);
		if (message->FindString(STRIA_BARCODE_FIELD, &barcode) == B_OK && barcode != NULL)
			fTypist->Type(barcode, checkFailed);
		break;
	}
	case STRIA_SHUTDOWN:
		// The filter is gone; no scan comes any more.
		break;
	default:
		BLooper::MessageReceived(message);
		break;
	}
}
