#include "EventFile.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace stria {

namespace {

// Larger files are not keyboard recordings; refusing them keeps a wrong
// path (a disk image, say) from filling memory.
constexpr size_t kMaxFileSize = 64 * 1024 * 1024;

} // namespace

bool EventFile::Parse(std::span<const uint8> bytes, std::vector<EventRecord>& records,
                      std::string& error)
{
	records.clear();
	if (bytes.size() % EventRecord::kSize != 0) {
		error = std::to_string(bytes.size()) + " bytes are not a whole number of " +
		        std::to_string(EventRecord::kSize) + "-byte input event records";
		return false;
	}
	records.reserve(bytes.size() / EventRecord::kSize);
	for (size_t offset = 0; offset < bytes.size(); offset += EventRecord::kSize) {
		EventRecord record = EventRecord::Decode(bytes.data() + offset);
		std::string problem = record.Problem();
		if (!problem.empty()) {
			error = "record " + std::to_string(offset / EventRecord::kSize + 1) + " (byte " +
			        std::to_string(offset) + "): " + problem;
			records.clear();
			return false;
		}
		records.push_back(record);
	}
	return true;
}

bool EventFile::Load(const std::string& path, std::vector<EventRecord>& records, std::string& error)
{
	std::ifstream in(path, std::ios::binary);
	if (!in) {
		error = path + ": " + std::strerror(errno);
		return false;
	}
	in.seekg(0, std::ios::end);
	const std::streamoff size = in.tellg();
	if (size < 0 || static_cast<uint64>(size) > kMaxFileSize) {
		error = path + ": too large for a file of input events";
		return false;
	}
	in.seekg(0);
	std::vector<uint8> bytes(static_cast<size_t>(size));
	if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) {
		error = path + ": cannot read the file";
		return false;
	}
	if (!Parse(bytes, records, error)) {
		error = path + ": not a file of input events: " + error;
		return false;
	}
	return true;
}

std::vector<uint8> EventFile::Encode(std::span<const EventRecord> records)
{
	std::vector<uint8> bytes(records.size() * EventRecord::kSize);
	for (size_t i = 0; i < records.size(); i++)
		records[i].Encode(bytes.data() + i * EventRecord::kSize);
	return bytes;
}

} // namespace stria
