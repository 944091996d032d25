#include "EventStreamDecoder.h"

namespace stria {

bool EventStreamDecoder::Feed(std::span<const uint8> bytes, std::vector<EventRecord>& records)
{
	if (!fProblem.empty())
		return false;
	for (uint8 byte : bytes) {
		fPartial.push_back(byte);
		if (fPartial.size() < EventRecord::kSize)
			continue;
		const EventRecord record = EventRecord::Decode(fPartial.data());
		fPartial.clear();
		fCount++;
		const std::string problem = record.Problem();
		if (!problem.empty()) {
			fProblem = "record " + std::to_string(fCount) + ": " + problem;
			return false;
		}
		records.push_back(record);
	}
	return true;
}

} // namespace stria
