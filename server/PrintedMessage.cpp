#include "PrintedMessage.h"

#include <AppDefs.h>
#include <Message.h>
#include <StriaTime.h>

#include <cstdio>

namespace stria {

namespace {

void AppendWhen(const BMessage& message, bigtime_t zero, std::string& line)
{
	int64 when;
	if (message.FindInt64("when", &when) != B_OK)
		return;
	line += " when=" + std::to_string(Elapsed(zero, when));
}

void AppendKey(const BMessage& message, std::string& line)
{
	int32 key;
	if (message.FindInt32("key", &key) == B_OK)
		line += " key=" + std::to_string(key);
}

void AppendByte(const BMessage& message, std::string& line)
{
	int8 byte;
	if (message.FindInt8("byte", &byte) == B_OK)
		line += " byte=" + std::to_string((uint8)byte);
}

void AppendModifiers(const BMessage& message, std::string& line)
{
	int32 modifiers;
	if (message.FindInt32("modifiers", &modifiers) == B_OK)
		line += " modifiers=" + std::to_string((uint32)modifiers);
}

} // namespace

std::string PrintedMessage(const BMessage& message, bigtime_t zero)
{
	std::string line;
	switch (message.what) {
	case B_KEY_DOWN:
		line = "KEY_DOWN";
		AppendWhen(message, zero, line);
		AppendKey(message, line);
		AppendByte(message, line);
		AppendModifiers(message, line);
		break;
	case B_KEY_UP:
	case B_UNMAPPED_KEY_DOWN:
	case B_UNMAPPED_KEY_UP:
		line = message.what == B_KEY_UP              ? "KEY_UP"
		       : message.what == B_UNMAPPED_KEY_DOWN ? "UNMAPPED_KEY_DOWN"
		                                             : "UNMAPPED_KEY_UP";
		AppendWhen(message, zero, line);
		AppendKey(message, line);
		AppendModifiers(message, line);
		break;
	case B_MODIFIERS_CHANGED:
		line = "MODIFIERS";
		AppendWhen(message, zero, line);
		AppendModifiers(message, line);
		break;
	default: {
		char text[32];
		std::snprintf(text, sizeof(text), "MESSAGE what=0x%08x", (unsigned)message.what);
		line = text;
		break;
	}
	}
	return line;
}

} // namespace stria
