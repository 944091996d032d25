// The one-line text forms in which --print and --subscribe show messages.
#ifndef STRIA_PRINTED_MESSAGE_H
#define STRIA_PRINTED_MESSAGE_H

#include <string>

class BMessage;

namespace stria {

// A message that reaches applications:
//	KEY_DOWN when=<when> key=<key> byte=<0..255> modifiers=<modifiers>
//	KEY_UP when=<when> key=<key> modifiers=<modifiers>
//	UNMAPPED_KEY_DOWN when=<when> key=<key> modifiers=<modifiers>
//	UNMAPPED_KEY_UP when=<when> key=<key> modifiers=<modifiers>
//	MODIFIERS when=<when> modifiers=<modifiers>
//	MESSAGE what=0x<8 lowercase hex digits>
// Numbers in decimal; a field the message lacks is left out.
std::string PrintedMessage(const BMessage& message);

} // namespace stria

#endif // STRIA_PRINTED_MESSAGE_H
