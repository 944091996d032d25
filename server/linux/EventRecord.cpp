#include "EventRecord.h"

#include <linux/input-event-codes.h>

#include <cstdio>
#include <limits>

namespace stria {

namespace {

uint64 LoadLittleEndian(const uint8* bytes, int count)
{
	uint64 value = 0;
	for (int i = count - 1; i >= 0; i--)
		value = (value << 8) | bytes[i];
	return value;
}

void StoreLittleEndian(uint8* bytes, uint64 value, int count)
{
	for (int i = 0; i < count; i++) {
		bytes[i] = static_cast<uint8>(value & 0xff);
		value >>= 8;
	}
}

constexpr int64 kMaxSeconds = std::numeric_limits<int64>::max() / 1000000 - 1;

} // namespace

EventRecord EventRecord::Decode(const uint8* bytes)
{
	EventRecord record;
	record.seconds = static_cast<int64>(LoadLittleEndian(bytes, 8));
	record.microseconds = static_cast<int64>(LoadLittleEndian(bytes + 8, 8));
	record.type = static_cast<uint16>(LoadLittleEndian(bytes + 16, 2));
	record.code = static_cast<uint16>(LoadLittleEndian(bytes + 18, 2));
	record.value = static_cast<int32>(static_cast<uint32>(LoadLittleEndian(bytes + 20, 4)));
	return record;
}

void EventRecord::Encode(uint8* bytes) const
{
	StoreLittleEndian(bytes, static_cast<uint64>(seconds), 8);
	StoreLittleEndian(bytes + 8, static_cast<uint64>(microseconds), 8);
	StoreLittleEndian(bytes + 16, type, 2);
	StoreLittleEndian(bytes + 18, code, 2);
	StoreLittleEndian(bytes + 20, static_cast<uint32>(value), 4);
}

std::optional<bigtime_t> EventRecord::When() const
{
	if (seconds < 0 || seconds > kMaxSeconds || microseconds < 0 || microseconds > 999999)
		return std::nullopt;
	return seconds * 1000000 + microseconds;
}

EventRecord EventRecord::At(bigtime_t when, uint16 type, uint16 code, int32 value)
{
	EventRecord record;
	when = when < 0 ? 0 : when;
	record.seconds = when / 1000000;
	record.microseconds = when % 1000000;
	record.type = type;
	record.code = code;
	record.value = value;
	return record;
}

std::string EventRecord::Problem() const
{
	char text[96];
	if (!When()) {
		std::snprintf(text, sizeof(text), "time stamp %lld.%06lld is out of range",
		              static_cast<long long>(seconds), static_cast<long long>(microseconds));
		return text;
	}
	if (type > EV_MAX) {
		std::snprintf(text, sizeof(text), "type %u is not an input event type", type);
		return text;
	}
	if (type == EV_KEY && (value < 0 || value > 2)) {
		std::snprintf(text, sizeof(text), "key %u has value %d (0 up, 1 down, 2 repeat)", code,
		              value);
		return text;
	}
	if (type == EV_KEY && code > KEY_MAX) {
		std::snprintf(text, sizeof(text), "key code %u is out of range", code);
		return text;
	}
	return {};
}

} // namespace stria
