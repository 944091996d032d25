#include "KeyMessage.h"

#include "UsKeyboard.h"

#include <AppDefs.h>
#include <Message.h>
#include <TypeConstants.h>

#include <string>

namespace stria {

namespace {

bool InStates(int32 key)
{
	return key >= 0 && key < static_cast<int32>(sizeof(KeyStates) * 8);
}

void AddStates(BMessage& message, const KeyStates& states)
{
	message.AddData("states", B_UINT8_TYPE, states.data(), static_cast<ssize_t>(states.size()));
}

void AddCommon(BMessage& message, bigtime_t when, int32 key, uint32 modifiers,
               const KeyStates& states)
{
	message.AddInt64("when", when);
	message.AddInt32("key", key);
	message.AddInt32("modifiers", static_cast<int32>(modifiers));
	AddStates(message, states);
}

} // namespace

void SetKeyState(KeyStates& states, int32 key, bool down)
{
	if (!InStates(key))
		return;
	const uint8 bit = static_cast<uint8>(1u << (7 - key % 8));
	if (down)
		states[key / 8] |= bit;
	else
		states[key / 8] &= static_cast<uint8>(~bit);
}

bool KeyStateOf(const KeyStates& states, int32 key)
{
	return InStates(key) && (states[key / 8] & (1u << (7 - key % 8))) != 0;
}

std::unique_ptr<BMessage> KeyMessage::Key(uint32 what, bigtime_t when, int32 key, uint32 modifiers,
                                          std::string_view bytes, const KeyStates& states)
{
	auto message = std::make_unique<BMessage>(what);
	AddCommon(*message, when, key, modifiers, states);
	if (!bytes.empty()) {
		for (char byte : bytes)
			message->AddInt8("byte", static_cast<int8>(byte));
		message->AddString("bytes", std::string(bytes).c_str());
		uint8 raw = UsKeyboard::RawChar(key);
		if (raw == 0)
			raw = static_cast<uint8>(bytes[0]);
		message->AddInt32("raw_char", raw);
	}
	return message;
}

std::unique_ptr<BMessage> KeyMessage::UsKey(uint32 what, bigtime_t when, int32 key,
                                            uint32 modifiers, const KeyStates& states)
{
	return Key(what, when, key, modifiers, UsKeyboard::BytesFor(key, modifiers), states);
}

std::unique_ptr<BMessage> KeyMessage::Unmapped(uint32 what, bigtime_t when, int32 key,
                                               uint32 modifiers, const KeyStates& states)
{
	auto message = std::make_unique<BMessage>(what);
	AddCommon(*message, when, key, modifiers, states);
	return message;
}

std::unique_ptr<BMessage> KeyMessage::ModifiersChanged(bigtime_t when, uint32 modifiers,
                                                       uint32 oldModifiers, const KeyStates& states)
{
	auto message = std::make_unique<BMessage>(B_MODIFIERS_CHANGED);
	message->AddInt64("when", when);
	message->AddInt32("modifiers", static_cast<int32>(modifiers));
	message->AddInt32("be:old_modifiers", static_cast<int32>(oldModifiers));
	AddStates(*message, states);
	return message;
}

} // namespace stria
