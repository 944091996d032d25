#include "PrintingApplicationSide.h"

#include "LineOutput.h"
#include "PrintedMessage.h"

namespace stria {

PrintingApplicationSide::PrintingApplicationSide(LineOutput& output) : fOutput(output) {}

void PrintingApplicationSide::Start(bigtime_t inputStart)
{
	fInputStart = inputStart;
}

void PrintingApplicationSide::Deliver(const BMessage& message)
{
	fOutput.Write(PrintedMessage(message, fInputStart));
}

} // namespace stria
