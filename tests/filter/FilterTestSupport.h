// Shared by the filter tests: key messages, the keys a CueCat types for a
// scan, a filter that records its hand-offs instead of sending them, and a
// runner that plays messages through Filter the way the input server does.
#ifndef STRIA_FILTER_TEST_SUPPORT_H
#define STRIA_FILTER_TEST_SUPPORT_H

#include <CueCatFilter.h>
#include <StriaClock.h>

#include <Message.h>
#include <StriaProtocol.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace filter_test {

inline constexpr int32 kF10 = ScanCapture::CAT_CALL_KEY;
inline constexpr int32 kEnter = ScanCapture::CAT_TERM_KEY;
// Any key code but F10's and Enter's does for a record's characters.
inline constexpr int32 kLetterKey = 0x3c;

// One message of the input stream, in a form tables can spell out.
struct Input {
	uint32 what;
	int32 key = -1;     // -1: no "key" field
	int32 byte = -1;    // -1: no "byte" field
	bigtime_t when = 0; // hasWhen false: no "when" field; other messages: none when 0
	int32 modifiers = 0;
	bool hasWhen = true;
	// -1: no source fields; else the source of that number and kind.
	int32 source = -1;
	int32 sourceKind = STRIA_SOURCE_KEYBOARD;

	std::unique_ptr<BMessage> Build() const;
};

Input Down(int32 key, int32 byte, bigtime_t when, int32 modifiers = 0);
Input Up(int32 key, bigtime_t when, int32 modifiers = 0);
Input Other(uint32 what);

// The keys a CueCat types for one scan of record: F10 at t0, its key-up
// 1 ms later, each character from t0 + 2 ms on, spacing apart (key-up half
// way), then Enter.
std::vector<Input> Scan(std::string_view record, bigtime_t t0, bigtime_t spacing = 2000);
// The keys a person types for text, from t0 on.
std::vector<Input> Typed(std::string_view text, bigtime_t t0, bigtime_t spacing = 2000);

std::vector<Input> Join(std::initializer_list<std::vector<Input>> parts);
// inputs as the source typed them.
std::vector<Input> FromSource(std::vector<Input> inputs, int32 source,
                              int32 kind = STRIA_SOURCE_KEYBOARD);

// A message as the tables write it: "down key=11 byte=16 when=1000
// modifiers=0", "up key=71 when=9000 modifiers=0", "what=0x5f4d4348".
std::string Describe(const BMessage& message);
std::string Describe(const Input& input);

// What the processor thread would send for a record: its decoded code,
// repaired.
std::string RepairedCode(std::string_view record);

// A CueCatFilter whose processor keeps the repaired codes of the scans that
// pass their check instead of sending them.
class RecordingFilter : public CueCatFilter {
public:
	explicit RecordingFilter(StriaClock* clock = StriaClock::System());

	// Stops both threads (every record handed off is processed first) and
	// returns the codes in the order they were processed.
	std::vector<std::string> StopAndTakeCodes();

private:
	struct Codes {
		std::mutex lock;
		std::vector<std::string> codes;
	};
	RecordingFilter(StriaClock* clock, std::shared_ptr<Codes> codes);

	std::shared_ptr<Codes> fCodes;
};

// Plays inputs through filter as the input server does and keeps what
// reaches applications, described.
class StreamRunner {
public:
	explicit StreamRunner(CueCatFilter& filter) : fFilter(filter) {}

	// Plays one message; returns the verdict.
	filter_result Play(const Input& input);
	filter_result Play(BMessage* message);
	void Play(const std::vector<Input>& inputs);

	const std::vector<std::string>& Delivered() const { return fDelivered; }
	// The messages that reached applications, kept in full.
	const std::vector<std::unique_ptr<BMessage>>& DeliveredMessages() const { return fMessages; }

private:
	CueCatFilter& fFilter;
	std::vector<std::string> fDelivered;
	std::vector<std::unique_ptr<BMessage>> fMessages;
};

} // namespace filter_test

#endif // STRIA_FILTER_TEST_SUPPORT_H
