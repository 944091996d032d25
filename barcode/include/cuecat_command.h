// The cuecat command, on streams of the caller's choosing so that tests and
// the fuzz target run it in process.
#ifndef STRIA_CUECAT_COMMAND_H
#define STRIA_CUECAT_COMMAND_H

#include <SupportDefs.h>

#include <cstdio>

// Reads one record from in, prints the decoded code and, for 978 Bookland
// codes, the ISBN-10. Each failure is said on err: B_BAD_VALUE for bad
// arguments, B_BAD_DATA for a record longer than MAX_RECORD, B_IO_ERROR
// when a stream fails.
status_t cuecat_run(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err);

#endif // STRIA_CUECAT_COMMAND_H
