// The capture state machine, message by message through Filter: what reaches
// applications and which records reach the processor thread.
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

namespace {

// Real scans: ISBN 978-0-201-88954-3 and UPC-A 059280201638.
const std::string kIsbnRecord = ".C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.";
const std::string kUpaRecord = ".C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.";

struct CaptureCase {
	const char* name;
	std::vector<Input> inputs;
	std::vector<std::string> delivered;
	std::vector<std::string> records;
};

std::vector<std::string> Described(const std::vector<Input>& inputs)
{
	std::vector<std::string> described;
	for (const Input& input : inputs)
		described.push_back(Describe(input));
	return described;
}

// What applications see of a complete scan: the key-ups, but not Enter's.
std::vector<std::string> KeyUpsOfScan(const std::vector<Input>& inputs)
{
	std::vector<std::string> described;
	for (const Input& input : inputs) {
		if (input.what == B_KEY_UP && input.key != kEnter)
			described.push_back(Describe(input));
	}
	return described;
}

std::vector<Input> WithModifiers(std::vector<Input> inputs, int32 modifiers)
{
	for (Input& input : inputs)
		input.modifiers = modifiers;
	return inputs;
}

// A record of exactly length characters that starts like a real one.
std::string LongRecord(size_t length)
{
	std::string record = kIsbnRecord;
	while (record.size() < length)
		record += "C3nZ";
	record.resize(length);
	return record;
}

template <typename... Parts>
std::vector<std::string> Concat(const Parts&... parts)
{
	std::vector<std::string> joined;
	(joined.insert(joined.end(), parts.begin(), parts.end()), ...);
	return joined;
}

std::vector<CaptureCase> CaptureCases()
{
	std::vector<CaptureCase> cases;

	{
		auto scan = Scan(kIsbnRecord, 1000);
		cases.push_back({"ScanIsSwallowedAndHandedOff", scan, KeyUpsOfScan(scan), {kIsbnRecord}});
	}
	{
		auto first = Scan(kIsbnRecord, 1000);
		auto second = Scan(kUpaRecord, 2000000);
		cases.push_back({"TwoScansInARow",
		                 Join({first, second}),
		                 Concat(KeyUpsOfScan(first), KeyUpsOfScan(second)),
		                 {kIsbnRecord, kUpaRecord}});
	}
	{
		auto scan = WithModifiers(Scan(kUpaRecord, 1000), B_COMMAND_KEY | B_LEFT_COMMAND_KEY);
		cases.push_back(
		        {"F10AndEnterCountWhateverTheModifiers", scan, KeyUpsOfScan(scan), {kUpaRecord}});
	}
	{
		auto typed = Typed("Hello, world.\n", 1000);
		cases.push_back({"PersonTypingPassesUntouched", typed, Described(typed), {}});
	}
	{
		// With Caps Lock on, the bytes of letters come in the other case;
		// the record is still the one the scanner typed.
		auto scan = WithModifiers(Scan(kIsbnRecord, 1000), B_CAPS_LOCK);
		for (Input& input : scan) {
			if (input.byte >= 0 && std::isalpha(input.byte))
				input.byte ^= 0x20;
		}
		cases.push_back({"CapsLockChangesNoRecord", scan, KeyUpsOfScan(scan), {kIsbnRecord}});
	}
	{
		// A person types on another keyboard while the scanner scans: their
		// keys, an Enter and an F10 among them, pass; the scan stays whole.
		// The person's F10 opens a capture of that keyboard's own, which
		// the Enter after it reveals.
		auto scan = Scan(kIsbnRecord, 1000);
		for (Input& input : scan)
			input.source = 1;
		std::vector<Input> person = {Down(kLetterKey, 'x', 2500),      Up(kLetterKey, 2600),
		                             Down(kF10, B_FUNCTION_KEY, 4500), Up(kF10, 4600),
		                             Down(kEnter, B_ENTER, 6500),      Up(kEnter, 6600)};
		std::vector<Input> mixed;
		for (size_t i = 0; i < scan.size(); i++) {
			mixed.push_back(scan[i]);
			if (i % 4 == 3 && i / 4 < person.size()) {
				person[i / 4].source = 2;
				mixed.push_back(person[i / 4]);
			}
		}
		// All of the person's, and the scan's key-ups but for its Enter.
		std::vector<Input> passed;
		for (const Input& input : mixed) {
			if (input.source == 2 && input.what == B_KEY_DOWN && input.key == kF10)
				continue;
			if (input.source == 2 && input.what == B_KEY_DOWN && input.key == kEnter) {
				Input revealed = Down(kF10, B_FUNCTION_KEY, input.when - 100);
				revealed.source = 2;
				passed.push_back(revealed);
			}
			if (input.source == 2 || (input.what == B_KEY_UP && input.key != kEnter))
				passed.push_back(input);
		}
		cases.push_back(
		        {"AnotherKeyboardsKeysPassBesideAScan", mixed, Described(passed), {kIsbnRecord}});
	}
	cases.push_back({"KeyAfterF10GetsRebuiltF10InFront",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 2000), Down(kLetterKey, 'a', 3000),
	                  Up(kLetterKey, 4000)},
	                 Described({Up(kF10, 2000), Down(kF10, B_FUNCTION_KEY, 2900),
	                            Down(kLetterKey, 'a', 3000), Up(kLetterKey, 4000)}),
	                 {}});
	{
		// The rebuilt F10 is the capture's own (with Shift), not the first
		// one ever seen (with Num Lock on), with the new stamp.
		auto scan = WithModifiers(Scan(kIsbnRecord, 1000), B_NUM_LOCK);
		cases.push_back({"RebuiltF10IsTheCapturesOwn",
		                 Join({scan,
		                       {Down(kF10, B_FUNCTION_KEY, 1000000, B_SHIFT_KEY),
		                        Down(kLetterKey, 'a', 1003000)}}),
		                 Concat(KeyUpsOfScan(scan),
		                        Described({Down(kF10, B_FUNCTION_KEY, 1002900, B_SHIFT_KEY),
		                                   Down(kLetterKey, 'a', 1003000)})),
		                 {kIsbnRecord}});
	}
	{
		// Captures a key revealed, one after the other, then F10 and Enter:
		// every F10 reaches applications, in front of its key.
		std::vector<Input> inputs;
		std::vector<std::string> delivered;
		for (bigtime_t start : {1000, 1000000, 2000000}) {
			auto typed = Join(
			        {{Down(kF10, B_FUNCTION_KEY, start, B_COMMAND_KEY)}, Typed("a", start + 2000)});
			inputs.insert(inputs.end(), typed.begin(), typed.end());
			auto shown = Described({Down(kF10, B_FUNCTION_KEY, start + 1900, B_COMMAND_KEY)});
			shown.push_back(Describe(typed[1]));
			shown.push_back(Describe(typed[2]));
			delivered.insert(delivered.end(), shown.begin(), shown.end());
		}
		auto last = Join({{Down(kF10, B_FUNCTION_KEY, 3000000)}, Typed("\n", 3002000)});
		inputs.insert(inputs.end(), last.begin(), last.end());
		delivered.push_back(Describe(Down(kF10, B_FUNCTION_KEY, 3001900)));
		delivered.push_back(Describe(last[1]));
		delivered.push_back(Describe(last[2]));
		cases.push_back({"RevealedCapturesInARowThenF10AndEnter", inputs, delivered, {}});
	}
	cases.push_back({"OnlyOneRebuiltF10PerCapture",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Down(kLetterKey, 'a', 3000),
	                  Down(kLetterKey, 'b', 5000), Down(kLetterKey, 'c', 7000)},
	                 Described({Down(kF10, B_FUNCTION_KEY, 2900), Down(kLetterKey, 'a', 3000),
	                            Down(kLetterKey, 'b', 5000), Down(kLetterKey, 'c', 7000)}),
	                 {}});
	cases.push_back({"F10ThenEnterIsNotAScan",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 2000), Down(kEnter, B_ENTER, 3000),
	                  Up(kEnter, 4000)},
	                 Described({Up(kF10, 2000), Down(kF10, B_FUNCTION_KEY, 2900),
	                            Down(kEnter, B_ENTER, 3000), Up(kEnter, 4000)}),
	                 {}});
	cases.push_back({"EnterUpRightAfterF10TravelsOn",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Up(kEnter, 2000)},
	                 Described({Up(kEnter, 2000)}),
	                 {}});
	cases.push_back({"FullStopAfterRebuiltF10StillStartsARecord",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Down(kLetterKey, 'a', 3000),
	                  Down(kLetterKey, '.', 5000), Down(kLetterKey, 'x', 7000),
	                  Down(kEnter, B_ENTER, 9000), Up(kEnter, 10000)},
	                 Described({Down(kF10, B_FUNCTION_KEY, 2900), Down(kLetterKey, 'a', 3000)}),
	                 {".x"}});
	{
		auto scan = Scan(kIsbnRecord, 50000);
		cases.push_back({"F10WhileCollectingStartsOver",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000), Down(kLetterKey, '.', 3000),
		                        Down(kLetterKey, 'C', 5000)},
		                       scan}),
		                 KeyUpsOfScan(scan),
		                 {kIsbnRecord}});
	}
	{
		auto scan = Join({{Down(kF10, B_FUNCTION_KEY, 1000), Down(kF10, B_FUNCTION_KEY, 1500)},
		                  Typed(kIsbnRecord + "\n", 3000)});
		cases.push_back({"SecondF10ReopensTheCapture", scan, KeyUpsOfScan(scan), {kIsbnRecord}});
	}
	{
		// The record's first key in time, every later one exactly SCAN_TIME
		// after the F10.
		auto first = Typed(".", 3000);
		auto keys = Typed(kIsbnRecord.substr(1) + "\n", 501000, 0);
		cases.push_back({"KeysAtExactlyScanTimeAreCaptured",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000)}, first, keys}),
		                 Concat(KeyUpsOfScan(first), KeyUpsOfScan(keys)),
		                 {kIsbnRecord}});
	}
	{
		auto first = Typed(".", 3000);
		auto keys = Typed(kIsbnRecord.substr(1) + "\n", 501001, 0);
		cases.push_back({"KeyOneMicrosecondLateClosesTheCaptureAndTravelsOn",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000)}, first, keys}),
		                 Concat(KeyUpsOfScan(first), Described(keys)),
		                 {}});
	}
	{
		// The first character counts by its stamp: a full stop exactly
		// FIRST_CHAR_TIME after the F10 starts a record, one a microsecond
		// later is a person's, and the held-back F10 goes on in front of it
		// with its own stamp.
		auto keys = Typed(".ab\n", 11000);
		cases.push_back({"FullStopAtExactlyTheFirstCharacterLimitStartsARecord",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000)}, keys}),
		                 KeyUpsOfScan(keys),
		                 {".ab"}});
		auto late = Typed(".ab\n", 11001);
		cases.push_back({"FullStopPastTheFirstCharacterLimitIsAPersons",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000, B_CONTROL_KEY)}, late}),
		                 Concat(Described({Down(kF10, B_FUNCTION_KEY, 1000, B_CONTROL_KEY)}),
		                        Described(late)),
		                 {}});
	}
	// Any message stamped past the limit decides a held-back F10 the way
	// the timer would have, had it come later: the F10 first.
	cases.push_back({"F10KeyUpPastTheLimitDeliversTheF10First",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 111000)},
	                 Described({Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 111000)}),
	                 {}});
	{
		Input shift{B_MODIFIERS_CHANGED};
		shift.when = 200000;
		cases.push_back({"ModifierChangePastTheLimitDeliversTheF10First",
		                 {Down(kF10, B_FUNCTION_KEY, 1000), shift},
		                 Described({Down(kF10, B_FUNCTION_KEY, 1000), shift}),
		                 {}});
	}
	cases.push_back({"SecondF10PastTheLimitDeliversTheFirst",
	                 {Down(kF10, B_FUNCTION_KEY, 1000, B_SHIFT_KEY),
	                  Down(kF10, B_FUNCTION_KEY, 300000), Up(kF10, 301000)},
	                 Described({Down(kF10, B_FUNCTION_KEY, 1000, B_SHIFT_KEY), Up(kF10, 301000)}),
	                 {}});
	cases.push_back({"FullStopPastTheLimitAfterARevealedF10IsAPersons",
	                 {Down(kF10, B_FUNCTION_KEY, 1000), Down(kLetterKey, 'a', 3000),
	                  Down(kLetterKey, '.', 20000), Down(kLetterKey, 'x', 22000)},
	                 Described({Down(kF10, B_FUNCTION_KEY, 2900), Down(kLetterKey, 'a', 3000),
	                            Down(kLetterKey, '.', 20000), Down(kLetterKey, 'x', 22000)}),
	                 {}});
	{
		auto scan = Scan(kIsbnRecord, 0);
		cases.push_back({"ScanStampedZeroIsCaptured", scan, KeyUpsOfScan(scan), {kIsbnRecord}});
	}
	{
		auto keys = Typed(kIsbnRecord, 3000);
		cases.push_back({"EnterUpLateDiscardsTheRecord",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000)},
		                       keys,
		                       {Down(kEnter, B_ENTER, 200000), Up(kEnter, 501001)}}),
		                 Concat(KeyUpsOfScan(keys), Described({Up(kEnter, 501001)})),
		                 {}});
	}
	cases.push_back({"EnterWithoutCaptureTravelsOn",
	                 {Down(kEnter, B_ENTER, 1000), Up(kEnter, 2000)},
	                 Described({Down(kEnter, B_ENTER, 1000), Up(kEnter, 2000)}),
	                 {}});
	{
		// A stamp earlier than the F10's still counts as inside.
		auto keys = Typed(".ab\n", 900000);
		cases.push_back({"EarlierStampCountsAsInside",
		                 Join({{Down(kF10, B_FUNCTION_KEY, 1000000)}, keys}),
		                 KeyUpsOfScan(keys),
		                 {".ab"}});
	}
	{
		auto scan = Scan(kIsbnRecord, 1000);
		std::vector<Input> mixed(scan.begin(), scan.begin() + 6);
		std::vector<Input> others = {Other(B_MODIFIERS_CHANGED), Other(B_UNMAPPED_KEY_DOWN),
		                             Other(B_MOUSE_DOWN), Other(STRIA_CATSCAN)};
		mixed.insert(mixed.end(), others.begin(), others.end());
		mixed.insert(mixed.end(), scan.begin() + 6, scan.end());
		cases.push_back({"OtherMessagesPassWithoutDisturbingACapture",
		                 mixed,
		                 Concat(KeyUpsOfScan(std::vector<Input>(scan.begin(), scan.begin() + 6)),
		                        Described(others),
		                        KeyUpsOfScan(std::vector<Input>(scan.begin() + 6, scan.end()))),
		                 {kIsbnRecord}});
	}
	{
		// Without "when" the F10 cannot be timed: it passes and opens no
		// capture that keys could enter.
		Input f10 = Down(kF10, B_FUNCTION_KEY, 0);
		f10.hasWhen = false;
		cases.push_back({"F10WithoutStampPassesAndCapturesNothing",
		                 {f10, Down(kLetterKey, '.', 3000)},
		                 Described({f10, Down(kLetterKey, '.', 3000)}),
		                 {}});
	}
	{
		// A capture belongs to the source of its F10: what another keyboard
		// types meanwhile passes untouched, its own F10 included, and joins
		// no record.
		auto scan = FromSource(Scan(kIsbnRecord, 1000), 1);
		auto typing = FromSource(Join({Typed("hi.", 1500, 700),
		                               {Down(kF10, B_FUNCTION_KEY, 4000, B_SHIFT_KEY)},
		                               Typed("\n", 4500, 700)}),
		                         2);
		std::vector<Input> mixed;
		std::vector<std::string> delivered;
		for (size_t i = 0; i < std::max(scan.size(), typing.size()); i++) {
			if (i < scan.size()) {
				mixed.push_back(scan[i]);
				if (scan[i].what == B_KEY_UP && scan[i].key != kEnter)
					delivered.push_back(Describe(scan[i]));
			}
			if (i < typing.size()) {
				mixed.push_back(typing[i]);
				// The other keyboard's F10 is held back, its Enter reveals it.
				if (typing[i].key == kF10)
					continue;
				if (typing[i].key == kEnter && typing[i].what == B_KEY_DOWN)
					delivered.push_back(Describe(Down(kF10, B_FUNCTION_KEY, 4400, B_SHIFT_KEY)));
				delivered.push_back(Describe(typing[i]));
			}
		}
		cases.push_back(
		        {"KeysOfAnotherSourcePassAndJoinNoRecord", mixed, delivered, {kIsbnRecord}});
	}
	{
		// Two scanners at once, each record whole.
		auto first = FromSource(Scan(kIsbnRecord, 1000), 1);
		auto second = FromSource(Scan(kUpaRecord, 1300), 2);
		std::vector<Input> mixed;
		for (size_t i = 0; i < first.size() || i < second.size(); i++) {
			if (i < first.size())
				mixed.push_back(first[i]);
			if (i < second.size())
				mixed.push_back(second[i]);
		}
		std::vector<std::string> delivered;
		for (const Input& input : mixed) {
			if (input.what == B_KEY_UP && input.key != kEnter)
				delivered.push_back(Describe(input));
		}
		// The shorter record ends first.
		cases.push_back({"TwoSourcesScanAtOnce", mixed, delivered, {kUpaRecord, kIsbnRecord}});
	}
	{
		// Keys a device add-on typed never open or join a capture.
		auto typed = FromSource(Scan(kIsbnRecord, 1000), 7, STRIA_SOURCE_ADD_ON);
		cases.push_back({"KeysAnAddOnTypedPassUntouched", typed, Described(typed), {}});
		auto scan = FromSource(Scan(kIsbnRecord, 1000), 1);
		std::vector<Input> mixed(scan.begin(), scan.begin() + 4);
		mixed.insert(mixed.end(), typed.begin(), typed.end());
		mixed.insert(mixed.end(), scan.begin() + 4, scan.end());
		cases.push_back({"KeysAnAddOnTypedDuringAScanPassUntouched",
		                 mixed,
		                 Concat(KeyUpsOfScan({scan.begin(), scan.begin() + 4}), Described(typed),
		                        KeyUpsOfScan({scan.begin() + 4, scan.end()})),
		                 {kIsbnRecord}});
	}
	{
		// Recorded input going quiet past the first-character limit decides
		// a held-back F10, as a later key would; quiet within the limit
		// leaves the capture waiting for its record.
		auto quietAt = [](bigtime_t when) {
			Input quiet{STRIA_INPUT_QUIET};
			quiet.when = when;
			quiet.source = 5;
			quiet.sourceKind = STRIA_SOURCE_RECORDED;
			return quiet;
		};
		auto f10 = FromSource({Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 1500)}, 5,
		                      STRIA_SOURCE_RECORDED);
		cases.push_back({"QuietPastTheLimitDeliversARecordedF10",
		                 Join({f10, {quietAt(11001)}}),
		                 Described({f10[1], f10[0], quietAt(11001)}),
		                 {}});
		auto record = FromSource(Typed(kIsbnRecord + "\n", 11000), 5, STRIA_SOURCE_RECORDED);
		cases.push_back({"QuietWithinTheLimitLeavesTheCaptureWaiting",
		                 Join({f10, {quietAt(11000)}, record}),
		                 Concat(Described({f10[1], quietAt(11000)}), KeyUpsOfScan(record)),
		                 {kIsbnRecord}});
	}
	{
		// The end of a source's input decides its held-back F10, discards
		// a record without its Enter, and leaves other sources alone.
		Input ended1{STRIA_INPUT_ENDED};
		ended1.source = 1;
		Input ended2 = ended1;
		ended2.source = 2;
		cases.push_back({"EndOfInputDeliversAHeldBackF10",
		                 FromSource({Down(kF10, B_FUNCTION_KEY, 1000), Up(kF10, 2000), ended1}, 1),
		                 Described(FromSource(
		                         {Up(kF10, 2000), Down(kF10, B_FUNCTION_KEY, 1000), ended1}, 1)),
		                 {}});
		auto partial = FromSource(Typed(".C3n", 3000), 1);
		cases.push_back({"EndOfInputDiscardsAnUnfinishedRecord",
		                 Join({FromSource({Down(kF10, B_FUNCTION_KEY, 1000)}, 1),
		                       partial,
		                       {ended1},
		                       FromSource(Typed(".", 4000), 1)}),
		                 Concat(KeyUpsOfScan(partial), Described({ended1}),
		                        Described(FromSource(Typed(".", 4000), 1))),
		                 {}});
		cases.push_back({"EndOfAnotherSourceLeavesACaptureAlone",
		                 Join({FromSource({Down(kF10, B_FUNCTION_KEY, 1000)}, 1),
		                       {ended2},
		                       FromSource(Typed(kIsbnRecord + "\n", 3000), 1)}),
		                 Concat(Described({ended2}),
		                        KeyUpsOfScan(FromSource(Typed(kIsbnRecord + "\n", 3000), 1))),
		                 {kIsbnRecord}});
	}
	for (size_t length : {size_t(64), size_t(200), size_t(MAX_RECORD)}) {
		auto scan = Scan(LongRecord(length), 1000, 400);
		cases.push_back({length == size_t(MAX_RECORD) ? "LongestRecordIsHandedOffWhole"
		                                              : "LongRecordIsHandedOffWhole",
		                 scan,
		                 KeyUpsOfScan(scan),
		                 {LongRecord(length)}});
	}
	{
		auto tooLong = Scan(LongRecord(MAX_RECORD + 1), 1000, 400);
		auto next = Scan(kUpaRecord, 2000000);
		cases.push_back({"TooLongRecordIsDroppedAndTheNextScanWorks",
		                 Join({tooLong, next}),
		                 Concat(KeyUpsOfScan(tooLong), KeyUpsOfScan(next)),
		                 {kUpaRecord}});
	}
	return cases;
}

