// Where a message of the input stream comes from. The server marks every
// message with it as the message enters the stream (the source fields of
// StriaProtocol.h): its own input devices (keyboards, files of recorded
// events, replay scripts) each as a keyboard of its own, and each device
// add-on as one source of the add-on kind for everything it enqueues, keys
// it types included. A filter can so keep apart what two keyboards type at
// once, and never take keys an add-on typed for a person's or a scanner's.
#ifndef STRIA_SOURCE_IDENTITY_H
#define STRIA_SOURCE_IDENTITY_H

#include <SupportDefs.h>

class BMessage;

namespace stria {

struct SourceIdentity {
	int32 id = 0;
	int32 kind = 0; // STRIA_SOURCE_KEYBOARD or STRIA_SOURCE_ADD_ON

	// Puts the identity into message, replacing whatever it held under
	// the source fields.
	void Mark(BMessage& message) const;
};

} // namespace stria

#endif // STRIA_SOURCE_IDENTITY_H
