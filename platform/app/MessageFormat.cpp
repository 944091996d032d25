// Checks of flattened messages and of field values.
#include "MessageFormat.h"

#include <algorithm>

namespace BPrivate {

namespace {

static_assert(sizeof(void*) <= 8, "pointer fields hold 8 bytes");

// Messages with up to this many fields are checked without allocating.
constexpr size_t kFewFields = 16;

bool AllZero(const char* bytes, size_t size)
{
	uint64 bits = 0;
	for (; size >= 8; bytes += 8, size -= 8)
		bits |= Load<uint64>(bytes);
	for (; size > 0; bytes++, size--)
		bits |= uint8(*bytes);
	return bits == 0;
}

// Reads and checks a field header, its name and its padding; does not look
// at the values yet.
status_t ReadField(const char* at, size_t available, FieldView& field)
{
	if (available < kFieldHeaderSize)
		return B_BAD_DATA;

	field.type = Load<uint32>(at + kFieldTypeOffset);
	field.nameLength = uint8(at[kFieldNameLengthOffset]);
	uint8 flags = uint8(at[kFieldFlagsOffset]);
	uint16 reserved = Load<uint16>(at + kFieldReservedOffset);
	field.count = Load<uint32>(at + kFieldCountOffset);
	field.dataSize = Load<uint32>(at + kFieldDataSizeOffset);
	field.fixedSize = (flags & kFieldFixedSize) != 0;

	if ((flags & ~kFieldFixedSize) != 0 || reserved != 0 || field.type == B_ANY_TYPE ||
	    field.count == 0)
		return B_BAD_DATA;

	size_t nameBlock = Pad8(field.nameLength + 1);
	size_t dataBlock = Pad8(field.dataSize);
	field.totalSize = kFieldHeaderSize + nameBlock + dataBlock;
	if (field.totalSize > available)
		return B_BAD_DATA;

	field.name = at + kFieldHeaderSize;
	field.data = field.name + nameBlock;
	if (std::memchr(field.name, 0, field.nameLength) != NULL ||
	    !AllZero(field.name + field.nameLength, nameBlock - field.nameLength) ||
	    !AllZero(field.data + field.dataSize, dataBlock - field.dataSize))
		return B_BAD_DATA;
	return B_OK;
}

// Checks every value of a field whose header ReadField accepted.
status_t CheckValues(const FieldView& field, uint32 depthLeft, uint32* depth)
{
	*depth = 0;
	if (field.fixedSize != FixedSizeFor(field.type, field.fixedSize))
		return B_BAD_DATA;

	if (field.fixedSize) {
		if (field.dataSize % field.count != 0)
			return B_BAD_DATA;
		size_t itemSize = field.dataSize / field.count;
		size_t natural = NaturalSize(field.type);
		if (itemSize == 0 || (natural != 0 && itemSize != natural))
			return B_BAD_DATA;
		if (field.type == B_BOOL_TYPE) {
			for (uint32 i = 0; i < field.dataSize; i++) {
				if (uint8(field.data[i]) > 1)
					return B_BAD_DATA;
			}
		}
		return B_OK;
	}

	size_t position = 0;
	for (uint32 i = 0; i < field.count; i++) {
		if (field.dataSize - position < kItemHeaderSize)
			return B_BAD_DATA;
		const char* item = field.data + position;
		size_t size = Load<uint32>(item);
		if (Load<uint32>(item + 4) != 0)
			return B_BAD_DATA;
		size_t room = field.dataSize - position - kItemHeaderSize;
		if (size > room || Pad8(size) > room)
			return B_BAD_DATA;
		const char* value = item + kItemHeaderSize;
		if (!AllZero(value + size, Pad8(size) - size))
			return B_BAD_DATA;
		uint32 valueDepth;
		status_t status = CheckValue(field.type, value, size, depthLeft, &valueDepth);
		if (status != B_OK)
			return B_BAD_DATA;
		*depth = std::max(*depth, valueDepth);
		position += kItemHeaderSize + Pad8(size);
	}
	return position == field.dataSize ? B_OK : B_BAD_DATA;
}

// A field name within the bytes being checked.
struct NameRef {
	const char* data;
	size_t size;

	bool operator==(const NameRef& other) const
	{
		return size == other.size && std::memcmp(data, other.data, size) == 0;
	}

