// The cuecat command as a black box, and its record reading in process.
#include "cuecat.h"
#include "cuecat_command.h"
#include "record_encoder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Outcome {
	std::string out;
	std::string err;
	int status = -1;
};

std::string read_file(const std::string& path)
{
	std::ifstream in(path, std::ios::binary);
	std::ostringstream text;
	text << in.rdbuf();
	return text.str();
}

// Runs the built cuecat with `input` on standard input.
Outcome run_cuecat(const std::vector<std::string>& args, const std::string& input)
{
	char dir[] = "/tmp/cuecat_test.XXXXXX";
	if (mkdtemp(dir) == nullptr)
		throw std::runtime_error("mkdtemp failed");
	const std::string base(dir);
	std::ofstream(base + "/in", std::ios::binary) << input;

	posix_spawn_file_actions_t actions;
	posix_spawn_file_actions_init(&actions);
	posix_spawn_file_actions_addopen(&actions, 0, (base + "/in").c_str(), O_RDONLY, 0);
	posix_spawn_file_actions_addopen(&actions, 1, (base + "/out").c_str(),
	                                 O_WRONLY | O_CREAT | O_TRUNC, 0600);
	posix_spawn_file_actions_addopen(&actions, 2, (base + "/err").c_str(),
	                                 O_WRONLY | O_CREAT | O_TRUNC, 0600);

	std::vector<char*> argv;
	std::string program = CUECAT_BINARY;
	argv.push_back(program.data());
	std::vector<std::string> copies(args);
	for (std::string& arg : copies)
		argv.push_back(arg.data());
	argv.push_back(nullptr);

	Outcome outcome;
	pid_t pid;
	const int spawned = posix_spawn(&pid, CUECAT_BINARY, &actions, nullptr, argv.data(), environ);
	posix_spawn_file_actions_destroy(&actions);
	if (spawned == 0) {
		int status = 0;
		waitpid(pid, &status, 0);
		outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
	}
	outcome.out = read_file(base + "/out");
	outcome.err = read_file(base + "/err");
	for (const char* name : {"/in", "/out", "/err"})
		unlink((base + name).c_str());
	rmdir(dir);
	return outcome;
}

const std::string ISBN_RECORD = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";

TEST(CuecatCommand, DecodesTheFirstWordOfStandardInput)
{
	struct Case {
		const char* what;
		std::string input;
		std::string out;
	} cases[] = {
	        {"real Bookland record", ISBN_RECORD + "\n", "IBN 9780201889543\n0201889544\n"},
	        {"real UPC-A record", ".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.\n",
	         "UPA 059280201638\n"},
	        {"UPC-E without check digit is not repaired",
	         ".C3nZC3nZC3nYCxP2Dxb1CNnY.fHmg.C3DXDNf1CG.", "UPE 0425261\n"},
	        {"Code 128", ".C3nZC3nZC3nYCxP2Dxb1CNnY.CNf7.ebCrcGjUCxnXDq.\n", "128 STRIA-2026\n"},
	        {"only the first word counts", " \t\n" + ISBN_RECORD + " " + ISBN_RECORD + " x\n",
	         "IBN 9780201889543\n0201889544\n"},
	        {"check value ten", make_record("IBN", "9780804429573"),
	         "IBN 9780804429573\n080442957x\n"},
	        {"check value eleven", make_record("IBN", "9780306406027"),
	         "IBN 9780306406027\n0306406020\n"},
	        {"add-on code", make_record("IB5", "978030640615751995", XOR_KEY_SCANNER),
	         "IB5 978030640615751995\n0306406152\n"},
	        {"979 books have no ISBN-10", make_record("IBN", "9791234567896"),
	         "IBN 9791234567896\n"},
	        {"no label for UPC-A", make_record("UPA", "012345678905"), "UPA 012345678905\n"},
	        {"a terminal's control bytes and the backslash are escaped",
	         make_record("128", "A\x1b[2J\\x41\x7f\x80"), "128 A\\x1b[2J\\\\x41\\x7f\\x80\n"},
	        {"printable codes are written byte for byte", make_record("128", " !~`'\"{}|"),
	         "128  !~`'\"{}|\n"},
	        {"empty input", "", "\n"},
	        {"only white space", " \n\t\r\n", "\n"},
	        {"too short to decode", ".abc.\n", "\n"},
	};
	for (const Case& c : cases) {
		const Outcome outcome = run_cuecat({}, c.input);
		EXPECT_EQ(outcome.out, c.out) << c.what;
		EXPECT_EQ(outcome.err, "") << c.what;
		EXPECT_EQ(outcome.status, 0) << c.what;
	}
}

TEST(CuecatCommand, TakesRecordsUpToTheLimitWhole)
{
	const std::string data(743, '4');
	const std::string longest = make_record("C39", data, XOR_KEY_SCANNER);
	ASSERT_EQ(longest.size(), std::size_t(MAX_RECORD));
	const Outcome fits = run_cuecat({}, longest + "\n");
	EXPECT_EQ(fits.out, "C39 " + data + "\n");
	EXPECT_EQ(fits.status, 0);

	for (const std::string& input : {longest + "-", std::string(100000, 'a') + "\n"}) {
		const Outcome refused = run_cuecat({}, input);
		EXPECT_EQ(refused.out, "");
		EXPECT_NE(refused.err.find("longer than 1023 characters"), std::string::npos)
		        << refused.err;
		EXPECT_EQ(refused.status, 2);
	}
}

