#include "VirtualKeyboard.h"

#include "UsKeyboard.h"

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>

#include <linux/input-event-codes.h>

#include <algorithm>
#include <array>
#include <utility>

namespace stria {

namespace {

// A held modifier: the bit any key of it sets, and each side's own bit.
struct ModifierGroup {
	uint32 any;
	uint32 left;
	uint32 right;
};

constexpr std::array<ModifierGroup, 4> kGroups = {{
        {B_SHIFT_KEY, B_LEFT_SHIFT_KEY, B_RIGHT_SHIFT_KEY},
        {B_COMMAND_KEY, B_LEFT_COMMAND_KEY, B_RIGHT_COMMAND_KEY},
        {B_CONTROL_KEY, B_LEFT_CONTROL_KEY, B_RIGHT_CONTROL_KEY},
        {B_OPTION_KEY, B_LEFT_OPTION_KEY, B_RIGHT_OPTION_KEY},
}};

constexpr std::array<uint32, 3> kLocks = {B_CAPS_LOCK, B_NUM_LOCK, B_SCROLL_LOCK};
constexpr uint32 kLockBits = B_CAPS_LOCK | B_NUM_LOCK | B_SCROLL_LOCK;

uint16 LinuxKeyForModifier(uint32 bits)
{
	return static_cast<uint16>(UsKeyboard::LinuxFromBeKey(UsKeyboard::KeyForModifier(bits)));
}

// The Linux modifier keys that these bits hold down. A side's bit picks its
// key; a group's bit alone (as replay scripts may give it) picks the left.
std::vector<uint16> HeldKeys(uint32 modifiers)
{
	std::vector<uint16> keys;
	for (const ModifierGroup& group : kGroups) {
		const bool left = (modifiers & group.left) != 0;
		const bool right = (modifiers & group.right) != 0;
		if (left || ((modifiers & group.any) != 0 && !right))
			keys.push_back(LinuxKeyForModifier(group.any | group.left));
		if (right)
			keys.push_back(LinuxKeyForModifier(group.any | group.right));
	}
	if ((modifiers & B_MENU_KEY) != 0)
		keys.push_back(LinuxKeyForModifier(B_MENU_KEY));
	return keys;
}

} // namespace

VirtualKeyboard::VirtualKeyboard(EventWriter& writer) : fWriter(writer) {}

bool VirtualKeyboard::IsPressed(int linuxCode) const
{
	return linuxCode >= 0 && static_cast<size_t>(linuxCode) < fPressed.size() &&
	       fPressed.test(static_cast<size_t>(linuxCode));
}

void VirtualKeyboard::Deliver(const BMessage& message)
{
	bigtime_t when = 0;
	if (message.FindInt64("when", &when) == B_OK)
		fLastWhen = when;
	else
		when = fLastWhen;
	int32 modifiersField = 0;
	const bool hasModifiers = message.FindInt32("modifiers", &modifiersField) == B_OK;
	const uint32 modifiers = static_cast<uint32>(modifiersField);
	int32 key = 0;
	const bool hasKey = message.FindInt32("key", &key) == B_OK;
	int32 keyboard = -1;
	message.FindInt32(STRIA_SOURCE_FIELD, &keyboard);
	int32 kind = 0;
	message.FindInt32(STRIA_SOURCE_KIND_FIELD, &kind);
	const bool typedByAddOn = kind == STRIA_SOURCE_ADD_ON;
	if (typedByAddOn)
		fAddOns.insert(keyboard);
	std::optional<uint32>& known = fModifiers[keyboard];

	switch (message.what) {
	case B_MODIFIERS_CHANGED: {
		if (!hasModifiers)
			break;
		int32 old = 0;
		const uint32 before = message.FindInt32("be:old_modifiers", &old) == B_OK
		                              ? static_cast<uint32>(old)
		                              : known.value_or(modifiers);
		ToggleLocks((before ^ modifiers) & kLockBits, when);
		SyncModifiers(keyboard, modifiers, when);
		break;
	}
	case B_KEY_DOWN:
	case B_UNMAPPED_KEY_DOWN:
		if (!hasKey)
			break;
		if (UsKeyboard::IsModifier(key)) {
			// Lock keys toggle through B_MODIFIERS_CHANGED; held
			// modifiers follow the message's bits.
			if (!UsKeyboard::IsLock(key)) {
				SyncModifiers(keyboard,
				              hasModifiers ? modifiers
				                           : known.value_or(0) | UsKeyboard::ModifierBits(key),
				              when);
			}
			break;
		}
		if (hasModifiers)
			SyncModifiers(keyboard, modifiers, when);
		if (typedByAddOn)
			SetAsideOthersModifiers(keyboard, when);
		else
			SetAsideAddOnModifiers(keyboard, when);
		KeyDown(key, when);
		break;
	case B_KEY_UP:
	case B_UNMAPPED_KEY_UP:
		if (!hasKey)
			break;
		if (UsKeyboard::IsModifier(key)) {
			if (!UsKeyboard::IsLock(key)) {
				SyncModifiers(keyboard,
				              hasModifiers ? modifiers
				                           : known.value_or(0) & ~UsKeyboard::ModifierBits(key),
				              when);
			}
			break;
		}
		KeyUp(key, when);
		RestoreSetAside(when);
		break;
	default:
		break;
	}
	if (hasModifiers)
		known = modifiers;
}

void VirtualKeyboard::KeyDown(int32 key, bigtime_t when)
{
	const int code = UsKeyboard::LinuxFromBeKey(key);
	if (code == 0)
		return;
	const uint16 linuxCode = static_cast<uint16>(code);
	if (IsPressed(linuxCode))
		Repeat(linuxCode, when);
	else
		Press(linuxCode, when);
}

void VirtualKeyboard::KeyUp(int32 key, bigtime_t when)
{
	const int code = UsKeyboard::LinuxFromBeKey(key);
	if (code != 0 && IsPressed(code))
		Release(static_cast<uint16>(code), when);
}

bool VirtualKeyboard::HeldByAnother(uint16 code, int32 keyboard) const
{
	for (const auto& [other, held] : fHeld) {
		if (other != keyboard && std::find(held.begin(), held.end(), code) != held.end())
			return true;
	}
	return false;
}

void VirtualKeyboard::SyncModifiers(int32 keyboard, uint32 modifiers, bigtime_t when)
{
	std::vector<uint16>& held = fHeld[keyboard];
	const std::vector<uint16> wanted = HeldKeys(modifiers);
	for (uint16 code : wanted) {
		if (!IsPressed(code))
			Press(code, when);
	}
	const std::vector<uint16> before = std::exchange(held, wanted);
	for (uint16 code : before) {
		if (std::find(wanted.begin(), wanted.end(), code) == wanted.end() &&
		    !HeldByAnother(code, keyboard) && IsPressed(code))
			Release(code, when);
	}
}

void VirtualKeyboard::SetAsideOthersModifiers(int32 keyboard, bigtime_t when)
{
	const std::vector<uint16>& own = fHeld[keyboard];
	for (const auto& [other, held] : fHeld) {
		if (other == keyboard)
			continue;
		for (uint16 code : held) {
			if (IsPressed(code) && std::find(own.begin(), own.end(), code) == own.end()) {
				Release(code, when);
				fSetAside.push_back(code);
			}
		}
	}
}

bool VirtualKeyboard::HeldByAKeyboard(uint16 code) const
{
	for (const auto& [keyboard, held] : fHeld) {
		if (!fAddOns.contains(keyboard) && std::find(held.begin(), held.end(), code) != held.end())
			return true;
	}
	return false;
}

void VirtualKeyboard::SetAsideAddOnModifiers(int32 keyboard, bigtime_t when)
{
	// What any keyboard holds is a person's and stays, as it would for a
	// second keyboard on the desk.
	for (const auto& [other, held] : fHeld) {
		if (other == keyboard || !fAddOns.contains(other))
			continue;
		for (uint16 code : held) {
			if (IsPressed(code) && !HeldByAKeyboard(code)) {
				Release(code, when);
				fSetAside.push_back(code);
			}
		}
	}
}

void VirtualKeyboard::RestoreSetAside(bigtime_t when)
{
	for (uint16 code : std::exchange(fSetAside, {})) {
		// Only what someone still holds; a key let go of meanwhile stays up.
		const bool held = std::any_of(fHeld.begin(), fHeld.end(), [code](const auto& entry) {
			return std::find(entry.second.begin(), entry.second.end(), code) != entry.second.end();
		});
		if (held && !IsPressed(code))
			Press(code, when);
	}
}

void VirtualKeyboard::ToggleLocks(uint32 changed, bigtime_t when)
{
	for (uint32 lock : kLocks) {
		if ((changed & lock) == 0)
			continue;
		const uint16 code = LinuxKeyForModifier(lock);
		if (IsPressed(code))
			Release(code, when);
		Press(code, when);
		Release(code, when);
	}
}

void VirtualKeyboard::ReleaseAll()
{
	fHeld.clear();
	fSetAside.clear();
	fAddOns.clear();
	for (size_t code = 0; code < fPressed.size(); code++) {
		if (fPressed.test(code))
			Release(static_cast<uint16>(code), fLastWhen);
	}
}

void VirtualKeyboard::Press(uint16 code, bigtime_t when)
{
	fPressed.set(code);
	Emit(code, 1, when);
}

void VirtualKeyboard::Release(uint16 code, bigtime_t when)
{
	fPressed.reset(code);
	Emit(code, 0, when);
}

void VirtualKeyboard::Repeat(uint16 code, bigtime_t when)
{
	Emit(code, 2, when);
}

void VirtualKeyboard::Emit(uint16 code, int32 value, bigtime_t when)
{
	if (!fHealthy)
		return;
	const EventRecord records[2] = {
	        EventRecord::At(when, EV_KEY, code, value),
	        EventRecord::At(when, EV_SYN, SYN_REPORT, 0),
	};
	fHealthy = fWriter.Write(records);
}

} // namespace stria
