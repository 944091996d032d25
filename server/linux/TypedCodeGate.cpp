#include "TypedCodeGate.h"

#include <AppDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <StriaTime.h>

#include <utility>

namespace stria {

namespace {

// What the gate reads of a message.
struct Marks {
	int32 source = -1;
	bool key = false;
	// Marked as part of a code an add-on types.
	bool typed = false;
	int64 code = 0;
	bool end = false;

	static Marks Of(const BMessage& message)
	{
		Marks marks;
		message.FindInt32(STRIA_SOURCE_FIELD, &marks.source);
		switch (message.what) {
		case B_KEY_DOWN:
		case B_KEY_UP:
		case B_UNMAPPED_KEY_DOWN:
		case B_UNMAPPED_KEY_UP:
		case B_MODIFIERS_CHANGED:
			marks.key = true;
			break;
		default:
			break;
		}
		int32 kind = 0;
		// Only an add-on types codes; the marks mean nothing on anything else.
		if (message.FindInt32(STRIA_SOURCE_KIND_FIELD, &kind) == B_OK &&
		    kind == STRIA_SOURCE_ADD_ON &&
		    message.FindInt64(STRIA_TYPED_CODE_FIELD, &marks.code) == B_OK) {
			marks.typed = true;
			message.FindBool(STRIA_TYPED_CODE_END_FIELD, &marks.end);
		}
		return marks;
	}
};

} // namespace

TypedCodeGate::TypedCodeGate(Pass pass) : fPass(std::move(pass)) {}

void TypedCodeGate::Take(const BMessage& message, bigtime_t now)
{
	_Take(message, now, nullptr);
}

void TypedCodeGate::_Take(const BMessage& message, bigtime_t since, std::unique_ptr<BMessage> owned)
{
	const Marks marks = Marks::Of(message);
	// The same source under a new number: the code before ended without
	// its end mark, and what waited for it comes before the new one.
	if (fCode && marks.typed && marks.source == fCode->source && marks.code != fCode->number)
		_Close();
	if (fCode && !fGaveUp && !fReleased && marks.key && marks.source != fCode->source) {
		if (!owned)
			owned = std::make_unique<BMessage>(message);
		fHeld.push_back({std::move(owned), since});
		if (fHeld.size() >= kMostHeld) {
			fGaveUp = true;
			_Drain();
		}
		return;
	}
	fPass(message);
	if (marks.typed && !fCode && !fReleased)
		fCode = Code{marks.source, marks.code};
	if (marks.end && fCode && marks.source == fCode->source && marks.code == fCode->number)
		_Close();
}

void TypedCodeGate::_Close()
{
	fCode.reset();
	fGaveUp = false;
	_Drain();
}

void TypedCodeGate::_Drain()
{
	// A message taken again may open the next code and wait for it anew;
	// whatever waits then came before the rest, so the order holds.
	std::deque<Held> held = std::exchange(fHeld, {});
	for (Held& entry : held) {
		const BMessage& message = *entry.message;
		_Take(message, entry.since, std::move(entry.message));
	}
}

void TypedCodeGate::Expire(bigtime_t now)
{
	if (now < Deadline())
		return;
	fGaveUp = true;
	_Drain();
}

bigtime_t TypedCodeGate::Deadline() const
{
	if (fHeld.empty())
		return kLatestTime;
	return Shifted(fHeld.front().since, kLongestWait);
}

void TypedCodeGate::ReleaseAll()
{
	fReleased = true;
	fCode.reset();
	fGaveUp = false;
	_Drain();
}

} // namespace stria
