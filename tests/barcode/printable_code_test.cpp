// The printable form of codes that cuecat, stria-listen and the server's
// CATSCAN lines share.
#include "printable_code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(PrintableCode, EscapesEveryByteATerminalWouldActOnAndTheBackslash)
{
	const struct {
		std::string in;
		const char* out;
	} cases[] = {
	        {"IBN 9780201889543", "IBN 9780201889543"},
	        {"", ""},
	        {" ~", " ~"},
	        {std::string("A\x1f\x7f\x80\xff", 5), "A\\x1f\\x7f\\x80\\xff"},
	        {std::string("a\0b", 3), "a\\x00b"},
	        {"\n", "\\x0a"},
	        {"128 \x1b[2J", "128 \\x1b[2J"},
	        {"\\", "\\\\"},
	        {"128 \\x41", "128 \\\\x41"},
	};
	for (const auto& test : cases)
		EXPECT_EQ(printable_code(test.in), test.out) << test.out;
}

} // namespace
