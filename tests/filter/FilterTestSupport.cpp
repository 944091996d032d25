#include "FilterTestSupport.h"

#include <StriaProtocol.h>

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <List.h>
#include <String.h>

#include <StriaProtocol.h>
#include <code_text.h>

#include <stdio.h>

namespace filter_test {

std::unique_ptr<BMessage> Input::Build() const
{
	auto message = std::make_unique<BMessage>(what);
	if (source >= 0) {
		message->AddInt32(STRIA_SOURCE_FIELD, source);
		message->AddInt32(STRIA_SOURCE_KIND_FIELD, sourceKind);
	}
	if (what != B_KEY_DOWN && what != B_KEY_UP) {
		// Other messages carry a stamp only when a table gives one.
		if (hasWhen && when != 0)
			message->AddInt64("when", when);
		return message;
	}
	if (hasWhen)
		message->AddInt64("when", when);
	if (key >= 0)
		message->AddInt32("key", key);
	message->AddInt32("modifiers", modifiers);
	if (byte >= 0) {
		message->AddInt8("byte", (int8)byte);
		char bytes[2] = {(char)byte, '\0'};
		message->AddString("bytes", bytes);
	}
	return message;
}

Input Down(int32 key, int32 byte, bigtime_t when, int32 modifiers)
{
	return Input{B_KEY_DOWN, key, byte, when, modifiers};
}

Input Up(int32 key, bigtime_t when, int32 modifiers)
{
	return Input{B_KEY_UP, key, -1, when, modifiers};
}

Input Other(uint32 what)
{
	return Input{what};
}

std::vector<Input> Typed(std::string_view text, bigtime_t t0, bigtime_t spacing)
{
	std::vector<Input> inputs;
	bigtime_t when = t0;
	for (char c : text) {
		int32 key = c == '\n' ? kEnter : kLetterKey;
		inputs.push_back(Down(key, (uint8)c, when));
		inputs.push_back(Up(key, when + spacing / 2));
		when += spacing;
	}
	return inputs;
}

std::vector<Input> Scan(std::string_view record, bigtime_t t0, bigtime_t spacing)
{
	std::vector<Input> inputs = {Down(kF10, B_FUNCTION_KEY, t0), Up(kF10, t0 + 1000)};
	std::string typed(record);
	typed += '\n';
	for (const Input& input : Typed(typed, t0 + 2000, spacing))
		inputs.push_back(input);
	return inputs;
}

std::vector<Input> Join(std::initializer_list<std::vector<Input>> parts)
{
	std::vector<Input> joined;
	for (const std::vector<Input>& part : parts)
		joined.insert(joined.end(), part.begin(), part.end());
	return joined;
}

std::vector<Input> FromSource(std::vector<Input> inputs, int32 source, int32 kind)
{
	for (Input& input : inputs) {
		input.source = source;
		input.sourceKind = kind;
	}
	return inputs;
}

std::string Describe(const BMessage& message)
{
	char text[160];
	int32 key = -1;
	int32 modifiers = -1;
	int8 byte = 0;
	bigtime_t when = -1;
	message.FindInt32("key", &key);
	message.FindInt32("modifiers", &modifiers);
	message.FindInt64("when", &when);
	if (message.what == B_KEY_DOWN) {
		if (message.FindInt8("byte", &byte) == B_OK) {
			snprintf(text, sizeof(text), "down key=%d byte=%d when=%lld modifiers=%d", (int)key,
			         (int)(uint8)byte, (long long)when, (int)modifiers);
		} else {
			snprintf(text, sizeof(text), "down key=%d when=%lld modifiers=%d", (int)key,
			         (long long)when, (int)modifiers);
		}
	} else if (message.what == B_KEY_UP) {
		snprintf(text, sizeof(text), "up key=%d when=%lld modifiers=%d", (int)key, (long long)when,
		         (int)modifiers);
	} else
		snprintf(text, sizeof(text), "what=0x%08x", (unsigned)message.what);
	return text;
}

std::string Describe(const Input& input)
{
	return Describe(*input.Build());
}

std::string RepairedCode(std::string_view record)
{
	return repair_upce(decode_record(record));
}

RecordingFilter::RecordingFilter(StriaClock* clock)
    : RecordingFilter(clock, std::make_shared<Codes>())
{
}

RecordingFilter::RecordingFilter(StriaClock* clock, std::shared_ptr<Codes> codes)
    : CueCatFilter({clock, WINDOW_CLOSE_TIME,
                    [codes](const ScanCode& scan) {
	                    std::lock_guard lock(codes->lock);
	                    codes->codes.push_back(scan.code);
                    }}),
      fCodes(std::move(codes))
{
}

std::vector<std::string> RecordingFilter::StopAndTakeCodes()
{
	StopThreads();
	std::lock_guard lock(fCodes->lock);
	return std::move(fCodes->codes);
}

filter_result StreamRunner::Play(BMessage* message)
{
	BList outList;
	filter_result verdict = fFilter.Filter(message, &outList);
	bool passedItself = false;
	if (verdict == B_DISPATCH_MESSAGE) {
		if (outList.IsEmpty()) {
			fDelivered.push_back(Describe(*message));
			fMessages.emplace_back(message);
			return verdict;
		}
		for (int32 i = 0; i < outList.CountItems(); i++) {
			BMessage* item = (BMessage*)outList.ItemAt(i);
			fDelivered.push_back(Describe(*item));
			fMessages.emplace_back(item);
			if (item == message)
				passedItself = true;
		}
	} else {
		for (int32 i = 0; i < outList.CountItems(); i++) {
			if (outList.ItemAt(i) == message)
				passedItself = true;
			else
				delete (BMessage*)outList.ItemAt(i);
		}
	}
	if (!passedItself || verdict == B_SKIP_MESSAGE)
		delete message;
	return verdict;
}

filter_result StreamRunner::Play(const Input& input)
{
	return Play(input.Build().release());
}

void StreamRunner::Play(const std::vector<Input>& inputs)
{
	for (const Input& input : inputs)
		Play(input);
}

} // namespace filter_test