class CaptureTest : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(CaptureTest, DeliversAndHandsOff)
{
	const CaptureCase& testCase = GetParam();
	// A host without the device: the timer's tick requests go nowhere.
	BPrivate::TestInputServerHost host;
	RecordingFilter filter;
	StreamRunner runner(filter);
	runner.Play(testCase.inputs);

	EXPECT_THAT(runner.Delivered(), ElementsAreArray(testCase.delivered));
	std::vector<std::string> codes;
	for (const std::string& record : testCase.records)
		codes.push_back(RepairedCode(record));
	EXPECT_THAT(filter.StopAndTakeCodes(), ElementsAreArray(codes));
}

INSTANTIATE_TEST_SUITE_P(Filter, CaptureTest, ::testing::ValuesIn(CaptureCases()),
                         [](const ::testing::TestParamInfo<CaptureCase>& info) {
	                         return std::string(info.param.name) + "_" + std::to_string(info.index);
                         });

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
// is skipped, a key that passes is dispatched without an out-list.
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
	        {Up(kF10, 2000), B_DISPATCH_MESSAGE},
	        {Down(kLetterKey, '.', 3000), B_SKIP_MESSAGE},
	        {Up(kLetterKey, 4000), B_DISPATCH_MESSAGE},
	        {Down(kEnter, B_ENTER, 5000), B_SKIP_MESSAGE},
	        {Up(kEnter, 6000), B_SKIP_MESSAGE},
	        {Up(kEnter, 7000), B_DISPATCH_MESSAGE},
	        {Other(STRIA_SUBSCRIBE), B_SKIP_MESSAGE},
	};
	for (const auto& step : steps)
		EXPECT_EQ(runner.Play(step.input), step.verdict) << Describe(step.input);
}

} // namespace
