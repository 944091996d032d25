#include "SourceIdentity.h"

#include <Message.h>
#include <StriaProtocol.h>

namespace stria {

void SourceIdentity::Mark(BMessage& message) const
{
	// Whatever a producer put there itself must not pass for the server's
	// word.
	message.RemoveName(STRIA_SOURCE_FIELD);
	message.RemoveName(STRIA_SOURCE_KIND_FIELD);
	message.AddInt32(STRIA_SOURCE_FIELD, id);
	message.AddInt32(STRIA_SOURCE_KIND_FIELD, kind);
}

} // namespace stria
