#include "PrintingSubscriber.h"

#include "LineOutput.h"
#include "PrintedMessage.h"

#include <Message.h>
#include <StriaProtocol.h>
#include <printable_code.h>

#include <chrono>

namespace stria {

PrintingSubscriber::PrintingSubscriber(LineOutput& output) : BLooper("subscriber"), fOutput(output)
{
}

void PrintingSubscriber::DispatchMessage(BMessage* message, BHandler* handler)
{
	if (message->IsSourceRemote())
		return;
	BLooper::DispatchMessage(message, handler);
}

void PrintingSubscriber::MessageReceived(BMessage* message)
{
	switch (message->what) {
	case STRIA_CATSCAN: {
		const char* barcode = NULL;
		if (message->FindString(STRIA_BARCODE_FIELD, &barcode) != B_OK || barcode == NULL)
			barcode = "";
		fOutput.Write("CATSCAN " + printable_code(barcode));
		break;
	}
	case STRIA_SHUTDOWN: {
		fOutput.Write("SHUTDOWN");
		std::lock_guard lock(fLock);
		fShutdown = true;
		fShutdownCame.notify_all();
		break;
	}
	default:
		BLooper::MessageReceived(message);
		break;
	}
}

bool PrintingSubscriber::WaitForShutdown(bigtime_t timeout)
{
	std::unique_lock lock(fLock);
	return fShutdownCame.wait_for(lock, std::chrono::microseconds(timeout),
	                              [this] { return fShutdown; });
}

} // namespace stria
