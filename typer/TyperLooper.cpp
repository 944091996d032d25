#include "TyperLooper.h"

#include "Typist.h"

#include <Message.h>
#include <StriaProtocol.h>

TyperLooper::TyperLooper(Typist* typist) : BLooper("typer"), fTypist(typist) {}

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
