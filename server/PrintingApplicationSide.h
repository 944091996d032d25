// --print: each message that reaches applications as one line, its stamp
// counted from the moment the server began reading input.
#ifndef STRIA_PRINTING_APPLICATION_SIDE_H
#define STRIA_PRINTING_APPLICATION_SIDE_H

#include "ApplicationSide.h"

#include <atomic>

namespace stria {

class LineOutput;

class PrintingApplicationSide : public ApplicationSide {
public:
	explicit PrintingApplicationSide(LineOutput& output);

	void Start(bigtime_t inputStart) override;
	void Deliver(const BMessage& message) override;

private:
	LineOutput& fOutput;
	std::atomic<bigtime_t> fInputStart{0};
};

} // namespace stria

#endif // STRIA_PRINTING_APPLICATION_SIDE_H
