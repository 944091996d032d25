// The filter around the capture, message by message through Filter: the
// capture's notices reach the log, and its verdicts the input server. The
// capture's own rules are played from fixtures (ScanCaptureTest).
#include "FilterTestSupport.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <private/TestInputServerHost.h>

#include <StriaProtocol.h>
#include <cuecat_constants.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>

using namespace filter_test;
using ::testing::ElementsAreArray;
using ::testing::ElementsAre;

namespace {

// Real scans: ISBN 978-0-201-88954-3 and UPC-A 059280201638.
const std::string kIsbnRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";
const std::string kUpaRecord = ".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.";

// A capture that never gets its Enter is dropped with one line on standard
// error, when the next F10 or a key past the scan's time closes it.
TEST(CutScan, IsDroppedWithOneLine)
{
	auto cut = Scan(kIsbnRecord, 1000);
	cut.resize(cut.size() / 2);
	const struct {
		const char* name;
		std::vector<Input> inputs;
		size_t lines;
		std::vector<std::string> records;
	} cases[] = {
	        {"closed by the next scan", Join({cut, Scan(kUpaRecord, 100000)}), 1, {kUpaRecord}},
	        {"closed by a key later on", Join({cut, {Down(kLetterKey, 'a', 900000)}}), 1, {}},
	        {"a whole scan", Scan(kIsbnRecord, 1000), 0, {kIsbnRecord}},
	        {"a lone F10 and a late key",
	         {Down(kF10, B_FUNCTION_KEY, 1000), Down(kLetterKey, 'a', 900000)},
	         0,
	         {}},
	};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.name);
		BPrivate::TestInputServerHost host;
		RecordingFilter filter;
		StreamRunner runner(filter);
		testing::internal::CaptureStderr();
		runner.Play(c.inputs);
		std::vector<std::string> codes;
		for (const std::string& record : c.records)
			codes.push_back(RepairedCode(record));
		EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAreArray(codes));
		const std::string errors = testing::internal::GetCapturedStderr();
		size_t lines = 0;
		for (size_t at = errors.find("scan cut off"); at != std::string::npos;
		     at = errors.find("scan cut off", at + 1))
			lines++;
		EXPECT_EQ(lines, c.lines) << errors;
	}
}

// The verdicts themselves, where the out-list tells nothing: a swallowed key
// and the key-up of a swallowed key are skipped, a key that passes is
// dispatched without an out-list.
TEST(FilterVerdict, SwallowedKeysAreSkippedAndOthersDispatched)
{
	BPrivate::TestInputServerHost host;
	RecordingFilter filter;
	StreamRunner runner(filter);
	const struct {
		Input input;
		filter_result verdict;
	} steps[] = {
	        {Down(kF10, B_FUNCTION_KEY, 1000), B_SKIP_MESSAGE},
	        {Up(kF10, 2000), B_SKIP_MESSAGE},
	        {Down(kLetterKey, '.', 3000), B_SKIP_MESSAGE},
	        {Up(kLetterKey, 4000), B_SKIP_MESSAGE},
	        {Down(kEnter, B_ENTER, 5000), B_SKIP_MESSAGE},
	        {Up(kEnter, 6000), B_SKIP_MESSAGE},
	        {Up(kEnter, 7000), B_DISPATCH_MESSAGE},
	        {Other(STRIA_SUBSCRIBE), B_SKIP_MESSAGE},
	};
	for (const auto& step : steps)
		EXPECT_EQ(runner.Play(step.input), step.verdict) << Describe(step.input);
}

} // namespace
