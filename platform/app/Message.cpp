// Application kit: BMessage.
//
// A message keeps its fields in memory exactly in their flattened layout
// (platform/README.md), plus a small index of where each field starts. Field
// lookup is a scan of that index, copying a message is two memcpys, and
// Flatten and Unflatten are a header plus one memcpy (Unflatten checks the
// bytes first). Small messages live entirely inside one allocation.
#include <Message.h>

#include <Messenger.h>
#include <String.h>

#include "MessageBuffer.h"
#include "MessageFormat.h"

#include <algorithm>
#include <cstdint>
#include <unistd.h>
#include <vector>

using namespace BPrivate;

namespace {

struct FieldEntry {
	uint32 offset; // of the field header within the field section
	uint32 dataSize;
	uint32 count;
	type_code type;
	uint16 nameLength;
	bool fixedSize;
};

// Values handed in by callers may point into the message they are added
// to (a FindData result, say); such values are copied out first, because
// making room may move the message's bytes.
class DetachedValue {
public:
	DetachedValue(const void* data, size_t size, bool aliased)
	{
		if (aliased) {
			fCopy.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
			fData = fCopy.data();
		} else
			fData = static_cast<const char*>(data);
	}

	const char* Data() const { return fData; }

private:
	const char* fData;
	std::vector<char> fCopy;
};

} // namespace

struct BMessage::Data {
	MessageBuffer<FieldEntry, 8> fields;
	MessageBuffer<char, 384> bytes;  // the field section of the flattened form
	MessageBuffer<char, 48> replyTo; // flattened return address; empty for none
	uint32 depth = 0;                // how deep message fields nest below this message
	bool delivered = false;
	// Set by the delivery code for a message read from a connection: the
	// sending process as the kernel names it, never as the bytes claim.
	bool fromConnection = false;
	team_id sourceTeam = -1;

	const char* NameOf(const FieldEntry& field) const
	{
		return bytes.Items() + field.offset + kFieldHeaderSize;
	}

	static size_t DataOffset(const FieldEntry& field)
	{
		return field.offset + kFieldHeaderSize + Pad8(field.nameLength + 1);
	}

	static size_t FieldSize(const FieldEntry& field)
	{
		return kFieldHeaderSize + Pad8(field.nameLength + 1) + Pad8(field.dataSize);
	}

	size_t FlattenedSize() const
	{
		return kMessageHeaderSize + Pad8(replyTo.Count()) + bytes.Count();
	}

	bool HasRoomFor(size_t extra) const
	{
		return extra <= kMaxFlattenedSize && FlattenedSize() + extra <= kMaxFlattenedSize;
	}

	int32 IndexOf(const char* name) const;
	// Offset and size of one value within `bytes`.
	void Locate(const FieldEntry& field, uint32 index, size_t* offset, size_t* size) const;

	status_t AddField(const char* name, size_t nameLength, type_code type, bool fixedSize,
	                  const char* value, size_t size);
	status_t AppendValue(int32 fieldIndex, const char* value, size_t size);
	status_t ReplaceValue(int32 fieldIndex, uint32 index, const char* value, size_t size);
	void RemoveValue(int32 fieldIndex, uint32 index);
	void RemoveField(int32 fieldIndex);
	void MoveFieldsAfter(int32 fieldIndex, ptrdiff_t delta);
	void WriteCounts(const FieldEntry& field);
	void UpdateDepth();

	// Takes over a flattened message that CheckFlattened accepted; changes
	// nothing when memory runs out.
	status_t TakeOver(const char* flat, size_t size);
	void Write(char* buffer, uint32 what) const;
	void Clear();
};

// #pragma mark - Data

int32 BMessage::Data::IndexOf(const char* name) const
{
	size_t length = std::strlen(name);
	const FieldEntry* entries = fields.Items();
	for (size_t i = 0; i < fields.Count(); i++) {
		if (entries[i].nameLength == length && std::memcmp(NameOf(entries[i]), name, length) == 0)
			return int32(i);
	}
	return -1;
}

void BMessage::Data::Locate(const FieldEntry& field, uint32 index, size_t* offset,
                            size_t* size) const
{
	size_t position = DataOffset(field);
	if (field.fixedSize) {
		size_t itemSize = field.dataSize / field.count;
		*offset = position + size_t(index) * itemSize;
		*size = itemSize;
		return;
	}
	const char* items = bytes.Items();
	for (uint32 i = 0; i < index; i++)
		position += kItemHeaderSize + Pad8(Load<uint32>(items + position));
	*offset = position + kItemHeaderSize;
	*size = Load<uint32>(items + position);
}

