// A file of recorded input events: whole 24-byte records, each of which
// could have come from an input device. Checked as a whole before anything
// of it plays.
#ifndef STRIA_EVENT_FILE_H
#define STRIA_EVENT_FILE_H

#include "EventRecord.h"

#include <span>
#include <string>
#include <vector>

namespace stria {

class EventFile {
public:
	// The records of bytes, or an error naming the first bad record (its
	// number from 1 and its byte offset) and what is wrong with it.
	static bool Parse(std::span<const uint8> bytes, std::vector<EventRecord>& records,
	                  std::string& error);

	// Reads and parses the file at path; error starts with the path.
	static bool Load(const std::string& path, std::vector<EventRecord>& records,
	                 std::string& error);

	// Writes records in the same layout (for recordings and tests).
	static std::vector<uint8> Encode(std::span<const EventRecord> records);
};

} // namespace stria

#endif // STRIA_EVENT_FILE_H
