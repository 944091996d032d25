// BInputServerFilter: the default filter passes every message on.
#include <InputServerFilter.h>

BInputServerFilter::BInputServerFilter() {}

BInputServerFilter::~BInputServerFilter() {}

status_t BInputServerFilter::InitCheck()
{
	return B_OK;
}

filter_result BInputServerFilter::Filter(BMessage*, BList*)
{
	return B_DISPATCH_MESSAGE;
}

void BInputServerFilter::_ReservedInputServerFilter1() {}
void BInputServerFilter::_ReservedInputServerFilter2() {}
void BInputServerFilter::_ReservedInputServerFilter3() {}
void BInputServerFilter::_ReservedInputServerFilter4() {}
