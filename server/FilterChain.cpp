// The input stream's filter rules.
#include "FilterChain.h"

#include <InputServerFilter.h>
#include <List.h>
#include <Message.h>

#include <algorithm>

namespace stria {

FilterChain::FilterChain(std::vector<BInputServerFilter*> filters) : fFilters(std::move(filters)) {}

void FilterChain::Run(std::unique_ptr<BMessage> message, Messages& delivered) const
{
	if (message)
		RunFrom(0, std::move(message), delivered);
}

void FilterChain::RunFrom(size_t first, std::unique_ptr<BMessage> message,
                          Messages& delivered) const
{
	for (size_t index = first; index < fFilters.size(); index++) {
		BList outList;
		filter_result result = fFilters[index]->Filter(message.get(), &outList);

		// What the filter handed over, each message once.
		std::vector<BMessage*> out;
		for (int32 item = 0; item < outList.CountItems(); item++) {
			BMessage* entry = static_cast<BMessage*>(outList.ItemAt(item));
			if (entry != NULL && std::find(out.begin(), out.end(), entry) == out.end())
				out.push_back(entry);
		}
		bool messageInOut = std::find(out.begin(), out.end(), message.get()) != out.end();

		if (result == B_SKIP_MESSAGE) {
			for (BMessage* entry : out) {
				if (entry != message.get())
					delete entry;
			}
			return;
		}
		if (out.empty())
			continue;

		if (messageInOut)
			message.release(); // owned again below, at its place in the list
		else
			message.reset();
		for (BMessage* entry : out)
			RunFrom(index + 1, std::unique_ptr<BMessage>(entry), delivered);
		return;
	}
	delivered.push_back(std::move(message));
}

} // namespace stria
