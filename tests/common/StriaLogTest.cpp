// The add-ons' log: lines as the default sink writes them to stderr, as a
// host's sink gets them, and back to stderr once the host's sink goes.
#include <StriaLog.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Removes the test's sink whatever the test's outcome.
struct SinkRestorer {
	~SinkRestorer() { stria::SetLogSink(nullptr); }
};

// What the default sink writes to stderr for one call.
template <typename... Arguments>
std::string Written(const char* addOn, const char* format, Arguments... arguments)
{
	testing::internal::CaptureStderr();
	stria::Log(addOn, format, arguments...);
	return testing::internal::GetCapturedStderr();
}

TEST(StriaLog, DefaultSinkWritesOneLineWithTheAddOnsName)
{
	const std::string longText(600, 'x');
	const struct {
		const char* name;
		std::string written;
		std::string expected;
	} cases[] = {
	        {"numbers", Written("StriaFilter", "subscriber %d: %lld dropped", 3, 12LL),
	         "StriaFilter: subscriber 3: 12 dropped\n"},
	        {"longer than a small buffer", Written("StriaTyper", "%s.", longText.c_str()),
	         "StriaTyper: " + longText + ".\n"},
	        {"a per cent sign in an argument", Written("stria", "%s", "100% sure"),
	         "stria: 100% sure\n"},
	        {"no text", Written("StriaDevice", "%s", ""), "StriaDevice: \n"},
	};
	for (const auto& c : cases)
		EXPECT_EQ(c.written, c.expected) << c.name;
}

TEST(StriaLog, HostSinkTakesTheLinesUntilItIsRemoved)
{
	SinkRestorer restorer;
	std::vector<std::string> taken;
	stria::SetLogSink([&](const char* addOn, const std::string& text) {
		taken.push_back(std::string("[") + addOn + "] " + text);
	});
	testing::internal::CaptureStderr();
	stria::Log("StriaFilter", "%lld more scans were dropped", 12LL);
	stria::Log("StriaTyper", "settings now: %s", "type=data");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "the host's sink replaces stderr";
	EXPECT_EQ(taken, (std::vector<std::string>{"[StriaFilter] 12 more scans were dropped",
	                                           "[StriaTyper] settings now: type=data"}));

	stria::SetLogSink(nullptr);
	testing::internal::CaptureStderr();
	stria::Log("StriaDevice", "back");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "StriaDevice: back\n");
	EXPECT_EQ(taken.size(), 2u);
}

} // namespace