TEST(CuecatCommand, Arguments)
{
	struct Case {
		std::vector<std::string> args;
		int status;
		const char* complaint;
	} cases[] = {
	        {{"--help"}, 0, nullptr},
	        {{"-h"}, 2, "unexpected argument '-h'"},
	        {{"record"}, 2, "unexpected argument 'record'"},
	        {{"--help", "x"}, 2, "unexpected argument 'x'"},
	        {{"x", "--help"}, 2, "unexpected argument 'x'"},
	        {{""}, 2, "unexpected argument ''"},
	};
	for (const Case& c : cases) {
		const Outcome outcome = run_cuecat(c.args, ISBN_RECORD);
		if (c.complaint) {
			EXPECT_EQ(outcome.out, "");
			EXPECT_NE(outcome.err.find(c.complaint), std::string::npos) << outcome.err;
			EXPECT_NE(outcome.err.find("usage: cuecat"), std::string::npos) << outcome.err;
		} else {
			EXPECT_EQ(outcome.out.rfind("usage: cuecat", 0), 0u) << outcome.out;
			EXPECT_EQ(outcome.err, "");
		}
		EXPECT_EQ(outcome.status, c.status);
	}
}

std::FILE* stream_of(const std::string& bytes)
{
	// fmemopen refuses an empty buffer on some C libraries; a NUL after
	// the bytes is never read because the size excludes it.
	static std::string held;
	held = bytes + '\0';
	return fmemopen(held.data(), bytes.size(), "r");
}

TEST(CuecatReadRecord, ReadsOneBoundedWord)
{
	struct Case {
		std::string input;
		RecordRead result;
		std::string record;
	} cases[] = {
	        {"abc def", RecordRead::Word, "abc"},
	        {"\v\f\r\n\t abc\r\n", RecordRead::Word, "abc"},
	        {std::string("a\0b c", 5), RecordRead::Word, std::string("a\0b", 3)},
	        {"\xff\x80.", RecordRead::Word, "\xff\x80."},
	        {"", RecordRead::NoWord, ""},
	        {" \n \t", RecordRead::NoWord, ""},
	        {std::string(MAX_RECORD, 'x'), RecordRead::Word, std::string(MAX_RECORD, 'x')},
	        {std::string(MAX_RECORD, 'x') + " y", RecordRead::Word, std::string(MAX_RECORD, 'x')},
	        {std::string(MAX_RECORD + 1, 'x'), RecordRead::TooLong, std::string(MAX_RECORD, 'x')},
	};
	for (const Case& c : cases) {
		std::FILE* in = stream_of(c.input);
		ASSERT_NE(in, nullptr);
		std::string record = "left over";
		EXPECT_EQ(read_record(in, record), c.result) << c.input;
		EXPECT_EQ(record, c.record);
		(void)std::fclose(in);
	}
}

TEST(CuecatReadRecord, GetCodeFillsABuffer)
{
	struct Case {
		const char* input;
		int result;
		const char* record;
	} cases[] = {
	        {"abc", 1, "abc"},
	        {"  abc  def", 1, "abc"},
	        {"abcd", GET_CODE_TOO_LONG, "abc"},
	        {"", EOF, ""},
	};
	for (const Case& c : cases) {
		std::FILE* in = stream_of(c.input);
		char record[4] = {'?', '?', '?', '?'};
		EXPECT_EQ(get_code(record, sizeof(record), in), c.result) << c.input;
		EXPECT_STREQ(record, c.record);
		(void)std::fclose(in);
	}
}

TEST(CuecatRun, ReportsFailingStreams)
{
	const char* argv[] = {"cuecat"};
	std::FILE* err = std::tmpfile();
	ASSERT_NE(err, nullptr);

	// Reading a directory fails.
	std::FILE* directory = std::fopen("/", "r");
	ASSERT_NE(directory, nullptr);
	EXPECT_EQ(cuecat_run(1, argv, directory, stdout, err), B_IO_ERROR);
	(void)std::fclose(directory);

	std::FILE* full = std::fopen("/dev/full", "w");
	ASSERT_NE(full, nullptr);
	std::FILE* in = stream_of(ISBN_RECORD);
	EXPECT_EQ(cuecat_run(1, argv, in, full, err), B_IO_ERROR);
	(void)std::fclose(in);
	(void)std::fclose(full);

	const char* help[] = {"cuecat", "--help"};
	full = std::fopen("/dev/full", "w");
	ASSERT_NE(full, nullptr);
	EXPECT_EQ(cuecat_run(2, help, stdin, full, err), B_IO_ERROR);
	(void)std::fclose(full);

	std::rewind(err);
	std::string messages;
	for (int c; (c = std::fgetc(err)) != EOF;)
		messages += static_cast<char>(c);
	(void)std::fclose(err);
	EXPECT_NE(messages.find("cannot read standard input"), std::string::npos) << messages;
	EXPECT_NE(messages.find("cannot write standard output: No space left on device\n"
	                        "cuecat: cannot write standard output: No space left on device\n"),
	          std::string::npos)
	        << messages;
}

} // namespace
