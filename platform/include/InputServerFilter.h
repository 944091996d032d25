// Input server: the base class of filter add-ons.
#ifndef _INPUT_SERVER_FILTER_H
#define _INPUT_SERVER_FILTER_H

#include <Input.h>
#include <SupportDefs.h>

class BList;
class BMessage;

#ifndef _FILTER_RESULT_DEFINED
#define _FILTER_RESULT_DEFINED
enum filter_result { B_SKIP_MESSAGE = 0, B_DISPATCH_MESSAGE = 1 };
#endif

#ifndef _EXPORT
#define _EXPORT __attribute__((visibility("default")))
#endif

class BInputServerFilter {
public:
	BInputServerFilter();
	virtual ~BInputServerFilter();

	// Anything but B_OK makes the server drop the filter.
	virtual status_t InitCheck();

	// Sees every message of the input stream, on the server's one input
	// thread. B_SKIP_MESSAGE drops the message (the out-list is ignored);
	// B_DISPATCH_MESSAGE passes it on, or, when the filter filled outList
	// with new heap messages, passes those on instead. Messages in outList
	// belong to the server from then on; the message itself stays the
	// server's and goes on only if the filter put it in outList too.
	virtual filter_result Filter(BMessage* message, BList* outList);

private:
	virtual void _ReservedInputServerFilter1();
	virtual void _ReservedInputServerFilter2();
	virtual void _ReservedInputServerFilter3();
	virtual void _ReservedInputServerFilter4();

	uint32 _reserved[4];
};

// The export of a filter add-on: one new filter the server owns.
extern "C" _EXPORT BInputServerFilter* instantiate_input_filter();

#endif // _INPUT_SERVER_FILTER_H
