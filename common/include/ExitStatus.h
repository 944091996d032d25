// The exit status of a program for how it ended, the same for the server
// and every tool: 0 for B_OK, 2 when something the person named is wrong
// (an argument, a path, a file: B_BAD_VALUE, B_BAD_DATA), 1 for any other
// failure. Only main turns a status into an exit status.
#ifndef STRIA_EXIT_STATUS_H
#define STRIA_EXIT_STATUS_H

#include <SupportDefs.h>

namespace stria {

constexpr int ExitStatus(status_t status)
{
	switch (status) {
	case B_OK:
		return 0;
	case B_BAD_VALUE:
	case B_BAD_DATA:
		return 2;
	default:
		return 1;
	}
}

} // namespace stria

#endif // STRIA_EXIT_STATUS_H
