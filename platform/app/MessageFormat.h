// Private to the application kit: the flattened byte form of a BMessage and
// the checks that every flattened message and every field value must pass.
// platform/README.md documents the layout.
#ifndef STRIA_MESSAGE_FORMAT_H
#define STRIA_MESSAGE_FORMAT_H

#include <SupportDefs.h>
#include <TypeConstants.h>

#include <bit>
#include <cstring>
#include <vector>

// Values are kept in memory exactly as they travel: little-endian. The hosts
// Stria runs on are little-endian, so reading a value is a plain copy.
static_assert(std::endian::native == std::endian::little,
              "the flattened message format assumes a little-endian host");

namespace BPrivate {

// Message header.
constexpr char kMessageMagic[4] = {'S', 'M', 's', 'g'};
constexpr uint16 kMessageFormatVersion = 1;
constexpr size_t kMessageHeaderSize = 24;
constexpr size_t kHeaderMagicOffset = 0;
constexpr size_t kHeaderVersionOffset = 4;
constexpr size_t kHeaderDepthOffset = 6;
constexpr size_t kHeaderReservedOffset = 7;
constexpr size_t kHeaderWhatOffset = 8;
constexpr size_t kHeaderTotalSizeOffset = 12;
constexpr size_t kHeaderFieldCountOffset = 16;
constexpr size_t kHeaderReplySizeOffset = 20;

// Field header.
constexpr size_t kFieldHeaderSize = 16;
constexpr size_t kFieldTypeOffset = 0;
constexpr size_t kFieldNameLengthOffset = 4;
constexpr size_t kFieldFlagsOffset = 5;
constexpr size_t kFieldReservedOffset = 6;
constexpr size_t kFieldCountOffset = 8;
constexpr size_t kFieldDataSizeOffset = 12;
constexpr uint8 kFieldFixedSize = 0x01;

// Each value of a variable-size field: its size, four zero bytes, the bytes.
constexpr size_t kItemHeaderSize = 8;

// The smallest field: header, an empty name padded to 8, 8 bytes of data.
constexpr size_t kMinFieldSize = kFieldHeaderSize + 8 + 8;

// Limits that keep a lying or hostile buffer from costing more than this.
constexpr size_t kMaxFlattenedSize = 16 * 1024 * 1024;
constexpr size_t kMaxNameLength = 255;
constexpr uint32 kMaxNestingDepth = 32;

constexpr size_t Pad8(size_t size)
{
	return (size + 7) & ~size_t(7);
}

template <typename T>
inline T Load(const char* at)
{
	T value;
	std::memcpy(&value, at, sizeof(T));
	return value;
}

template <typename T>
inline void Store(char* at, T value)
{
	std::memcpy(at, &value, sizeof(T));
}

// Size of one value of the types that the typed Add and Find calls read
// and write (int8 to int64, bool, float, double, pointer); 0 for the other
// types, whose values may have any size (a B_UINT8_TYPE field may hold
// 16-byte values, say).
inline size_t NaturalSize(type_code type)
{
	switch (type) {
	case B_INT8_TYPE:
	case B_BOOL_TYPE:
		return 1;
	case B_INT16_TYPE:
		return 2;
	case B_INT32_TYPE:
	case B_FLOAT_TYPE:
		return 4;
	case B_INT64_TYPE:
	case B_DOUBLE_TYPE:
	case B_POINTER_TYPE:
		return 8;
	default:
		return 0;
	}
}

// Types whose values never have a fixed size.
inline bool IsVariableType(type_code type)
{
	return type == B_STRING_TYPE || type == B_MESSAGE_TYPE || type == B_MESSENGER_TYPE;
}

// Whether a field of this type keeps fixed-size values, given what the
// caller asked for (types with a natural size or none decide themselves).
inline bool FixedSizeFor(type_code type, bool requested)
{
	if (NaturalSize(type) != 0)
		return true;
	if (IsVariableType(type))
		return false;
	return requested;
}

// Checks one value before it goes into a field: the size of the natural
// types, the terminator of strings, the truth values of bools, and that a
// nested message is a complete flattened message no deeper than allowed.
// depthLeft says how many more levels of nesting are allowed below the
// message the value goes into; *depth gets the value's own nesting depth
// plus one for message values, 0 otherwise.
status_t CheckValue(type_code type, const char* data, size_t size, uint32 depthLeft, uint32* depth);

// What a field header says, read from the field section of a message.
struct FieldView {
	type_code type;
	uint32 nameLength;
	bool fixedSize;
	uint32 count;
	uint32 dataSize;
	const char* name;
	const char* data;
	size_t totalSize; // header, padded name and padded data
};

// Reads the header of a field that Stria wrote itself (no checks).
inline FieldView ReadTrustedField(const char* at)
{
	FieldView field;
	field.type = Load<uint32>(at + kFieldTypeOffset);
	field.nameLength = uint8(at[kFieldNameLengthOffset]);
	field.fixedSize = (uint8(at[kFieldFlagsOffset]) & kFieldFixedSize) != 0;
	field.count = Load<uint32>(at + kFieldCountOffset);
	field.dataSize = Load<uint32>(at + kFieldDataSizeOffset);
	field.name = at + kFieldHeaderSize;
	field.data = field.name + Pad8(field.nameLength + 1);
	field.totalSize = kFieldHeaderSize + Pad8(field.nameLength + 1) + Pad8(field.dataSize);
	return field;
}

// Checks a complete flattened message of exactly `size` bytes, nested
// messages included. Returns B_OK, B_NOT_A_MESSAGE for a wrong magic number,
// or B_BAD_DATA. *depth gets the nesting depth the header declares (and
// that the check confirmed).
status_t CheckFlattened(const char* bytes, size_t size, uint32 depthLeft, uint32* depth);

// The size a flattened message says it has, or 0 when the header cannot be
// a message header. Reads kMessageHeaderSize bytes.
size_t DeclaredSize(const char* bytes);

} // namespace BPrivate

#endif // STRIA_MESSAGE_FORMAT_H
