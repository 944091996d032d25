// The export of the StriaFilter add-on.
#include "CueCatFilter.h"

#include <new>

BInputServerFilter* instantiate_input_filter()
{
	return new (std::nothrow) CueCatFilter();
}
