// Writes the recorded keyboard sessions of tests/fixtures: one .events file
// of raw input event records per session.
//
//	make_event_fixtures FOLDER
#include "EventFile.h"
#include "FixtureSessions.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
	if (argc != 2) {
		std::fprintf(stderr, "usage: make_event_fixtures FOLDER\n");
		return 2;
	}
	for (const stria::test::Session& session : stria::test::FixtureSessions()) {
		const std::string path = std::string(argv[1]) + "/" + session.name + ".events";
		const std::vector<uint8> bytes = stria::EventFile::Encode(session.records);
		std::ofstream out(path, std::ios::binary | std::ios::trunc);
		out.write(reinterpret_cast<const char*>(bytes.data()),
		          static_cast<std::streamsize>(bytes.size()));
		if (!out) {
			std::fprintf(stderr, "make_event_fixtures: cannot write %s\n", path.c_str());
			return 1;
		}
		std::printf("%s: %zu records\n", path.c_str(), session.records.size());
	}
	return 0;
}
