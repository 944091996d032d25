#include "RelativeStamps.h"

#include <StriaTime.h>

namespace stria {

bigtime_t RelativeStamps::OnServerClock(bigtime_t own)
{
	if (!fFirst)
		fFirst = own;
	return Shifted(fStart, Elapsed(*fFirst, own));
}

} // namespace stria
