#include "StatusText.h"

namespace stria {

std::string StatusText(status_t status)
{
	switch (status) {
	case B_OK:
		return "no error";
	case B_ERROR:
		return "general error";
	case B_NO_MEMORY:
		return "out of memory";
	case B_IO_ERROR:
		return "input/output error";
	case B_PERMISSION_DENIED:
		return "permission denied";
	case B_BAD_VALUE:
		return "bad value";
	case B_NAME_NOT_FOUND:
		return "no such device";
	case B_NAME_IN_USE:
		return "name in use";
	case B_TIMED_OUT:
		return "timed out";
	case B_WOULD_BLOCK:
		return "would block";
	case B_NO_INIT:
		return "not running";
	case B_BAD_DATA:
		return "malformed data";
	case B_BAD_REPLY:
		return "malformed reply";
	default:
		return "status " + std::to_string(status);
	}
}

} // namespace stria
