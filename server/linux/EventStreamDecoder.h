// Puts 24-byte event records together from bytes that arrive in pieces of
// any size (a FIFO), checking each record as it completes.
#ifndef STRIA_EVENT_STREAM_DECODER_H
#define STRIA_EVENT_STREAM_DECODER_H

#include "EventRecord.h"

#include <span>
#include <string>
#include <vector>

namespace stria {

class EventStreamDecoder {
public:
	// Appends the records that bytes complete. At the first bad record it
	// returns false, Problem() says which and why, and it takes nothing more.
	bool Feed(std::span<const uint8> bytes, std::vector<EventRecord>& records);

	const std::string& Problem() const { return fProblem; }
	// Bytes of a record begun but not complete.
	size_t Pending() const { return fPartial.size(); }

private:
	std::vector<uint8> fPartial;
	int64 fCount = 0;
	std::string fProblem;
};

} // namespace stria

#endif // STRIA_EVENT_STREAM_DECODER_H
