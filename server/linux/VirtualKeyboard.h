// Types the keyboard messages that reach applications as Linux key events:
// Be key codes back to Linux key codes, modifier changes as the modifier
// keys' own events, every event followed by SYN_REPORT. It types what it is
// given: which keys belong to a scan the filter has decided already.
//
// It never types the release of a key it has not pressed, so the desktop
// never sees a key go up that never went down. Each keyboard holds its own
// modifiers; the desktop gets a modifier key down while any keyboard holds
// it.
//
// Keys a device add-on types (a scan typed as text) carry their own
// modifiers: the modifier keys other keyboards hold are let go of around
// each such key and pressed again after it, so that a person's held Shift
// does not turn a typed digit into a symbol. The same holds the other way:
// around a person's key, the modifier keys only add-ons hold are let go
// of, so that the typer's Shift never turns a person's x into an X.
#ifndef STRIA_VIRTUAL_KEYBOARD_H
#define STRIA_VIRTUAL_KEYBOARD_H

#include "EventRecord.h"

#include <SupportDefs.h>

#include <bitset>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <vector>

class BMessage;

namespace stria {

// Where the typed records go.
class EventWriter {
public:
	virtual ~EventWriter() = default;
	// One key event and its SYN_REPORT, or several; false on failure.
	virtual bool Write(std::span<const EventRecord> records) = 0;
};

class VirtualKeyboard {
public:
	explicit VirtualKeyboard(EventWriter& writer);

	// Types one message.
	void Deliver(const BMessage& message);

	// Releases every key still pressed.
	void ReleaseAll();

	bool IsPressed(int linuxCode) const;
	// False once a write has failed; nothing more is written then.
	bool Healthy() const { return fHealthy; }

private:
	void KeyDown(int32 key, bigtime_t when);
	void KeyUp(int32 key, bigtime_t when);
	// keyboard: the message's STRIA_SOURCE_FIELD, -1 without.
	void SyncModifiers(int32 keyboard, uint32 modifiers, bigtime_t when);
	void ToggleLocks(uint32 changed, bigtime_t when);
	bool HeldByAnother(uint16 code, int32 keyboard) const;
	// Around a key an add-on types: lets go of the modifier keys only other
	// keyboards hold, and presses them again.
	void SetAsideOthersModifiers(int32 keyboard, bigtime_t when);
	// Around a key of any other keyboard: lets go of the modifier keys that
	// only add-ons hold.
	void SetAsideAddOnModifiers(int32 keyboard, bigtime_t when);
	bool HeldByAKeyboard(uint16 code) const;
	void RestoreSetAside(bigtime_t when);

	void Press(uint16 code, bigtime_t when);
	void Release(uint16 code, bigtime_t when);
	void Repeat(uint16 code, bigtime_t when);
	void Emit(uint16 code, int32 value, bigtime_t when);

	EventWriter& fWriter;
	std::bitset<1024> fPressed;
	// Each keyboard's modifier bits, and the modifier keys they hold.
	std::map<int32, std::optional<uint32>> fModifiers;
	std::map<int32, std::vector<uint16>> fHeld;
	std::vector<uint16> fSetAside;
	// The keyboards that are device add-ons.
	std::set<int32> fAddOns;
	bigtime_t fLastWhen = 0;
	bool fHealthy = true;
};

} // namespace stria

#endif // STRIA_VIRTUAL_KEYBOARD_H
