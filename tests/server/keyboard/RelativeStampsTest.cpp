// Recorded stamps put on the server's clock.
#include "RelativeStamps.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace stria {
namespace {

TEST(RelativeStamps, FirstStampLandsOnTheStartAndLaterOnesKeepTheirDistance)
{
	const struct {
		const char* name;
		bigtime_t start;
		std::vector<bigtime_t> own;
		std::vector<bigtime_t> onServerClock;
	} cases[] = {
	        {"a script from 0",
	         7000000,
	         {0, 1000, 1000, 250000},
	         {7000000, 7001000, 7001000, 7250000}},
	        {"a recording of years ago",
	         7000000,
	         {1700000000000000, 1700000000110000},
	         {7000000, 7110000}},
	        {"a script that starts late", 7000000, {5000, 9000}, {7000000, 7004000}},
	        {"a stamp before the first", 7000000, {5000, 1000}, {7000000, 6996000}},
	        {"distances past the largest time", 1000, {INT64_MIN, INT64_MAX}, {1000, INT64_MAX}},
	        {"distances past the smallest time", -1000, {INT64_MAX, INT64_MIN}, {-1000, INT64_MIN}},
	        {"a start near the end of time", INT64_MAX - 10, {0, 100}, {INT64_MAX - 10, INT64_MAX}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		RelativeStamps stamps(c.start);
		std::vector<bigtime_t> got;
		for (bigtime_t own : c.own)
			got.push_back(stamps.OnServerClock(own));
		EXPECT_EQ(got, c.onServerClock);
	}
}

} // namespace
} // namespace stria
