// Writes the virtual keyboard's records no faster than a reader of its evdev
// node can take them. The kernel keeps a bounded buffer of events for each
// reader of an input device; a reader that comes late to a full buffer
// finds SYN_DROPPED in place of everything it had not read, and a desktop
// then loses keys (a whole typed code but its first letter). So within any
// span of the budget's window at most the budget's records are written;
// what does not fit waits, in order, for its turn.
//
// A write that finds room and nothing waiting goes to the device at once,
// on the caller's thread: a person's key is never delayed. Whoever owns the
// writer calls WriteDue when NextDue comes (no thread of its own, so that
// tests drive it on a clock of their own). Records keep their stamps; only
// the moment they are written changes.
#ifndef STRIA_PACED_WRITER_H
#define STRIA_PACED_WRITER_H

#include "VirtualKeyboard.h"

#include <bitset>
#include <cstddef>
#include <deque>
#include <limits>
#include <vector>

class StriaClock;

namespace stria {

class PacedWriter : public EventWriter {
public:
	struct Budget {
		size_t records;   // at most this many records written ...
		bigtime_t window; // ... within any span this long (microseconds)
	};

	// evdev gives each reader of our keyboard 64 events: eight packets of
	// eight events (a SYN_REPORT and room for key and scan-code events) for
	// a device without axes, and never less than 64. The 64th unread event
	// makes it drop the rest, so 63 may wait; a reader 50 ms late reads
	// what was written 50 ms ago, so at most 62 records (31 key events with
	// their reports) go within any 50 ms.
	static constexpr Budget kEvdevReader = {62, 50000};
	// For files and FIFOs: they never drop, so nothing waits.
	static constexpr Budget kUnpaced = {std::numeric_limits<size_t>::max(), 0};

	// device and clock must outlive the writer.
	PacedWriter(EventWriter& device, StriaClock& clock, Budget budget);

	// Writes records at once when they fit and nothing waits, else queues
	// them behind what waits. False once the device has failed (nothing
	// more is written or queued then).
	bool Write(std::span<const EventRecord> records) override;

	// When the first waiting write fits the budget; kLatestTime with
	// nothing waiting.
	bigtime_t NextDue() const;
	// Writes, in order, every waiting write that fits now.
	void WriteDue();

	// Lets go of every waiting write, then lets go of the keys the device
	// holds down (at once, outside the budget: the device is about to
	// go). Returns the number of records not written.
	size_t LetGo();

	// Records waiting for their turn.
	size_t CountWaiting() const { return fWaitingRecords; }
	// False once a write to the device failed.
	bool Healthy() const { return fHealthy; }

private:
	// Writes to the device and notes it in the window.
	void _Emit(std::span<const EventRecord> records);
	// Whether size more records may go with recent in the window.
	bool _Fits(size_t recent, size_t size) const;
	// Records written within the window that ends at now.
	size_t _Recent(bigtime_t now);

	struct Written {
		bigtime_t at; // the clock once the write returned
		size_t records;
	};

	EventWriter& fDevice;
	StriaClock& fClock;
	const Budget fBudget;
	std::deque<Written> fRecent;
	size_t fRecentRecords = 0;
	std::deque<std::vector<EventRecord>> fWaiting;
	size_t fWaitingRecords = 0;
	// The keys the device holds down, from what was written to it.
	std::bitset<1024> fDown;
	bigtime_t fLastStamp = 0;
	bool fHealthy = true;
};

} // namespace stria

#endif // STRIA_PACED_WRITER_H
