// The input stream's filter rules: verdicts, out-lists and the order in
// which messages meet the filters, as tables.
#include "FilterChain.h"

#include <InputServerFilter.h>
#include <List.h>
#include <Message.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace stria {
namespace {

// What a scripted filter does with a message of a given code.
struct Rule {
	filter_result verdict = B_DISPATCH_MESSAGE;
	// Codes of new messages to put into the out-list; kSelf puts the
	// message itself there, kNull a null entry, kRepeat the previous
	// entry once more.
	std::vector<uint32> out;
};

constexpr uint32 kSelf = 0xffffff01;
constexpr uint32 kNull = 0xffffff02;
constexpr uint32 kRepeat = 0xffffff03;

// Every call of every filter: which filter saw which code.
using Trace = std::vector<std::string>;

std::string Code(uint32 what)
{
	std::string text;
	for (int shift = 24; shift >= 0; shift -= 8) {
		char c = (char)((what >> shift) & 0xff);
		if (c != 0)
			text += c;
	}
	return text;
}

class ScriptedFilter : public BInputServerFilter {
public:
	ScriptedFilter(std::string name, std::map<uint32, Rule> rules, Trace& trace)
	    : fName(std::move(name)), fRules(std::move(rules)), fTrace(trace)
	{
	}

	filter_result Filter(BMessage* message, BList* outList) override
	{
		fTrace.push_back(fName + ":" + Code(message->what));
		auto rule = fRules.find(message->what);
		if (rule == fRules.end())
			return B_DISPATCH_MESSAGE;
		void* previous = NULL;
		for (uint32 code : rule->second.out) {
			void* entry = code == kSelf     ? message
			              : code == kNull   ? NULL
			              : code == kRepeat ? previous
			                                : new BMessage(code);
			outList->AddItem(entry);
			previous = entry;
		}
		return rule->second.verdict;
	}

private:
	std::string fName;
	std::map<uint32, Rule> fRules;
	Trace& fTrace;
};

struct ChainCase {
	const char* name;
	// Filters in order, each with its rules.
	std::vector<std::map<uint32, Rule>> filters;
	uint32 input;
	Trace expectedTrace;
	std::vector<std::string> expectedDelivered;
};

void PrintTo(const ChainCase& test, std::ostream* out)
{
	*out << test.name;
}

const Rule kSkip{B_SKIP_MESSAGE, {}};

class FilterChainTest : public testing::TestWithParam<ChainCase> {};

TEST_P(FilterChainTest, PassesMessagesByTheRules)
{
	const ChainCase& test = GetParam();
	Trace trace;
	std::vector<std::unique_ptr<ScriptedFilter>> filters;
	std::vector<BInputServerFilter*> pointers;
	for (size_t index = 0; index < test.filters.size(); index++) {
		filters.push_back(std::make_unique<ScriptedFilter>("f" + std::to_string(index + 1),
		                                                   test.filters[index], trace));
		pointers.push_back(filters.back().get());
	}
	FilterChain chain(pointers);

	FilterChain::Messages delivered;
	chain.Run(std::make_unique<BMessage>(test.input), delivered);

	std::vector<std::string> codes;
	for (const std::unique_ptr<BMessage>& message : delivered)
		codes.push_back(Code(message->what));
	EXPECT_EQ(trace, test.expectedTrace);
	EXPECT_EQ(codes, test.expectedDelivered);
	// Leaks and double deletes of dropped messages show under ASan.
}

INSTANTIATE_TEST_SUITE_P(
        Rules, FilterChainTest,
        testing::Values(
                ChainCase{"no_filters", {}, 'keyA', {}, {"keyA"}},
                ChainCase{"every_filter_passes",
                          {{}, {}, {}},
                          'keyA',
                          {"f1:keyA", "f2:keyA", "f3:keyA"},
                          {"keyA"}},
                ChainCase{"skip_stops_at_once", {{{'keyA', kSkip}}, {}}, 'keyA', {"f1:keyA"}, {}},
                ChainCase{"skip_in_the_middle",
                          {{}, {{'keyA', kSkip}}, {}},
                          'keyA',
                          {"f1:keyA", "f2:keyA"},
                          {}},
                ChainCase{"skip_ignores_and_frees_the_out_list",
                          {{{'keyA', Rule{B_SKIP_MESSAGE, {'newB', 'newC'}}}}, {}},
                          'keyA',
                          {"f1:keyA"},
                          {}},
                ChainCase{"skip_with_itself_in_the_out_list_frees_it_once",
                          {{{'keyA', Rule{B_SKIP_MESSAGE, {kSelf, 'newB'}}}}},
                          'keyA',
                          {"f1:keyA"},
                          {}},
                ChainCase{"out_list_replaces_the_message",
                          {{{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB', 'newC'}}}}, {}},
                          'keyA',
                          {"f1:keyA", "f2:newB", "f2:newC"},
                          {"newB", "newC"}},
                ChainCase{"message_goes_on_at_its_place_in_the_out_list",
                          {{{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB', kSelf, 'newC'}}}}, {}},
                          'keyA',
                          {"f1:keyA", "f2:newB", "f2:keyA", "f2:newC"},
                          {"newB", "keyA", "newC"}},
                ChainCase{"out_list_meets_later_filters_only",
                          {{}, {{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB', kSelf}}}}, {}},
                          'keyA',
                          {"f1:keyA", "f2:keyA", "f3:newB", "f3:keyA"},
                          {"newB", "keyA"}},
                ChainCase{"out_list_of_the_last_filter_is_delivered",
                          {{}, {{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB'}}}}},
                          'keyA',
                          {"f1:keyA", "f2:keyA"},
                          {"newB"}},
                ChainCase{
                        "later_filter_may_skip_one_of_the_out_list",
                        {{{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB', 'newC'}}}}, {{'newB', kSkip}}},
                        'keyA',
                        {"f1:keyA", "f2:newB", "f2:newC"},
                        {"newC"}},
                ChainCase{"later_filter_may_expand_again",
                          {{{'keyA', Rule{B_DISPATCH_MESSAGE, {'newB', 'newC'}}}},
                           {{'newB', Rule{B_DISPATCH_MESSAGE, {'newD', kSelf}}}},
                           {}},
                          'keyA',
                          {"f1:keyA", "f2:newB", "f3:newD", "f3:newB", "f2:newC", "f3:newC"},
                          {"newD", "newB", "newC"}},
                ChainCase{"null_and_repeated_entries_are_ignored",
                          {{{'keyA',
                             Rule{B_DISPATCH_MESSAGE, {kNull, 'newB', kRepeat, kSelf, kRepeat}}}}},
                          'keyA',
                          {"f1:keyA"},
                          {"newB", "keyA"}},
                ChainCase{"only_null_entries_count_as_an_empty_out_list",
                          {{{'keyA', Rule{B_DISPATCH_MESSAGE, {kNull}}}}, {}},
                          'keyA',
                          {"f1:keyA", "f2:keyA"},
                          {"keyA"}}),
        [](const testing::TestParamInfo<ChainCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace stria
