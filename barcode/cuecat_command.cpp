// The command-line decoder: one scanner record in, the decoded code (and
// the ISBN-10 of a book) out.
#include "cuecat_command.h"

#include "code_text.h"
#include "cuecat.h"
#include "printable_code.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <system_error>

namespace {

void print_usage(std::FILE* to)
{
	(void)std::fprintf(to,
	                   "usage: cuecat [--help]\n"
	                   "\n"
	                   "Reads one CueCat scanner record, the first word of standard input, and\n"
	                   "prints the decoded code: the symbology tag, a space and the code's data.\n"
	                   "For a book's Bookland code (EAN prefix 978) a second line gives the\n"
	                   "ISBN-10. A record is at most %d characters long. A backslash in the\n"
	                   "code is written as \\\\, a byte outside printable ASCII as \\xhh.\n"
	                   "\n"
	                   "example:\n"
	                   "  echo .C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca. | cuecat\n"
	                   "  IBN 9780201889543\n"
	                   "  0201889544\n"
	                   "\n"
	                   "exit status: 0 decoded, 1 reading or writing failed, 2 bad argument or\n"
	                   "record too long\n",
	                   MAX_RECORD);
}

std::string error_text(int error)
{
	return std::generic_category().message(error);
}

// Flushes standard output: B_OK, or B_IO_ERROR with a message when writing
// failed (callers clear errno before they write).
status_t finish_output(std::FILE* out, std::FILE* err)
{
	if (std::fflush(out) != 0 || std::ferror(out)) {
		(void)std::fprintf(err, "cuecat: cannot write standard output: %s\n",
		                   error_text(errno != 0 ? errno : EIO).c_str());
		return B_IO_ERROR;
	}
	return B_OK;
}

} // namespace

status_t cuecat_run(int argc, const char* const* argv, std::FILE* in, std::FILE* out,
                    std::FILE* err)
{
	const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
	if (help) {
		errno = 0;
		print_usage(out);
		return finish_output(out, err);
	}
	if (argc > 1) {
		// Name the first argument that is not a lone --help.
		int bad = 1;
		while (bad < argc - 1 && std::strcmp(argv[bad], "--help") == 0)
			bad++;
		(void)std::fprintf(err, "cuecat: unexpected argument '%s'\n\n", argv[bad]);
		print_usage(err);
		return B_BAD_VALUE;
	}

	std::string record;
	switch (read_record(in, record)) {
	case RecordRead::TooLong:
		(void)std::fprintf(err,
		                   "cuecat: the record on standard input is longer than %d characters; "
		                   "a scanner record is at most %d characters long\n",
		                   MAX_RECORD, MAX_RECORD);
		return B_BAD_DATA;
	case RecordRead::Error:
		(void)std::fprintf(err, "cuecat: cannot read standard input: %s\n",
		                   error_text(errno).c_str());
		return B_IO_ERROR;
	case RecordRead::Word:
	case RecordRead::NoWord:
		break;
	}

	// Empty input decodes to the empty code and prints one empty line. A
	// code's control bytes never reach the terminal raw.
	const std::string code = decode_record(record);
	std::string printed = printable_code(code) + "\n";
	if (const auto isbn = isbn10(code))
		printed += printable_code(*isbn) + "\n";
	errno = 0;
	(void)std::fwrite(printed.data(), 1, printed.size(), out);
	return finish_output(out, err);
}