status_t BMessage::Data::AddField(const char* name, size_t nameLength, type_code type,
                                  bool fixedSize, const char* value, size_t size)
{
	size_t nameBlock = Pad8(nameLength + 1);
	size_t dataSize = fixedSize ? size : kItemHeaderSize + Pad8(size);
	size_t total = kFieldHeaderSize + nameBlock + Pad8(dataSize);
	if (!HasRoomFor(total) || !fields.Reserve(fields.Count() + 1))
		return B_NO_MEMORY;
	size_t offset = bytes.Count();
	char* at = bytes.Insert(offset, total);
	if (at == NULL)
		return B_NO_MEMORY;

	std::memset(at, 0, kFieldHeaderSize + nameBlock);
	Store<uint32>(at + kFieldTypeOffset, type);
	at[kFieldNameLengthOffset] = char(nameLength);
	at[kFieldFlagsOffset] = fixedSize ? char(kFieldFixedSize) : 0;
	std::memcpy(at + kFieldHeaderSize, name, nameLength);
	char* data = at + kFieldHeaderSize + nameBlock;
	if (!fixedSize) {
		Store<uint32>(data, uint32(size));
		Store<uint32>(data + 4, 0);
		data += kItemHeaderSize;
	}
	std::memcpy(data, value, size);
	std::memset(data + size, 0, Pad8(size) - size);

	FieldEntry field = {uint32(offset), uint32(dataSize), 1, type, uint16(nameLength), fixedSize};
	WriteCounts(field);
	fields.Append(field);
	return B_OK;
}

status_t BMessage::Data::AppendValue(int32 fieldIndex, const char* value, size_t size)
{
	FieldEntry& field = fields[fieldIndex];
	size_t dataOffset = DataOffset(field);
	if (field.fixedSize) {
		if (size != field.dataSize / field.count)
			return B_BAD_VALUE;
		size_t oldBlock = Pad8(field.dataSize);
		size_t newBlock = Pad8(field.dataSize + size);
		if (!HasRoomFor(newBlock - oldBlock))
			return B_NO_MEMORY;
		if (newBlock > oldBlock && bytes.Insert(dataOffset + oldBlock, newBlock - oldBlock) == NULL)
			return B_NO_MEMORY;
		char* data = bytes.Items() + dataOffset + field.dataSize;
		std::memcpy(data, value, size);
		std::memset(data + size, 0, newBlock - field.dataSize - size);
		field.dataSize += uint32(size);
		field.count++;
		MoveFieldsAfter(fieldIndex, ptrdiff_t(newBlock - oldBlock));
	} else {
		size_t block = kItemHeaderSize + Pad8(size);
		if (!HasRoomFor(block))
			return B_NO_MEMORY;
		char* item = bytes.Insert(dataOffset + field.dataSize, block);
		if (item == NULL)
			return B_NO_MEMORY;
		Store<uint32>(item, uint32(size));
		Store<uint32>(item + 4, 0);
		std::memcpy(item + kItemHeaderSize, value, size);
		std::memset(item + kItemHeaderSize + size, 0, Pad8(size) - size);
		field.dataSize += uint32(block);
		field.count++;
		MoveFieldsAfter(fieldIndex, ptrdiff_t(block));
	}
	WriteCounts(field);
	return B_OK;
}

status_t BMessage::Data::ReplaceValue(int32 fieldIndex, uint32 index, const char* value,
                                      size_t size)
{
	FieldEntry& field = fields[fieldIndex];
	size_t offset, oldSize;
	Locate(field, index, &offset, &oldSize);
	if (field.fixedSize) {
		if (size != oldSize)
			return B_BAD_VALUE;
		std::memcpy(bytes.Items() + offset, value, size);
		return B_OK;
	}

	size_t oldBlock = Pad8(oldSize);
	size_t newBlock = Pad8(size);
	if (newBlock > oldBlock) {
		if (!HasRoomFor(newBlock - oldBlock) ||
		    bytes.Insert(offset + oldBlock, newBlock - oldBlock) == NULL)
			return B_NO_MEMORY;
	} else if (newBlock < oldBlock)
		bytes.Erase(offset + newBlock, oldBlock - newBlock);

	char* data = bytes.Items() + offset;
	Store<uint32>(data - kItemHeaderSize, uint32(size));
	std::memcpy(data, value, size);
	std::memset(data + size, 0, newBlock - size);
	ptrdiff_t delta = ptrdiff_t(newBlock) - ptrdiff_t(oldBlock);
	field.dataSize = uint32(ptrdiff_t(field.dataSize) + delta);
	MoveFieldsAfter(fieldIndex, delta);
	WriteCounts(field);
	return B_OK;
}

