// The filters of the input stream, in order, and the rules by which a
// message passes them.
#ifndef STRIA_FILTER_CHAIN_H
#define STRIA_FILTER_CHAIN_H

#include <memory>
#include <vector>

class BInputServerFilter;
class BMessage;

namespace stria {

class FilterChain {
public:
	using Messages = std::vector<std::unique_ptr<BMessage>>;

	// The filters stay their owner's.
	explicit FilterChain(std::vector<BInputServerFilter*> filters = {});

	size_t CountFilters() const { return fFilters.size(); }

	// Passes one message through every filter in turn and appends what
	// leaves the last one to delivered, in order:
	//  - B_SKIP_MESSAGE drops the message and whatever the filter put into
	//    its out-list;
	//  - B_DISPATCH_MESSAGE with an empty out-list passes the message on;
	//  - B_DISPATCH_MESSAGE with messages in the out-list passes those on
	//    instead, each through the later filters only (never again through
	//    the filter that made them); the message itself goes on only if it
	//    is in the list, at its place there.
	// Null entries and repeats of one message in an out-list are ignored.
	void Run(std::unique_ptr<BMessage> message, Messages& delivered) const;

private:
	void RunFrom(size_t first, std::unique_ptr<BMessage> message, Messages& delivered) const;

	std::vector<BInputServerFilter*> fFilters;
};

} // namespace stria

#endif // STRIA_FILTER_CHAIN_H
