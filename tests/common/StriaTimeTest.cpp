// Time arithmetic at the ends of the range: results past an end stick
// there, on the side the exact result lies, and everything else is exact.
#include <StriaTime.h>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct TimeCase {
	const char* name;
	bigtime_t a;
	bigtime_t b;
	bigtime_t expected;
};

TEST(StriaTime, ElapsedIsExactOrStopsAtTheEndItPasses)
{
	// Elapsed(a, b) == b - a.
	const TimeCase cases[] = {
	        {"forward", 1000, 1500, 500},
	        {"backward", 1500, 1000, -500},
	        {"nothing", 42, 42, 0},
	        {"whole range forward", INT64_MIN, INT64_MAX, INT64_MAX},
	        {"whole range backward", INT64_MAX, INT64_MIN, INT64_MIN},
	        {"one past the top", -1, INT64_MAX, INT64_MAX},
	        {"just the top", 0, INT64_MAX, INT64_MAX},
	        {"just the bottom", 0, INT64_MIN, INT64_MIN},
	        {"one past the bottom", 1, INT64_MIN, INT64_MIN},
	        {"from the bottom to zero", INT64_MIN, 0, INT64_MAX},
	        {"from the bottom to minus one", INT64_MIN, -1, INT64_MAX},
	        {"from the top to zero", INT64_MAX, 0, INT64_MIN + 1},
	        {"from the top to minus one", INT64_MAX, -1, INT64_MIN},
	        {"from the top to minus two", INT64_MAX, -2, INT64_MIN},
	};
	for (const TimeCase& c : cases)
		EXPECT_EQ(stria::Elapsed(c.a, c.b), c.expected) << c.name;
}

TEST(StriaTime, ShiftedIsExactOrStopsAtTheEndItPasses)
{
	// Shifted(a, b) == a + b.
	const TimeCase cases[] = {
	        {"later", 1000, 500, 1500},
	        {"earlier", 1000, -1500, -500},
	        {"in place", INT64_MAX, 0, INT64_MAX},
	        {"up to the top", INT64_MAX - 10, 10, INT64_MAX},
	        {"past the top", INT64_MAX - 10, 11, INT64_MAX},
	        {"forever from now", 1000, INT64_MAX, INT64_MAX},
	        {"forever from the bottom", INT64_MIN, INT64_MAX, -1},
	        {"down to the bottom", INT64_MIN + 10, -10, INT64_MIN},
	        {"past the bottom", INT64_MIN + 10, -11, INT64_MIN},
	        {"furthest back from now", -1000, INT64_MIN, INT64_MIN},
	        {"furthest back from the top", INT64_MAX, INT64_MIN, -1},
	        {"a negative span from the top", INT64_MAX, -1, INT64_MAX - 1},
	};
	for (const TimeCase& c : cases)
		EXPECT_EQ(stria::Shifted(c.a, c.b), c.expected) << c.name;
}

} // namespace