void BMessage::Data::RemoveValue(int32 fieldIndex, uint32 index)
{
	FieldEntry& field = fields[fieldIndex];
	if (field.count == 1) {
		RemoveField(fieldIndex);
		return;
	}

	size_t offset, size;
	Locate(field, index, &offset, &size);
	size_t removed;
	if (field.fixedSize) {
		size_t dataOffset = DataOffset(field);
		size_t oldBlock = Pad8(field.dataSize);
		size_t newDataSize = field.dataSize - size;
		size_t newBlock = Pad8(newDataSize);
		char* data = bytes.Items() + dataOffset;
		size_t after = offset + size - dataOffset;
		std::memmove(bytes.Items() + offset, bytes.Items() + offset + size, field.dataSize - after);
		std::memset(data + newDataSize, 0, newBlock - newDataSize);
		removed = oldBlock - newBlock;
		if (removed > 0)
			bytes.Erase(dataOffset + newBlock, removed);
		field.dataSize = uint32(newDataSize);
	} else {
		removed = kItemHeaderSize + Pad8(size);
		bytes.Erase(offset - kItemHeaderSize, removed);
		field.dataSize -= uint32(removed);
	}
	field.count--;
	MoveFieldsAfter(fieldIndex, -ptrdiff_t(removed));
	WriteCounts(field);
}

void BMessage::Data::RemoveField(int32 fieldIndex)
{
	const FieldEntry& field = fields[fieldIndex];
	size_t size = FieldSize(field);
	bytes.Erase(field.offset, size);
	fields.Erase(fieldIndex, 1);
	MoveFieldsAfter(fieldIndex - 1, -ptrdiff_t(size));
}

void BMessage::Data::MoveFieldsAfter(int32 fieldIndex, ptrdiff_t delta)
{
	for (size_t i = size_t(fieldIndex + 1); i < fields.Count(); i++)
		fields[i].offset = uint32(ptrdiff_t(fields[i].offset) + delta);
}

void BMessage::Data::WriteCounts(const FieldEntry& field)
{
	char* header = bytes.Items() + field.offset;
	Store<uint32>(header + kFieldCountOffset, field.count);
	Store<uint32>(header + kFieldDataSizeOffset, field.dataSize);
}

void BMessage::Data::UpdateDepth()
{
	depth = 0;
	for (size_t i = 0; i < fields.Count(); i++) {
		const FieldEntry& field = fields[i];
		if (field.type != B_MESSAGE_TYPE)
			continue;
		for (uint32 index = 0; index < field.count; index++) {
			size_t offset, size;
			Locate(field, index, &offset, &size);
			uint32 nested = uint8(bytes.Items()[offset + kHeaderDepthOffset]);
			depth = std::max(depth, nested + 1);
		}
	}
}

status_t BMessage::Data::TakeOver(const char* flat, size_t size)
{
	size_t fieldCount = Load<uint32>(flat + kHeaderFieldCountOffset);
	size_t replySize = Load<uint32>(flat + kHeaderReplySizeOffset);
	size_t fieldsStart = kMessageHeaderSize + Pad8(replySize);
	size_t fieldsSize = size - fieldsStart;
	if (!fields.Reserve(fieldCount) || !bytes.Reserve(fieldsSize) || !replyTo.Reserve(replySize))
		return B_NO_MEMORY;

	// Nothing can fail from here on.
	replyTo.Assign(flat + kMessageHeaderSize, replySize);
	bytes.Assign(flat + fieldsStart, fieldsSize);
	fields.Clear();
	size_t position = 0;
	for (size_t i = 0; i < fieldCount; i++) {
		FieldView view = ReadTrustedField(bytes.Items() + position);
		fields.Append(FieldEntry{uint32(position), view.dataSize, view.count, view.type,
		                         uint16(view.nameLength), view.fixedSize});
		position += view.totalSize;
	}
	depth = uint8(flat[kHeaderDepthOffset]);
	delivered = false;
	fromConnection = false;
	sourceTeam = -1;
	return B_OK;
}

void BMessage::Data::Write(char* buffer, uint32 what) const
{
	size_t replyBlock = Pad8(replyTo.Count());
	std::memcpy(buffer + kHeaderMagicOffset, kMessageMagic, sizeof(kMessageMagic));
	Store<uint16>(buffer + kHeaderVersionOffset, kMessageFormatVersion);
	buffer[kHeaderDepthOffset] = char(depth);
	buffer[kHeaderReservedOffset] = 0;
	Store<uint32>(buffer + kHeaderWhatOffset, what);
	Store<uint32>(buffer + kHeaderTotalSizeOffset, uint32(FlattenedSize()));
	Store<uint32>(buffer + kHeaderFieldCountOffset, uint32(fields.Count()));
	Store<uint32>(buffer + kHeaderReplySizeOffset, uint32(replyTo.Count()));
	char* reply = buffer + kMessageHeaderSize;
	if (replyTo.Count() > 0)
		std::memcpy(reply, replyTo.Items(), replyTo.Count());
	std::memset(reply + replyTo.Count(), 0, replyBlock - replyTo.Count());
	if (bytes.Count() > 0)
		std::memcpy(reply + replyBlock, bytes.Items(), bytes.Count());
}

void BMessage::Data::Clear()
{
	fields.Clear();
	bytes.Clear();
	replyTo.Clear();
	depth = 0;
	delivered = false;
	fromConnection = false;
	sourceTeam = -1;
}

// #pragma mark - BMessage

BMessage::BMessage() : what(0), fData(new Data) {}

