// The command-line decoder: one scanner record in, the decoded code (and
// the ISBN-10 of a book) out.
#include "code_text.h"
#include "cuecat.h"

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
	                   "ISBN-10. A record is at most %d characters long.\n"
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

} // namespace

int cuecat_run(int argc, const char* const* argv, std::FILE* in, std::FILE* out, std::FILE* err)
{
	const bool help = argc == 2 && std::strcmp(argv[1], "--help") == 0;
	if (help) {
		print_usage(out);
		return std::fflush(out) == 0 ? 0 : 1;
	}
	if (argc > 1) {
		// Name the first argument that is not a lone --help.
		int bad = 1;
		while (bad < argc - 1 && std::strcmp(argv[bad], "--help") == 0)
			bad++;
		(void)std::fprintf(err, "cuecat: unexpected argument '%s'\n\n", argv[bad]);
		print_usage(err);
		return 2;
	}

	std::string record;
	switch (read_record(in, record)) {
	case RecordRead::TooLong:
		(void)std::fprintf(err,
		                   "cuecat: the record on standard input is longer than %d characters; "
		                   "a scanner record is at most %d characters long\n",
		                   MAX_RECORD, MAX_RECORD);
		return 2;
	case RecordRead::Error:
		(void)std::fprintf(err, "cuecat: cannot read standard input: %s\n",
		                   error_text(errno).c_str());
		return 1;
	case RecordRead::Word:
	case RecordRead::NoWord:
		break;
	}

	// Empty input decodes to the empty code and prints one empty line.
	const std::string code = decode_record(record);
	(void)std::fwrite(code.data(), 1, code.size(), out);
	(void)std::fputc('\n', out);
	if (const auto isbn = isbn10(code))
		(void)std::fprintf(out, "%s\n", isbn->c_str());
	if (std::fflush(out) != 0 || std::ferror(out)) {
		(void)std::fprintf(err, "cuecat: cannot write standard output: %s\n",
		                   error_text(errno).c_str());
		return 1;
	}
	return 0;
}

int cuecat_main(int argc, char** argv)
{
	return cuecat_run(argc, argv, stdin, stdout, stderr);
}
