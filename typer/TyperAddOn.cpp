// The export of the StriaTyper add-on.
#include "StriaTyper.h"

#include <new>

BInputServerDevice* instantiate_input_device()
{
	return new (std::nothrow) StriaTyper();
}
