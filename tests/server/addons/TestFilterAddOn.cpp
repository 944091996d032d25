// A filter add-on for the loader's tests: drops messages whose code is
// 'drop' and counts the filters alive in a variable the test can read.
#include <InputServerFilter.h>
#include <Message.h>

extern "C" _EXPORT int gTestFiltersAlive;
int gTestFiltersAlive = 0;

namespace {

class DroppingFilter : public BInputServerFilter {
public:
	DroppingFilter() { gTestFiltersAlive++; }
	~DroppingFilter() override { gTestFiltersAlive--; }

	filter_result Filter(BMessage* message, BList*) override
	{
		return message->what == 'drop' ? B_SKIP_MESSAGE : B_DISPATCH_MESSAGE;
	}
};

} // namespace

BInputServerFilter* instantiate_input_filter()
{
	return new DroppingFilter;
}
