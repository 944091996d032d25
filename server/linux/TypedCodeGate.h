// Keeps a code that a device add-on types whole on its way to applications.
// The add-on marks every key message of one code with the code's number
// (STRIA_TYPED_CODE_FIELD) and its last message as the end
// (STRIA_TYPED_CODE_END_FIELD). While such a code is open, the keyboard
// messages of every other source wait here, and go on in the order they
// came once the code has ended: a person typing while a code is typed gets
// the code, then the keys.
//
// A code that never ends must not keep a person's keys: once the oldest
// waiting message has waited kLongestWait, or kMostHeld messages wait, the
// gate gives up on that code and lets everything through until it ends.
// It knows no clock: the caller gives the time and calls Expire when
// Deadline comes.
#ifndef STRIA_TYPED_CODE_GATE_H
#define STRIA_TYPED_CODE_GATE_H

#include <SupportDefs.h>

#include <deque>
#include <functional>
#include <memory>
#include <optional>

class BMessage;

namespace stria {

class TypedCodeGate {
public:
	// A person's key waits at most a second: the longest pause a person
	// lets pass without taking the keyboard for broken, and longer than a
	// 13-digit code takes at any key-delay up to 30 ms.
	static constexpr bigtime_t kLongestWait = 1000000;
	// More waiting messages than keys typed within a second: something
	// floods the stream, and waiting any longer would only fill memory.
	static constexpr size_t kMostHeld = 1024;

	// Where messages go on.
	using Pass = std::function<void(const BMessage&)>;

	explicit TypedCodeGate(Pass pass);

	// Passes message on, or keeps it back; now is when it came.
	void Take(const BMessage& message, bigtime_t now);

	// Gives up on the open code if a message has waited too long by now.
	void Expire(bigtime_t now);
	// When Expire has something to do; kLatestTime when nothing waits.
	bigtime_t Deadline() const;

	// Passes every waiting message, in order; nothing waits from now on.
	void ReleaseAll();

	size_t CountHeld() const { return fHeld.size(); }

private:
	struct Held {
		std::unique_ptr<BMessage> message;
		bigtime_t since;
	};
	struct Code {
		int32 source;
		int64 number;
	};

	// owned: the message's copy when it waited already.
	void _Take(const BMessage& message, bigtime_t since, std::unique_ptr<BMessage> owned);
	// Takes every waiting message again, in order.
	void _Drain();
	void _Close();

	Pass fPass;
	std::optional<Code> fCode;
	// The open code took too long: nothing waits for it any more.
	bool fGaveUp = false;
	bool fReleased = false;
	std::deque<Held> fHeld;
};

} // namespace stria

#endif // STRIA_TYPED_CODE_GATE_H