	bool operator<(const NameRef& other) const
	{
		int order = std::memcmp(data, other.data, std::min(size, other.size));
		return order < 0 || (order == 0 && size < other.size);
	}
};

// Pairwise for the few fields of a usual message, sorted for many.
bool HasDuplicateNames(NameRef* names, size_t count)
{
	if (count <= kFewFields) {
		for (size_t i = 0; i < count; i++) {
			for (size_t j = i + 1; j < count; j++) {
				if (names[i] == names[j])
					return true;
			}
		}
		return false;
	}
	std::sort(names, names + count);
	return std::adjacent_find(names, names + count) != names + count;
}

} // namespace

status_t CheckValue(type_code type, const char* data, size_t size, uint32 depthLeft, uint32* depth)
{
	*depth = 0;
	size_t natural = NaturalSize(type);
	if (natural != 0) {
		if (size != natural)
			return B_BAD_DATA;
		if (type == B_BOOL_TYPE && uint8(data[0]) > 1)
			return B_BAD_DATA;
		return B_OK;
	}
	switch (type) {
	case B_STRING_TYPE:
		if (size == 0 || data[size - 1] != 0)
			return B_BAD_DATA;
		return B_OK;
	case B_MESSAGE_TYPE: {
		if (depthLeft == 0)
			return B_BAD_DATA;
		uint32 nested;
		status_t status = CheckFlattened(data, size, depthLeft - 1, &nested);
		if (status != B_OK)
			return B_BAD_DATA;
		*depth = nested + 1;
		return B_OK;
	}
	default:
		return B_OK;
	}
}

size_t DeclaredSize(const char* bytes)
{
	if (std::memcmp(bytes + kHeaderMagicOffset, kMessageMagic, sizeof(kMessageMagic)) != 0)
		return 0;
	return Load<uint32>(bytes + kHeaderTotalSizeOffset);
}

status_t CheckFlattened(const char* bytes, size_t size, uint32 depthLeft, uint32* depth)
{
	if (size >= sizeof(kMessageMagic) &&
	    std::memcmp(bytes + kHeaderMagicOffset, kMessageMagic, sizeof(kMessageMagic)) != 0)
		return B_NOT_A_MESSAGE;
	if (size < kMessageHeaderSize || size > kMaxFlattenedSize || size % 8 != 0)
		return B_BAD_DATA;

	uint16 version = Load<uint16>(bytes + kHeaderVersionOffset);
	uint32 declaredDepth = uint8(bytes[kHeaderDepthOffset]);
	uint8 reserved = uint8(bytes[kHeaderReservedOffset]);
	size_t totalSize = Load<uint32>(bytes + kHeaderTotalSizeOffset);
	size_t fieldCount = Load<uint32>(bytes + kHeaderFieldCountOffset);
	size_t replySize = Load<uint32>(bytes + kHeaderReplySizeOffset);
	if (version != kMessageFormatVersion || reserved != 0 || declaredDepth > depthLeft ||
	    totalSize != size)
		return B_BAD_DATA;

	size_t room = size - kMessageHeaderSize;
	if (replySize > room || Pad8(replySize) > room)
		return B_BAD_DATA;
	const char* reply = bytes + kMessageHeaderSize;
	if (!AllZero(reply + replySize, Pad8(replySize) - replySize))
		return B_BAD_DATA;

	const char* fields = reply + Pad8(replySize);
	size_t fieldsSize = room - Pad8(replySize);
	if (fieldCount > fieldsSize / kMinFieldSize)
		return B_BAD_DATA;

	NameRef fewNames[kFewFields];
	std::vector<NameRef> manyNames;
	NameRef* names = fewNames;
	if (fieldCount > kFewFields) {
		manyNames.resize(fieldCount);
		names = manyNames.data();
	}
	uint32 foundDepth = 0;
	size_t position = 0;
	for (size_t i = 0; i < fieldCount; i++) {
		FieldView field;
		if (ReadField(fields + position, fieldsSize - position, field) != B_OK)
			return B_BAD_DATA;
		uint32 fieldDepth;
		if (CheckValues(field, declaredDepth, &fieldDepth) != B_OK)
			return B_BAD_DATA;
		foundDepth = std::max(foundDepth, fieldDepth);
		names[i] = NameRef{field.name, field.nameLength};
		position += field.totalSize;
	}
	if (position != fieldsSize || foundDepth != declaredDepth ||
	    HasDuplicateNames(names, fieldCount))
		return B_BAD_DATA;

	*depth = declaredDepth;
	return B_OK;
}

} // namespace BPrivate