BMessage::BMessage(uint32 what) : what(what), fData(new Data) {}

BMessage::BMessage(const BMessage& other) : what(other.what), fData(new Data(*other.fData)) {}

BMessage::~BMessage()
{
	delete fData;
}

BMessage& BMessage::operator=(const BMessage& other)
{
	if (this != &other) {
		*fData = *other.fData;
		what = other.what;
	}
	return *this;
}

// #pragma mark - field information

status_t BMessage::GetInfo(type_code typeRequested, int32 index, char** nameFound,
                           type_code* typeFound, int32* countFound) const
{
	if (index < 0 || size_t(index) >= fData->fields.Count())
		return B_BAD_INDEX;

	int32 matched = -1;
	for (size_t i = 0; i < fData->fields.Count(); i++) {
		const FieldEntry& field = fData->fields[i];
		if (typeRequested != B_ANY_TYPE && field.type != typeRequested)
			continue;
		if (++matched != index)
			continue;
		if (nameFound != NULL)
			*nameFound = const_cast<char*>(fData->NameOf(field));
		if (typeFound != NULL)
			*typeFound = field.type;
		if (countFound != NULL)
			*countFound = int32(field.count);
		return B_OK;
	}
	return matched < 0 ? B_BAD_TYPE : B_BAD_INDEX;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, int32* countFound) const
{
	if (name == NULL)
		return B_BAD_VALUE;
	int32 index = fData->IndexOf(name);
	if (index < 0)
		return B_NAME_NOT_FOUND;
	if (typeFound != NULL)
		*typeFound = fData->fields[index].type;
	if (countFound != NULL)
		*countFound = int32(fData->fields[index].count);
	return B_OK;
}

status_t BMessage::GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const
{
	if (name == NULL)
		return B_BAD_VALUE;
	int32 index = fData->IndexOf(name);
	if (index < 0)
		return B_NAME_NOT_FOUND;
	if (typeFound != NULL)
		*typeFound = fData->fields[index].type;
	if (fixedSize != NULL)
		*fixedSize = fData->fields[index].fixedSize;
	return B_OK;
}

int32 BMessage::CountNames(type_code type) const
{
	if (type == B_ANY_TYPE)
		return int32(fData->fields.Count());
	int32 count = 0;
	for (size_t i = 0; i < fData->fields.Count(); i++) {
		if (fData->fields[i].type == type)
			count++;
	}
	return count;
}

bool BMessage::IsEmpty() const
{
	return fData->fields.Count() == 0;
}

bool BMessage::HasSameData(const BMessage& other) const
{
	// Fields are kept in one canonical layout, so equal fields in the same
	// order are equal bytes.
	const Data& mine = *fData;
	const Data& theirs = *other.fData;
	return what == other.what && mine.fields.Count() == theirs.fields.Count() &&
	       mine.bytes.Count() == theirs.bytes.Count() &&
	       std::memcmp(mine.bytes.Items(), theirs.bytes.Items(), mine.bytes.Count()) == 0;
}

status_t BMessage::MakeEmpty()
{
	fData->Clear();
	return B_OK;
}

status_t BMessage::RemoveName(const char* name)
{
	if (name == NULL)
		return B_BAD_VALUE;
	int32 index = fData->IndexOf(name);
	if (index < 0)
		return B_NAME_NOT_FOUND;
	bool nested = fData->fields[index].type == B_MESSAGE_TYPE;
	fData->RemoveField(index);
	if (nested)
		fData->UpdateDepth();
	return B_OK;
}

status_t BMessage::RemoveData(const char* name, int32 index)
{
	if (name == NULL)
		return B_BAD_VALUE;
	int32 field = fData->IndexOf(name);
	if (field < 0)
		return B_NAME_NOT_FOUND;
	if (index < 0 || uint32(index) >= fData->fields[field].count)
		return B_BAD_INDEX;
	bool nested = fData->fields[field].type == B_MESSAGE_TYPE;
	fData->RemoveValue(field, uint32(index));
	if (nested)
		fData->UpdateDepth();
	return B_OK;
}

// #pragma mark - byte form

ssize_t BMessage::FlattenedSize() const
{
	return ssize_t(fData->FlattenedSize());
}

status_t BMessage::Flatten(char* buffer, ssize_t size) const
{
	if (buffer == NULL || size < 0 || size_t(size) < fData->FlattenedSize())
		return B_BAD_VALUE;
	fData->Write(buffer, what);
	return B_OK;
}

