// One Linux input event as evdev nodes deliver it and event files store it:
// the 24-byte struct input_event of x86-64 (seconds and microseconds as
// 64-bit integers, type, code, value), little-endian.
#ifndef STRIA_EVENT_RECORD_H
#define STRIA_EVENT_RECORD_H

#include <SupportDefs.h>

#include <optional>
#include <string>

namespace stria {

struct EventRecord {
	int64 seconds = 0;
	int64 microseconds = 0;
	uint16 type = 0;
	uint16 code = 0;
	int32 value = 0;

	static constexpr size_t kSize = 24;

	static EventRecord Decode(const uint8* bytes);
	void Encode(uint8* bytes) const;

	// The time stamp in microseconds; none when it does not fit (fields out
	// of range), so that a damaged record can never overflow.
	std::optional<bigtime_t> When() const;
	static EventRecord At(bigtime_t when, uint16 type, uint16 code, int32 value);

	// Empty when the record can come from an input device; else what is
	// wrong with it, for error messages.
	std::string Problem() const;
};

} // namespace stria

#endif // STRIA_EVENT_RECORD_H
