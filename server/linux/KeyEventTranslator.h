// Turns the records of a Linux keyboard into the platform's keyboard
// messages: EV_KEY events through the US keyboard table, auto-repeat as
// repeated key-downs, "when" from the record's time stamp.
#ifndef STRIA_KEY_EVENT_TRANSLATOR_H
#define STRIA_KEY_EVENT_TRANSLATOR_H

#include "EventRecord.h"
#include "KeyboardState.h"

#include <span>

namespace stria {

class KeyEventTranslator {
public:
	// locks: lock bits on at the start (from the keyboard's lights).
	explicit KeyEventTranslator(uint32 locks = 0);

	// Appends the messages one record gives. After a SYN_DROPPED (the
	// kernel's buffer overflowed) everything up to the next SYN_REPORT is
	// lost; a STRIA_INPUT_DROPPED says so, and NeedsResync() then says to
	// call Resync with the keys the kernel reports as down.
	void Translate(const EventRecord& record, KeyboardState::Messages& out);

	bool NeedsResync() const { return fNeedsResync; }

	// Brings the held keys in line with keysDown (Linux key codes): key-ups
	// for keys that came up unseen, key-downs for keys that went down.
	void Resync(std::span<const uint16> keysDown, bigtime_t when, KeyboardState::Messages& out);

	// Key-ups for every key still held, for example when the device is gone.
	void ReleaseAll(bigtime_t when, KeyboardState::Messages& out);

	const KeyboardState& State() const { return fState; }

	// Key events of keys the US keyboard does not have (media keys, mouse
	// buttons) are passed over; how many so far.
	int64 CountUnknownKeys() const { return fUnknownKeys; }

private:
	KeyboardState fState;
	bool fDropping = false;
	bool fNeedsResync = false;
	int64 fUnknownKeys = 0;
};

} // namespace stria

#endif // STRIA_KEY_EVENT_TRANSLATOR_H