status_t BMessage::Unflatten(const char* flatBuffer, ssize_t size)
{
	if (flatBuffer == NULL || size < 0)
		return B_BAD_VALUE;
	if (size_t(size) >= sizeof(kMessageMagic) &&
	    std::memcmp(flatBuffer, kMessageMagic, sizeof(kMessageMagic)) != 0)
		return B_NOT_A_MESSAGE;
	if (size_t(size) < kMessageHeaderSize)
		return B_BAD_DATA;
	// A buffer may be longer than the message it holds.
	size_t total = Load<uint32>(flatBuffer + kHeaderTotalSizeOffset);
	if (total > size_t(size))
		return B_BAD_DATA;
	uint32 depth;
	status_t status = CheckFlattened(flatBuffer, total, kMaxNestingDepth, &depth);
	if (status != B_OK)
		return status;

	// Unflattening a nested message of this very message into it.
	DetachedValue source(flatBuffer, total,
	                     fData->bytes.Contains(flatBuffer) || fData->replyTo.Contains(flatBuffer));
	status = fData->TakeOver(source.Data(), total);
	if (status != B_OK)
		return status;
	what = Load<uint32>(source.Data() + kHeaderWhatOffset);
	return B_OK;
}

status_t BMessage::Unflatten(const char* flatBuffer)
{
	if (flatBuffer == NULL)
		return B_BAD_VALUE;
	size_t total = DeclaredSize(flatBuffer);
	if (total == 0)
		return B_NOT_A_MESSAGE;
	if (total < kMessageHeaderSize || total > kMaxFlattenedSize)
		return B_BAD_DATA;
	return Unflatten(flatBuffer, ssize_t(total));
}

// #pragma mark - replies

BMessenger BMessage::ReturnAddress() const
{
	BMessenger messenger;
	if (fData->replyTo.Count() > 0) {
		BMessenger found;
		if (found.Unflatten(fData->replyTo.Items(), ssize_t(fData->replyTo.Count())) == B_OK)
			messenger = found;
	}
	return messenger;
}

bool BMessage::WasDelivered() const
{
	return fData->delivered;
}

status_t BMessage::SendReply(uint32 command, BHandler* replyTo)
{
	BMessage reply(command);
	return SendReply(&reply, replyTo);
}

status_t BMessage::SendReply(BMessage* reply, BHandler* replyTo, bigtime_t timeout)
{
	if (reply == NULL)
		return B_BAD_VALUE;
	if (fData->replyTo.Count() == 0)
		return B_BAD_REPLY;
	return ReturnAddress().SendMessage(reply, replyTo, timeout);
}

void BMessage::_SetReplyTo(const BMessenger& replyTo)
{
	MessageBuffer<char, 48>& bytes = fData->replyTo;
	bytes.Clear();
	// A messenger without a target is no return address: SendReply then
	// reports B_BAD_REPLY instead of trying to send.
	if (replyTo == BMessenger())
		return;
	ssize_t size = replyTo.FlattenedSize();
	if (size <= 0 || size_t(size) > kMaxFlattenedSize)
		return;
	char* at = bytes.Insert(0, size_t(size));
	if (at != NULL && replyTo.Flatten(at, size) != B_OK)
		bytes.Clear();
}

void BMessage::_SetDelivered(bool delivered)
{
	fData->delivered = delivered;
}

bool BMessage::IsSourceRemote() const
{
	return fData->fromConnection && fData->sourceTeam != getpid();
}

void BMessage::_SetSourceTeam(team_id team)
{
	fData->fromConnection = true;
	fData->sourceTeam = team;
}

team_id BMessage::_SourceTeam() const
{
	return fData->fromConnection ? fData->sourceTeam : getpid();
}

// #pragma mark - adding fields

status_t BMessage::_AddValue(const char* name, type_code type, bool fixedSize, const void* data,
                             size_t size, uint32 depth)
{
	if (name == NULL)
		return B_BAD_VALUE;
	size_t nameLength = std::strlen(name);
	if (nameLength > kMaxNameLength)
		return B_BAD_VALUE;

	Data& message = *fData;
	DetachedValue value(data, size, message.bytes.Contains(data));
	int32 field = message.IndexOf(name);
	status_t status;
	if (field < 0)
		status = message.AddField(name, nameLength, type, fixedSize, value.Data(), size);
	else if (message.fields[field].type != type)
		status = B_BAD_TYPE;
	else
		status = message.AppendValue(field, value.Data(), size);
	if (status == B_OK)
		message.depth = std::max(message.depth, depth);
	return status;
}

