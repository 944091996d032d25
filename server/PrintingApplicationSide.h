// --print: each message that reaches applications as one line.
#ifndef STRIA_PRINTING_APPLICATION_SIDE_H
#define STRIA_PRINTING_APPLICATION_SIDE_H

#include "ApplicationSide.h"

namespace stria {

class LineOutput;

class PrintingApplicationSide : public ApplicationSide {
public:
	explicit PrintingApplicationSide(LineOutput& output);

	void Deliver(const BMessage& message) override;

private:
	LineOutput& fOutput;
};

} // namespace stria

#endif // STRIA_PRINTING_APPLICATION_SIDE_H
