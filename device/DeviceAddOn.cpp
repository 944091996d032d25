// The export of the StriaDevice add-on.
#include "StriaDevice.h"

#include <new>

BInputServerDevice* instantiate_input_device()
{
	return new (std::nothrow) StriaDevice();
}
