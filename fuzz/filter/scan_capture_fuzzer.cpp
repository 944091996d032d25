// The capture from arbitrary well-formed input: keys of two keyboards (a
// scanner's F10, full stop, letters, Enter and modifier keys among them),
// ticks, lost keys, quiet and the end of input, at any stamps. Whatever
// comes in, what goes on to applications is itself well-formed: no key goes
// up that did not go down, no key and no modifier is left down once every
// keyboard has let go of everything and ended, and no record holds more
// than the longest a scanner types.
#include <ScanCapture.h>

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <cuecat_constants.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

namespace {

struct Key {
	int32 code;
	int8 byte; // 0: a modifier key (unmapped), with its bits below
	uint32 bits;
};

const Key kKeys[] = {
        {ScanCapture::CAT_CALL_KEY, B_FUNCTION_KEY, 0},
        {ScanCapture::CAT_TERM_KEY, '\n', 0},
        {0x3c, 'a', 0},
        {0x3d, '.', 0},
        {0x3e, 'C', 0},
        {0x4b, 0, B_SHIFT_KEY | B_LEFT_SHIFT_KEY},
        {0x5d, 0, B_COMMAND_KEY | B_LEFT_COMMAND_KEY},
};
const size_t kKeyCount = sizeof(kKeys) / sizeof(kKeys[0]);

class Checker {
public:
	void Passed(const ScanCapture::Step& step, const BMessage& input)
	{
		for (const std::string& record : step.records) {
			if (record.size() > (size_t)MAX_RECORD)
				std::abort();
		}
		if (step.verdict == B_SKIP_MESSAGE) {
			if (!step.passOn.empty())
				std::abort();
			return;
		}
		if (step.passOn.empty())
			Check(input);
		for (const auto& message : step.passOn)
			Check(*message);
	}

	void CheckNothingDown() const
	{
		for (const auto& [source, keys] : fDown) {
			if (!keys.empty())
				std::abort();
		}
		for (const auto& [source, modifiers] : fModifiers) {
			if ((modifiers & ~(uint32)(B_CAPS_LOCK | B_NUM_LOCK | B_SCROLL_LOCK)) != 0)
				std::abort();
		}
	}

private:
	void Check(const BMessage& message)
	{
		int32 source = message.GetInt32(STRIA_SOURCE_FIELD, 0);
		int32 key = message.GetInt32("key", -1);
		switch (message.what) {
		case B_KEY_DOWN:
		case B_UNMAPPED_KEY_DOWN:
			fDown[source].insert(key);
			break;
		case B_KEY_UP:
		case B_UNMAPPED_KEY_UP:
			if (fDown[source].erase(key) == 0)
				std::abort(); // up without down
			break;
		case B_MODIFIERS_CHANGED:
			fModifiers[source] = (uint32)message.GetInt32("modifiers", 0);
			break;
		default:
			break;
		}
	}

	std::map<int32, std::set<int32>> fDown;
	std::map<int32, uint32> fModifiers;
};

class Player {
public:
	explicit Player(Checker& checker) : fChecker(checker) {}

	void Key(int32 source, bool recorded, const ::Key& key, bool down, bigtime_t when)
	{
		std::set<int32>& pressed = fPressed[source];
		const bool again = down && pressed.count(key.code) != 0;
		// The input itself is well-formed, as a keyboard reader makes it:
		// modifier keys do not repeat, other keys say when they do.
		if ((!down && pressed.count(key.code) == 0) || (again && key.byte == 0))
			return;
		if (key.byte == 0) {
			uint32 before = fModifiers[source];
			uint32 after = down ? before | key.bits : before & ~key.bits;
			BMessage change(B_MODIFIERS_CHANGED);
			change.AddInt64("when", when);
			change.AddInt32("modifiers", (int32)after);
			change.AddInt32("be:old_modifiers", (int32)before);
			Play(change, source, recorded, when);
			fModifiers[source] = after;
		}
		BMessage message(key.byte == 0 ? (down ? B_UNMAPPED_KEY_DOWN : B_UNMAPPED_KEY_UP)
		                               : (down ? B_KEY_DOWN : B_KEY_UP));
		message.AddInt64("when", when);
		message.AddInt32("key", key.code);
		message.AddInt32("modifiers", (int32)fModifiers[source]);
		if (down && key.byte != 0)
			message.AddInt8("byte", key.byte);
		if (again)
			message.AddInt32("be:key_repeat", 1);
		Play(message, source, recorded, when);
		if (down)
			pressed.insert(key.code);
		else
			pressed.erase(key.code);
	}

	void Notice(uint32 what, int32 source, bool recorded, bigtime_t when)
	{
		BMessage message(what);
		message.AddInt64("when", when);
		Play(message, source, recorded, when);
	}

	void Tick(int64 token)
	{
		BMessage tick(STRIA_CAPTURE_TICK);
		fChecker.Passed(fCapture.Tick(token), tick);
	}

	// Every key let go of, then the end of each keyboard's input.
	void Finish(bigtime_t when)
	{
		for (int32 source = 1; source <= 2; source++) {
			for (const ::Key& key : kKeys) {
				if (fPressed[source].count(key.code) != 0)
					Key(source, fRecorded[source], key, false, when);
			}
			Notice(STRIA_INPUT_ENDED, source, fRecorded[source], when);
		}
		fChecker.CheckNothingDown();
	}

	int64 LastToken() const { return fLastToken; }

private:
	void Play(BMessage& message, int32 source, bool recorded, bigtime_t when)
	{
		fRecorded[source] = recorded;
		message.AddInt32(STRIA_SOURCE_FIELD, source);
		message.AddInt32(STRIA_SOURCE_KIND_FIELD,
		                 recorded ? STRIA_SOURCE_RECORDED : STRIA_SOURCE_KEYBOARD);
		ScanCapture::Step step = fCapture.Message(message, when);
		for (const ScanCapture::TimerRequest& request : step.timer)
			fLastToken = request.capture;
		fChecker.Passed(step, message);
	}

	ScanCapture fCapture;
	Checker& fChecker;
	std::map<int32, std::set<int32>> fPressed;
	std::map<int32, uint32> fModifiers;
	std::map<int32, bool> fRecorded;
	int64 fLastToken = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	Checker checker;
	Player player(checker);
	bigtime_t when = 1000000;
	// Two bytes an input: what it is (and on which keyboard), and how long
	// after the one before.
	for (size_t i = 0; i + 1 < size; i += 2) {
		const uint8_t what = data[i];
		// Gaps around the limits: a scanner's pace, the first-character
		// and modifier limits, and a person's.
		static const bigtime_t kGaps[] = {0,     500,   2000,  9999,   10000,
		                                  10001, 49999, 50001, 200000, 600000};
		when += kGaps[data[i + 1] % (sizeof(kGaps) / sizeof(kGaps[0]))];
		// Keyboard 1 is live, keyboard 2 recorded input.
		const int32 source = 1 + (what & 1);
		const bool recorded = source == 2;
		const uint8_t action = what >> 1;
		if (action < 2 * kKeyCount) {
			player.Key(source, recorded, kKeys[action % kKeyCount], action < kKeyCount, when);
		} else if (action == 2 * kKeyCount) {
			player.Tick(player.LastToken() - (data[i + 1] & 3));
		} else if (action == 2 * kKeyCount + 1) {
			player.Notice(STRIA_INPUT_DROPPED, source, recorded, when);
		} else if (action == 2 * kKeyCount + 2) {
			player.Notice(STRIA_INPUT_QUIET, source, recorded, when);
		}
	}
	player.Finish(when + 1000000);
	return 0;
}