status_t BMessage::AddInt8(const char* name, int8 value)
{
	return _AddValue(name, B_INT8_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddInt16(const char* name, int16 value)
{
	return _AddValue(name, B_INT16_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddInt32(const char* name, int32 value)
{
	return _AddValue(name, B_INT32_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddInt64(const char* name, int64 value)
{
	return _AddValue(name, B_INT64_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddBool(const char* name, bool value)
{
	uint8 byte = value ? 1 : 0;
	return _AddValue(name, B_BOOL_TYPE, true, &byte, sizeof(byte), 0);
}

status_t BMessage::AddFloat(const char* name, float value)
{
	return _AddValue(name, B_FLOAT_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddDouble(const char* name, double value)
{
	return _AddValue(name, B_DOUBLE_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddString(const char* name, const char* string)
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _AddValue(name, B_STRING_TYPE, false, string, std::strlen(string) + 1, 0);
}

status_t BMessage::AddString(const char* name, const BString& string)
{
	return AddString(name, string.String());
}

status_t BMessage::AddPointer(const char* name, const void* pointer)
{
	uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
	return _AddValue(name, B_POINTER_TYPE, true, &value, sizeof(value), 0);
}

status_t BMessage::AddMessenger(const char* name, const BMessenger& messenger)
{
	ssize_t size = messenger.FlattenedSize();
	// A messenger of this process that other processes cannot reach says
	// why (no message port could be published).
	if (size < 0)
		return status_t(size);
	if (size_t(size) > kMaxFlattenedSize)
		return B_BAD_VALUE;
	std::vector<char> bytes(static_cast<size_t>(size));
	status_t status = messenger.Flatten(bytes.data(), size);
	if (status != B_OK)
		return status;
	return _AddValue(name, B_MESSENGER_TYPE, false, bytes.data(), bytes.size(), 0);
}

status_t BMessage::AddMessage(const char* name, const BMessage* message)
{
	if (message == NULL)
		return B_BAD_VALUE;
	uint32 depth = message->fData->depth + 1;
	if (depth > kMaxNestingDepth)
		return B_BAD_VALUE;
	size_t size = message->fData->FlattenedSize();
	if (!fData->HasRoomFor(size))
		return B_NO_MEMORY;
	MessageBuffer<char, 512> flat;
	if (!flat.Reserve(size))
		return B_NO_MEMORY;
	message->fData->Write(flat.Items(), message->what);
	return _AddValue(name, B_MESSAGE_TYPE, false, flat.Items(), size, depth);
}

status_t BMessage::AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
                           bool isFixedSize, int32 /*count: a hint for preallocation*/)
{
	if (name == NULL || numBytes < 0 || (data == NULL && numBytes > 0) || type == B_ANY_TYPE)
		return B_BAD_VALUE;
	if (size_t(numBytes) > kMaxFlattenedSize)
		return B_NO_MEMORY;
	bool fixedSize = FixedSizeFor(type, isFixedSize);
	if (fixedSize && numBytes == 0)
		return B_BAD_VALUE;
	uint32 depth;
	static const char kNothing = 0;
	const char* bytes = numBytes > 0 ? static_cast<const char*>(data) : &kNothing;
	if (CheckValue(type, bytes, size_t(numBytes), kMaxNestingDepth, &depth) != B_OK)
		return B_BAD_VALUE;
	return _AddValue(name, type, fixedSize, bytes, size_t(numBytes), depth);
}

// #pragma mark - finding fields

status_t BMessage::FindData(const char* name, type_code type, const void** data,
                            ssize_t* numBytes) const
{
	return FindData(name, type, 0, data, numBytes);
}

status_t BMessage::FindData(const char* name, type_code type, int32 index, const void** data,
                            ssize_t* numBytes) const
{
	if (name == NULL || data == NULL)
		return B_BAD_VALUE;
	int32 field = fData->IndexOf(name);
	if (field < 0)
		return B_NAME_NOT_FOUND;
	const FieldEntry& entry = fData->fields[field];
	if (type != B_ANY_TYPE && entry.type != type)
		return B_BAD_TYPE;
	if (index < 0 || uint32(index) >= entry.count)
		return B_BAD_INDEX;
	size_t offset, size;
	fData->Locate(entry, uint32(index), &offset, &size);
	*data = fData->bytes.Items() + offset;
	if (numBytes != NULL)
		*numBytes = ssize_t(size);
	return B_OK;
}

template <typename T>
status_t BMessage::_FindValue(const char* name, type_code type, int32 index, T* value) const
{
	if (value == NULL)
		return B_BAD_VALUE;
	const void* data;
	ssize_t size;
	status_t status = FindData(name, type, index, &data, &size);
	if (status == B_OK)
		std::memcpy(value, data, sizeof(T));
	return status;
}

status_t BMessage::FindInt8(const char* name, int8* value) const
{
	return _FindValue(name, B_INT8_TYPE, 0, value);
}

status_t BMessage::FindInt8(const char* name, int32 index, int8* value) const
{
	return _FindValue(name, B_INT8_TYPE, index, value);
}

status_t BMessage::FindInt16(const char* name, int16* value) const
{
	return _FindValue(name, B_INT16_TYPE, 0, value);
}

status_t BMessage::FindInt16(const char* name, int32 index, int16* value) const
{
	return _FindValue(name, B_INT16_TYPE, index, value);
}

status_t BMessage::FindInt32(const char* name, int32* value) const
{
	return _FindValue(name, B_INT32_TYPE, 0, value);
}

status_t BMessage::FindInt32(const char* name, int32 index, int32* value) const
{
	return _FindValue(name, B_INT32_TYPE, index, value);
}

status_t BMessage::FindInt64(const char* name, int64* value) const
{
	return _FindValue(name, B_INT64_TYPE, 0, value);
}

status_t BMessage::FindInt64(const char* name, int32 index, int64* value) const
{
	return _FindValue(name, B_INT64_TYPE, index, value);
}

status_t BMessage::FindBool(const char* name, bool* value) const
{
	return FindBool(name, 0, value);
}

status_t BMessage::FindBool(const char* name, int32 index, bool* value) const
{
	if (value == NULL)
		return B_BAD_VALUE;
	uint8 byte;
	status_t status = _FindValue(name, B_BOOL_TYPE, index, &byte);
	if (status == B_OK)
		*value = byte != 0;
	return status;
}

status_t BMessage::FindFloat(const char* name, float* value) const
{
	return _FindValue(name, B_FLOAT_TYPE, 0, value);
}

status_t BMessage::FindFloat(const char* name, int32 index, float* value) const
{
	return _FindValue(name, B_FLOAT_TYPE, index, value);
}

status_t BMessage::FindDouble(const char* name, double* value) const
{
	return _FindValue(name, B_DOUBLE_TYPE, 0, value);
}

status_t BMessage::FindDouble(const char* name, int32 index, double* value) const
{
	return _FindValue(name, B_DOUBLE_TYPE, index, value);
}

status_t BMessage::FindString(const char* name, const char** string) const
{
	return FindString(name, 0, string);
}

status_t BMessage::FindString(const char* name, int32 index, const char** string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	const void* data;
	status_t status = FindData(name, B_STRING_TYPE, index, &data, NULL);
	if (status == B_OK)
		*string = static_cast<const char*>(data);
	return status;
}

status_t BMessage::FindString(const char* name, BString* string) const
{
	return FindString(name, 0, string);
}

status_t BMessage::FindString(const char* name, int32 index, BString* string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	const char* text;
	status_t status = FindString(name, index, &text);
	if (status == B_OK)
		string->SetTo(text);
	return status;
}

status_t BMessage::FindPointer(const char* name, void** pointer) const
{
	return FindPointer(name, 0, pointer);
}

status_t BMessage::FindPointer(const char* name, int32 index, void** pointer) const
{
	if (pointer == NULL)
		return B_BAD_VALUE;
	uint64 value;
	status_t status = _FindValue(name, B_POINTER_TYPE, index, &value);
	if (status == B_OK)
		*pointer = reinterpret_cast<void*>(uintptr_t(value));
	return status;
}

status_t BMessage::FindMessenger(const char* name, BMessenger* messenger) const
{
	return FindMessenger(name, 0, messenger);
}

status_t BMessage::FindMessenger(const char* name, int32 index, BMessenger* messenger) const
{
	if (messenger == NULL)
		return B_BAD_VALUE;
	const void* data;
	ssize_t size;
	status_t status = FindData(name, B_MESSENGER_TYPE, index, &data, &size);
	if (status != B_OK)
		return status;
	BMessenger found;
	status = found.Unflatten(data, size);
	if (status == B_OK)
		*messenger = found;
	return status;
}

status_t BMessage::FindMessage(const char* name, BMessage* message) const
{
	return FindMessage(name, 0, message);
}

status_t BMessage::FindMessage(const char* name, int32 index, BMessage* message) const
{
	if (message == NULL)
		return B_BAD_VALUE;
	const void* data;
	ssize_t size;
	status_t status = FindData(name, B_MESSAGE_TYPE, index, &data, &size);
	if (status != B_OK)
		return status;
	return message->Unflatten(static_cast<const char*>(data), size);
}

// #pragma mark - replacing fields

status_t BMessage::_ReplaceValue(const char* name, type_code type, int32 index, const void* data,
                                 size_t size)
{
	if (name == NULL)
		return B_BAD_VALUE;
	Data& message = *fData;
	int32 field = message.IndexOf(name);
	if (field < 0)
		return B_NAME_NOT_FOUND;
	if (message.fields[field].type != type)
		return B_BAD_TYPE;
	if (index < 0 || uint32(index) >= message.fields[field].count)
		return B_BAD_INDEX;
	DetachedValue value(data, size, message.bytes.Contains(data));
	status_t status = message.ReplaceValue(field, uint32(index), value.Data(), size);
	if (status == B_OK && type == B_MESSAGE_TYPE)
		message.UpdateDepth();
	return status;
}

status_t BMessage::ReplaceInt8(const char* name, int8 value)
{
	return _ReplaceValue(name, B_INT8_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceInt8(const char* name, int32 index, int8 value)
{
	return _ReplaceValue(name, B_INT8_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceInt16(const char* name, int16 value)
{
	return _ReplaceValue(name, B_INT16_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceInt16(const char* name, int32 index, int16 value)
{
	return _ReplaceValue(name, B_INT16_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceInt32(const char* name, int32 value)
{
	return _ReplaceValue(name, B_INT32_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceInt32(const char* name, int32 index, int32 value)
{
	return _ReplaceValue(name, B_INT32_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceInt64(const char* name, int64 value)
{
	return _ReplaceValue(name, B_INT64_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceInt64(const char* name, int32 index, int64 value)
{
	return _ReplaceValue(name, B_INT64_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceBool(const char* name, bool value)
{
	return ReplaceBool(name, 0, value);
}

status_t BMessage::ReplaceBool(const char* name, int32 index, bool value)
{
	uint8 byte = value ? 1 : 0;
	return _ReplaceValue(name, B_BOOL_TYPE, index, &byte, sizeof(byte));
}

status_t BMessage::ReplaceFloat(const char* name, float value)
{
	return _ReplaceValue(name, B_FLOAT_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceFloat(const char* name, int32 index, float value)
{
	return _ReplaceValue(name, B_FLOAT_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceDouble(const char* name, double value)
{
	return _ReplaceValue(name, B_DOUBLE_TYPE, 0, &value, sizeof(value));
}

status_t BMessage::ReplaceDouble(const char* name, int32 index, double value)
{
	return _ReplaceValue(name, B_DOUBLE_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceString(const char* name, const char* string)
{
	return ReplaceString(name, 0, string);
}

status_t BMessage::ReplaceString(const char* name, int32 index, const char* string)
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _ReplaceValue(name, B_STRING_TYPE, index, string, std::strlen(string) + 1);
}

status_t BMessage::ReplaceString(const char* name, const BString& string)
{
	return ReplaceString(name, 0, string.String());
}

status_t BMessage::ReplaceString(const char* name, int32 index, const BString& string)
{
	return ReplaceString(name, index, string.String());
}

status_t BMessage::ReplacePointer(const char* name, const void* pointer)
{
	return ReplacePointer(name, 0, pointer);
}

status_t BMessage::ReplacePointer(const char* name, int32 index, const void* pointer)
{
	uint64 value = uint64(reinterpret_cast<uintptr_t>(pointer));
	return _ReplaceValue(name, B_POINTER_TYPE, index, &value, sizeof(value));
}

status_t BMessage::ReplaceMessenger(const char* name, const BMessenger& messenger)
{
	return ReplaceMessenger(name, 0, messenger);
}

status_t BMessage::ReplaceMessenger(const char* name, int32 index, const BMessenger& messenger)
{
	ssize_t size = messenger.FlattenedSize();
	// A messenger of this process that other processes cannot reach says
	// why (no message port could be published).
	if (size < 0)
		return status_t(size);
	if (size_t(size) > kMaxFlattenedSize)
		return B_BAD_VALUE;
	std::vector<char> bytes(static_cast<size_t>(size));
	status_t status = messenger.Flatten(bytes.data(), size);
	if (status != B_OK)
		return status;
	return _ReplaceValue(name, B_MESSENGER_TYPE, index, bytes.data(), bytes.size());
}

status_t BMessage::ReplaceMessage(const char* name, const BMessage* message)
{
	return ReplaceMessage(name, 0, message);
}

status_t BMessage::ReplaceMessage(const char* name, int32 index, const BMessage* message)
{
	if (message == NULL || message->fData->depth + 1 > kMaxNestingDepth)
		return B_BAD_VALUE;
	size_t size = message->fData->FlattenedSize();
	if (!fData->HasRoomFor(size))
		return B_NO_MEMORY;
	MessageBuffer<char, 512> flat;
	if (!flat.Reserve(size))
		return B_NO_MEMORY;
	message->fData->Write(flat.Items(), message->what);
	return _ReplaceValue(name, B_MESSAGE_TYPE, index, flat.Items(), size);
}

status_t BMessage::ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes)
{
	return ReplaceData(name, type, 0, data, numBytes);
}

status_t BMessage::ReplaceData(const char* name, type_code type, int32 index, const void* data,
                               ssize_t numBytes)
{
	if (numBytes < 0 || (data == NULL && numBytes > 0) || type == B_ANY_TYPE)
		return B_BAD_VALUE;
	if (size_t(numBytes) > kMaxFlattenedSize)
		return B_NO_MEMORY;
	static const char kNothing = 0;
	const char* bytes = numBytes > 0 ? static_cast<const char*>(data) : &kNothing;
	uint32 depth;
	if (CheckValue(type, bytes, size_t(numBytes), kMaxNestingDepth, &depth) != B_OK)
		return B_BAD_VALUE;
	return _ReplaceValue(name, type, index, bytes, size_t(numBytes));
}

// #pragma mark - convenience

int32 BMessage::GetInt32(const char* name, int32 defaultValue) const
{
	int32 value = defaultValue;
	FindInt32(name, &value);
	return value;
}

int64 BMessage::GetInt64(const char* name, int64 defaultValue) const
{
	int64 value = defaultValue;
	FindInt64(name, &value);
	return value;
}

bool BMessage::HasString(const char* name, int32 index) const
{
	const char* string;
	return FindString(name, index, &string) == B_OK;
}
