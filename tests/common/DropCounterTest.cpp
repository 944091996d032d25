// Runs of drops as their callers see them: which drop is logged, what each
// end of a run counts, and that a new run starts from nothing.
#include <DropCounter.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Plays steps on a counter: 'd' drops ("L" when Drop says to log, "c" when
// only counted), 'e' ends the run ("[n]" more were dropped), '?' asks
// InRun ("y" or "n").
std::string Play(const std::string& steps)
{
	stria::DropCounter counter;
	std::string seen;
	for (char step : steps) {
		if (step == 'd')
			seen += counter.Drop() ? "L" : "c";
		else if (step == 'e')
			seen += "[" + std::to_string(counter.EndRun()) + "]";
		else
			seen += counter.InRun() ? "y" : "n";
	}
	return seen;
}

TEST(DropCounter, FirstDropOfEachRunIsLoggedAndTheEndCountsTheRest)
{
	const struct {
		const char* steps;
		const char* seen;
	} cases[] = {
	        {"?e?", "n[0]n"},       {"d?e?", "Ly[0]n"},       {"dde", "Lc[1]"},
	        {"dddde", "Lccc[3]"},   {"ddedde", "Lc[1]Lc[1]"}, {"ddee", "Lc[1][0]"},
	        {"dedde", "L[0]Lc[1]"},
	};
	for (const auto& c : cases)
		EXPECT_EQ(Play(c.steps), c.seen) << c.steps;
}

} // namespace
