// Any byte string as cuecat's standard input: the reading function the
// program uses, then the whole program on that input.
#include "cuecat.h"
#include "cuecat_command.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::FILE* open_input(std::string& held, const uint8_t* data, size_t size)
{
	held.assign(reinterpret_cast<const char*>(data), size);
	held.push_back('\0'); // fmemopen wants a buffer even for empty input
	return fmemopen(held.data(), size, "r");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	std::string held;
	std::FILE* in = open_input(held, data, size);
	if (in == nullptr)
		return 0;
	std::string record;
	const RecordRead result = read_record(in, record);
	(void)std::fclose(in);
	if (record.size() > MAX_RECORD || (result == RecordRead::Word && record.empty()))
		std::abort();

	static std::FILE* sink = std::fopen("/dev/null", "w");
	in = open_input(held, data, size);
	if (in == nullptr || sink == nullptr)
		return 0;
	const char* argv[] = {"cuecat"};
	const status_t status = cuecat_run(1, argv, in, sink, sink);
	(void)std::fclose(in);
	if (status != (result == RecordRead::TooLong ? B_BAD_DATA : B_OK))
		std::abort();
	return 0;
}
