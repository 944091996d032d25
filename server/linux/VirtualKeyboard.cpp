#include "VirtualKeyboard.h"

#include "KeyMessage.h"
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

VirtualKeyboard::VirtualKeyboard(EventWriter& writer, const Options& options)
    : fWriter(writer), fOptions(options)
{
}

bool VirtualKeyboard::IsPressed(int linuxCode) const
{
	return linuxCode >= 0 && static_cast<size_t>(linuxCode) < fPressed.size() &&
	       fPressed.test(static_cast<size_t>(linuxCode));
}

void VirtualKeyboard::Deliver(const BMessage& message, bigtime_t now)
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
	const std::optional<bigtime_t> deadline =
	        kind == STRIA_SOURCE_RECORDED ? std::nullopt
	                                      : std::optional<bigtime_t>(now + fOptions.modifierDelay);
	TypeOverdue(keyboard, when);
	std::optional<uint32>& known = fModifiers[keyboard];
	// A modifier held back and then let go of because its keyboard went
	// away (a scanner unplugged mid-scan) was no tap of the person's.
	bool keyboardGone = false;
	if (message.FindBool(kKeyboardGoneField, &keyboardGone) == B_OK && keyboardGone)
		Spoil(keyboard);

	switch (message.what) {
	case B_MODIFIERS_CHANGED: {
		if (!hasModifiers)
			break;
		int32 old = 0;
		const uint32 before = message.FindInt32("be:old_modifiers", &old) == B_OK
		                              ? static_cast<uint32>(old)
		                              : known.value_or(modifiers);
		ToggleLocks((before ^ modifiers) & kLockBits, when);
		SyncModifiers(keyboard, modifiers, when, deadline);
		known = modifiers;
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
				              when, deadline);
			}
			break;
		}
		if (hasModifiers)
			SyncModifiers(keyboard, modifiers, when, deadline);
		if (typedByAddOn)
			SetAsideOthersModifiers(keyboard, when);
		KeyDown(keyboard, key, when);
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
				              when, deadline);
			}
			break;
		}
		KeyUp(keyboard, key, when);
		if (typedByAddOn)
			RestoreSetAside(when);
		break;
	default:
		break;
	}
	if (hasModifiers)
		known = modifiers;
}

void VirtualKeyboard::KeyDown(int32 keyboard, int32 key, bigtime_t when)
{
	const int code = UsKeyboard::LinuxFromBeKey(key);
	if (code == 0)
		return;
	FlushPending(keyboard);
	const uint16 linuxCode = static_cast<uint16>(code);
	if (IsPressed(linuxCode)) {
		Repeat(linuxCode, when);
		return;
	}
	Press(linuxCode, when);
	auto orphan = fOrphanKeyUps.find(linuxCode);
	if (orphan != fOrphanKeyUps.end()) {
		// This key's key-up has already gone by: the filter put the
		// key-down back behind it. Release at once, or the key would stay
		// down on the desktop.
		const bigtime_t distance =
		        when > orphan->second ? when - orphan->second : orphan->second - when;
		fOrphanKeyUps.erase(orphan);
		if (distance <= fOptions.lateKeyDownWindow)
			Release(linuxCode, when);
	}
}

void VirtualKeyboard::KeyUp(int32 keyboard, int32 key, bigtime_t when)
{
	const int code = UsKeyboard::LinuxFromBeKey(key);
	if (code == 0)
		return;
	const uint16 linuxCode = static_cast<uint16>(code);
	if (IsPressed(linuxCode)) {
		Release(linuxCode, when);
		return;
	}
	// A filter took this key's key-down: the modifiers its keyboard held
	// back for it belong to that key and are not typed on their own.
	fOrphanKeyUps[linuxCode] = when;
	Spoil(keyboard);
}

void VirtualKeyboard::Spoil(int32 keyboard)
{
	for (Pending& pending : fPending) {
		if (pending.keyboard == keyboard)
			pending.spoiled = true;
	}
}

bool VirtualKeyboard::HeldByAnother(uint16 code, int32 keyboard) const
{
	for (const auto& [other, held] : fHeld) {
		if (other != keyboard && std::find(held.begin(), held.end(), code) != held.end())
			return true;
	}
	return false;
}

// Each keyboard holds its own modifiers; the desktop gets a modifier key
// down while any keyboard holds it.
void VirtualKeyboard::SyncModifiers(int32 keyboard, uint32 modifiers, bigtime_t when,
                                    std::optional<bigtime_t> deadline)
{
	std::vector<uint16>& held = fHeld[keyboard];
	const std::vector<uint16> wanted = HeldKeys(modifiers);
	for (uint16 code : wanted) {
		if (std::find(held.begin(), held.end(), code) == held.end() && !IsPressed(code) &&
		    !IsPending(code))
			fPending.push_back({code, keyboard, when, deadline, false});
	}
	const std::vector<uint16> before = std::exchange(held, wanted);
	for (uint16 code : before) {
		if (std::find(wanted.begin(), wanted.end(), code) != wanted.end() ||
		    HeldByAnother(code, keyboard))
			continue;
		if (IsPressed(code))
			Release(code, when);
		auto it = std::find_if(fPending.begin(), fPending.end(),
		                       [code](const Pending& p) { return p.code == code; });
		if (it == fPending.end())
			continue;
		// A person's quick tap of the modifier alone still reaches the
		// desktop; a scanner's, a few milliseconds long, does not.
		if (!it->spoiled && when - it->when >= fOptions.shortestTap) {
			Press(code, it->when);
			Release(code, when);
		}
		fPending.erase(it);
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

void VirtualKeyboard::RestoreSetAside(bigtime_t when)
{
	for (uint16 code : std::exchange(fSetAside, {})) {
		// Only what someone still holds; a key let go of meanwhile stays up.
		const bool held = std::any_of(fHeld.begin(), fHeld.end(), [code](const auto& entry) {
			return std::find(entry.second.begin(), entry.second.end(), code) !=
			       entry.second.end();
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

void VirtualKeyboard::FlushPending(int32 keyboard)
{
	TypePendingIf([keyboard](const Pending& pending) { return pending.keyboard == keyboard; });
}

void VirtualKeyboard::TypePendingIf(const std::function<bool(const Pending&)>& due)
{
	for (auto it = fPending.begin(); it != fPending.end();) {
		if (due(*it)) {
			Press(it->code, it->when);
			it = fPending.erase(it);
		} else {
			++it;
		}
	}
}

bool VirtualKeyboard::IsPending(uint16 code) const
{
	return std::any_of(fPending.begin(), fPending.end(),
	                   [code](const Pending& p) { return p.code == code; });
}

void VirtualKeyboard::TypeOverdue(int32 keyboard, bigtime_t when)
{
	TypePendingIf([&](const Pending& pending) {
		return pending.keyboard == keyboard && !pending.spoiled &&
		       when - pending.when >= fOptions.modifierDelay;
	});
}

void VirtualKeyboard::Tick(bigtime_t now)
{
	TypePendingIf([now](const Pending& pending) {
		return !pending.spoiled && pending.deadline && *pending.deadline <= now;
	});
}

std::optional<bigtime_t> VirtualKeyboard::NextDeadline() const
{
	std::optional<bigtime_t> next;
	for (const Pending& pending : fPending) {
		if (!pending.spoiled && pending.deadline && (!next || *pending.deadline < *next))
			next = pending.deadline;
	}
	return next;
}

void VirtualKeyboard::ReleaseAll()
{
	fPending.clear();
	fHeld.clear();
	fSetAside.clear();
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
