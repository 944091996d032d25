#include <String.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <strings.h>

namespace {

int32 ClampedLength(const char* string, int32 maxLength)
{
	if (string == NULL || maxLength <= 0)
		return 0;
	return int32(strnlen(string, size_t(maxLength)));
}

int32 TextLength(const char* string)
{
	return string != NULL ? ClampedLength(string, INT32_MAX) : 0;
}

int CompareBytes(const char* a, int32 aLength, const char* b, int32 bLength)
{
	int result = memcmp(a, b, size_t(std::min(aLength, bLength)));
	if (result != 0)
		return result;
	return aLength < bLength ? -1 : aLength > bLength ? 1 : 0;
}

bool BytesEqual(const char* a, const char* b, int32 length, bool ignoreCase)
{
	if (!ignoreCase)
		return memcmp(a, b, size_t(length)) == 0;
	for (int32 i = 0; i < length; i++) {
		if (tolower(uint8(a[i])) != tolower(uint8(b[i])))
			return false;
	}
	return true;
}

} // namespace

// #pragma mark - construction

BString::BString() : fPrivateData(NULL), fLength(0), fCapacity(0) {}

BString::BString(const char* string) : BString()
{
	SetTo(string);
}

BString::BString(const char* string, int32 maxLength) : BString()
{
	SetTo(string, maxLength);
}

BString::BString(const BString& string) : BString()
{
	SetTo(string);
}

BString::BString(BString&& string) noexcept
    : fPrivateData(string.fPrivateData), fLength(string.fLength), fCapacity(string.fCapacity)
{
	string.fPrivateData = NULL;
	string.fLength = 0;
	string.fCapacity = 0;
}

BString::~BString()
{
	free(fPrivateData);
}

int32 BString::CountChars() const
{
	int32 count = 0;
	for (int32 i = 0; i < fLength; i++) {
		if ((uint8(fPrivateData[i]) & 0xc0) != 0x80)
			count++;
	}
	return count;
}

uint32 BString::HashValue() const
{
	// FNV-1a.
	uint32 hash = 2166136261u;
	for (int32 i = 0; i < fLength; i++) {
		hash ^= uint8(fPrivateData[i]);
		hash *= 16777619u;
	}
	return hash;
}

// #pragma mark - assignment

BString& BString::operator=(const BString& string)
{
	return SetTo(string);
}

BString& BString::operator=(BString&& string) noexcept
{
	if (this != &string) {
		free(fPrivateData);
		fPrivateData = string.fPrivateData;
		fLength = string.fLength;
		fCapacity = string.fCapacity;
		string.fPrivateData = NULL;
		string.fLength = 0;
		string.fCapacity = 0;
	}
	return *this;
}

BString& BString::operator=(const char* string)
{
	return SetTo(string);
}

BString& BString::operator=(char c)
{
	return SetTo(c, 1);
}

BString& BString::SetTo(const char* string)
{
	return SetTo(string, INT32_MAX);
}

BString& BString::SetTo(const char* string, int32 maxLength)
{
	return _Replace(0, fLength, string, ClampedLength(string, maxLength));
}

BString& BString::SetTo(const BString& string)
{
	if (this == &string)
		return *this;
	return _Replace(0, fLength, string.String(), string.fLength);
}

BString& BString::SetTo(const BString& string, int32 maxLength)
{
	if (this == &string)
		return Truncate(maxLength);
	return _Replace(0, fLength, string.String(), std::clamp(maxLength, 0, string.fLength));
}

BString& BString::SetTo(char c, int32 count)
{
	count = std::max(count, 0);
	if (_Resize(count))
		memset(fPrivateData, c, size_t(count));
	return *this;
}

BString& BString::Adopt(BString& from)
{
	if (this != &from)
		*this = std::move(from);
	return *this;
}

BString& BString::Adopt(BString& from, int32 maxLength)
{
	Adopt(from);
	return Truncate(maxLength);
}

// #pragma mark - substrings

BString& BString::CopyInto(BString& into, int32 fromOffset, int32 length) const
{
	fromOffset = std::clamp(fromOffset, 0, fLength);
	length = std::clamp(length, 0, fLength - fromOffset);
	if (this == &into) {
		into.Truncate(fromOffset + length);
		into.Remove(0, fromOffset);
	} else
		into._Replace(0, into.fLength, String() + fromOffset, length);
	return into;
}

void BString::CopyInto(char* into, int32 fromOffset, int32 length) const
{
	if (into == NULL)
		return;
	fromOffset = std::clamp(fromOffset, 0, fLength);
	length = std::clamp(length, 0, fLength - fromOffset);
	memcpy(into, String() + fromOffset, size_t(length));
}

BString& BString::MoveInto(BString& into, int32 from, int32 length)
{
	if (this == &into)
		return into;
	CopyInto(into, from, length);
	return Remove(from, length);
}

void BString::MoveInto(char* into, int32 from, int32 length)
{
	CopyInto(into, from, length);
	Remove(from, length);
}

// #pragma mark - appending, prepending, inserting

BString& BString::operator+=(const BString& string)
{
	return Append(string);
}

BString& BString::operator+=(const char* string)
{
	return Append(string);
}

BString& BString::operator+=(char c)
{
	return Append(c, 1);
}

BString& BString::Append(const BString& string)
{
	return Append(string, string.fLength);
}

BString& BString::Append(const char* string)
{
	return Append(string, INT32_MAX);
}

BString& BString::Append(const BString& string, int32 length)
{
	length = std::clamp(length, 0, string.fLength);
	if (this == &string) {
		BString copy(*this);
		return _Replace(fLength, 0, copy.String(), length);
	}
	return _Replace(fLength, 0, string.String(), length);
}

BString& BString::Append(const char* string, int32 length)
{
	return _Replace(fLength, 0, string, ClampedLength(string, length));
}

BString& BString::Append(char c, int32 count)
{
	return Insert(c, count, fLength);
}

BString& BString::Prepend(const char* string)
{
	return Insert(string, 0);
}

BString& BString::Prepend(const BString& string)
{
	return Insert(string, 0);
}

BString& BString::Prepend(const char* string, int32 length)
{
	return Insert(string, length, 0);
}

BString& BString::Prepend(const BString& string, int32 length)
{
	return Insert(string, length, 0);
}

BString& BString::Prepend(char c, int32 count)
{
	return Insert(c, count, 0);
}

BString& BString::Insert(const char* string, int32 position)
{
	return Insert(string, INT32_MAX, position);
}

BString& BString::Insert(const char* string, int32 length, int32 position)
{
	if (position < 0 || position > fLength)
		return *this;
	return _Replace(position, 0, string, ClampedLength(string, length));
}

BString& BString::Insert(const char* string, int32 fromOffset, int32 length, int32 position)
{
	if (string == NULL || fromOffset < 0)
		return *this;
	int32 available = TextLength(string);
	if (fromOffset > available)
		return *this;
	return Insert(string + fromOffset, length, position);
}

BString& BString::Insert(const BString& string, int32 position)
{
	return Insert(string, 0, string.fLength, position);
}

BString& BString::Insert(const BString& string, int32 length, int32 position)
{
	return Insert(string, 0, length, position);
}

BString& BString::Insert(const BString& string, int32 fromOffset, int32 length, int32 position)
{
	if (position < 0 || position > fLength || fromOffset < 0 || fromOffset > string.fLength)
		return *this;
	length = std::clamp(length, 0, string.fLength - fromOffset);
	if (this == &string) {
		BString copy(*this);
		return _Replace(position, 0, copy.String() + fromOffset, length);
	}
	return _Replace(position, 0, string.String() + fromOffset, length);
}

BString& BString::Insert(char c, int32 count, int32 position)
{
	if (position < 0 || position > fLength || count <= 0)
		return *this;
	int32 oldLength = fLength;
	if (count > INT32_MAX - oldLength || !_Resize(oldLength + count))
		return *this;
	memmove(fPrivateData + position + count, fPrivateData + position, size_t(oldLength - position));
	memset(fPrivateData + position, c, size_t(count));
	return *this;
}

// #pragma mark - removing

BString& BString::Truncate(int32 newLength, bool /*lazy*/)
{
	newLength = std::max(newLength, 0);
	if (newLength < fLength)
		_Resize(newLength);
	return *this;
}

BString& BString::Remove(int32 from, int32 length)
{
	if (from < 0 || from >= fLength || length <= 0)
		return *this;
	length = std::min(length, fLength - from);
	return _Replace(from, length, NULL, 0);
}

BString& BString::RemoveFirst(const BString& string)
{
	return RemoveFirst(string.String());
}

BString& BString::RemoveLast(const BString& string)
{
	return RemoveLast(string.String());
}

BString& BString::RemoveAll(const BString& string)
{
	return RemoveAll(string.String());
}

BString& BString::RemoveFirst(const char* string)
{
	int32 length = TextLength(string);
	if (length == 0)
		return *this;
	int32 offset = _FindBytes(string, length, 0, false);
	return offset >= 0 ? Remove(offset, length) : *this;
}

BString& BString::RemoveLast(const char* string)
{
	int32 length = TextLength(string);
	if (length == 0)
		return *this;
	int32 offset = _FindBytesBackwards(string, length, fLength, false);
	return offset >= 0 ? Remove(offset, length) : *this;
}

BString& BString::RemoveAll(const char* string)
{
	return ReplaceAll(string, "");
}

BString& BString::RemoveSet(const char* setOfBytesToRemove)
{
	if (setOfBytesToRemove == NULL || fLength == 0)
		return *this;
	int32 kept = 0;
	for (int32 i = 0; i < fLength; i++) {
		char c = fPrivateData[i];
		if (c == '\0' || strchr(setOfBytesToRemove, c) == NULL)
			fPrivateData[kept++] = c;
	}
	return Truncate(kept);
}

BString& BString::MakeEmpty()
{
	return Truncate(0);
}

// #pragma mark - comparison

bool BString::operator<(const BString& string) const
{
	return Compare(string) < 0;
}
bool BString::operator<=(const BString& string) const
{
	return Compare(string) <= 0;
}
bool BString::operator==(const BString& string) const
{
	return Compare(string) == 0;
}
bool BString::operator>=(const BString& string) const
{
	return Compare(string) >= 0;
}
bool BString::operator>(const BString& string) const
{
	return Compare(string) > 0;
}
bool BString::operator!=(const BString& string) const
{
	return Compare(string) != 0;
}

bool BString::operator<(const char* string) const
{
	return Compare(string) < 0;
}
bool BString::operator<=(const char* string) const
{
	return Compare(string) <= 0;
}
bool BString::operator==(const char* string) const
{
	return Compare(string) == 0;
}
bool BString::operator>=(const char* string) const
{
	return Compare(string) >= 0;
}
bool BString::operator>(const char* string) const
{
	return Compare(string) > 0;
}
bool BString::operator!=(const char* string) const
{
	return Compare(string) != 0;
}

int BString::Compare(const BString& string) const
{
	return CompareBytes(String(), fLength, string.String(), string.fLength);
}

int BString::Compare(const char* string) const
{
	const char* other = string != NULL ? string : "";
	return CompareBytes(String(), fLength, other, TextLength(other));
}

int BString::Compare(const BString& string, int32 length) const
{
	if (length <= 0)
		return 0;
	return CompareBytes(String(), std::min(fLength, length), string.String(),
	                    std::min(string.fLength, length));
}

int BString::Compare(const char* string, int32 length) const
{
	if (length <= 0)
		return 0;
	const char* other = string != NULL ? string : "";
	return CompareBytes(String(), std::min(fLength, length), other, ClampedLength(other, length));
}

int BString::ICompare(const BString& string) const
{
	return strcasecmp(String(), string.String());
}

int BString::ICompare(const char* string) const
{
	return strcasecmp(String(), string != NULL ? string : "");
}

int BString::ICompare(const BString& string, int32 length) const
{
	return length <= 0 ? 0 : strncasecmp(String(), string.String(), size_t(length));
}

int BString::ICompare(const char* string, int32 length) const
{
	return length <= 0 ? 0 : strncasecmp(String(), string != NULL ? string : "", size_t(length));
}

// #pragma mark - searching

int32 BString::FindFirst(const BString& string) const
{
	return _FindBytes(string.String(), string.fLength, 0, false);
}

int32 BString::FindFirst(const char* string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytes(string, TextLength(string), 0, false);
}

int32 BString::FindFirst(const BString& string, int32 fromOffset) const
{
	return _FindBytes(string.String(), string.fLength, fromOffset, false);
}

int32 BString::FindFirst(const char* string, int32 fromOffset) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytes(string, TextLength(string), fromOffset, false);
}

int32 BString::FindFirst(char c) const
{
	return FindFirst(c, 0);
}

int32 BString::FindFirst(char c, int32 fromOffset) const
{
	if (fromOffset < 0 || fromOffset >= fLength)
		return B_ERROR;
	const void* found = memchr(fPrivateData + fromOffset, c, size_t(fLength - fromOffset));
	return found != NULL ? int32(static_cast<const char*>(found) - fPrivateData) : B_ERROR;
}

int32 BString::FindLast(const BString& string) const
{
	return _FindBytesBackwards(string.String(), string.fLength, fLength, false);
}

int32 BString::FindLast(const char* string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytesBackwards(string, TextLength(string), fLength, false);
}

int32 BString::FindLast(const BString& string, int32 beforeOffset) const
{
	return _FindBytesBackwards(string.String(), string.fLength, beforeOffset, false);
}

int32 BString::FindLast(const char* string, int32 beforeOffset) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytesBackwards(string, TextLength(string), beforeOffset, false);
}

int32 BString::FindLast(char c) const
{
	return FindLast(c, fLength);
}

int32 BString::FindLast(char c, int32 beforeOffset) const
{
	for (int32 i = std::min(beforeOffset, fLength) - 1; i >= 0; i--) {
		if (fPrivateData[i] == c)
			return i;
	}
	return B_ERROR;
}

int32 BString::IFindFirst(const BString& string) const
{
	return _FindBytes(string.String(), string.fLength, 0, true);
}

int32 BString::IFindFirst(const char* string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytes(string, TextLength(string), 0, true);
}

int32 BString::IFindLast(const BString& string) const
{
	return _FindBytesBackwards(string.String(), string.fLength, fLength, true);
}

int32 BString::IFindLast(const char* string) const
{
	if (string == NULL)
		return B_BAD_VALUE;
	return _FindBytesBackwards(string, TextLength(string), fLength, true);
}

bool BString::StartsWith(const char* prefix) const
{
	int32 length = TextLength(prefix);
	return length <= fLength && memcmp(String(), prefix, size_t(length)) == 0;
}

bool BString::EndsWith(const char* suffix) const
{
	int32 length = TextLength(suffix);
	return length <= fLength && memcmp(String() + fLength - length, suffix, size_t(length)) == 0;
}

// #pragma mark - replacing

BString& BString::ReplaceFirst(char replaceThis, char withThis)
{
	int32 offset = FindFirst(replaceThis);
	if (offset >= 0)
		fPrivateData[offset] = withThis;
	return *this;
}

BString& BString::ReplaceLast(char replaceThis, char withThis)
{
	int32 offset = FindLast(replaceThis);
	if (offset >= 0)
		fPrivateData[offset] = withThis;
	return *this;
}

BString& BString::ReplaceAll(char replaceThis, char withThis, int32 fromOffset)
{
	for (int32 i = std::max(fromOffset, 0); i < fLength; i++) {
		if (fPrivateData[i] == replaceThis)
			fPrivateData[i] = withThis;
	}
	return *this;
}

BString& BString::ReplaceFirst(const char* replaceThis, const char* withThis)
{
	int32 length = TextLength(replaceThis);
	if (length == 0)
		return *this;
	int32 offset = _FindBytes(replaceThis, length, 0, false);
	if (offset >= 0)
		_Replace(offset, length, withThis, TextLength(withThis));
	return *this;
}

BString& BString::ReplaceLast(const char* replaceThis, const char* withThis)
{
	int32 length = TextLength(replaceThis);
	if (length == 0)
		return *this;
	int32 offset = _FindBytesBackwards(replaceThis, length, fLength, false);
	if (offset >= 0)
		_Replace(offset, length, withThis, TextLength(withThis));
	return *this;
}

BString& BString::ReplaceAll(const char* replaceThis, const char* withThis, int32 fromOffset)
{
	int32 length = TextLength(replaceThis);
	if (length == 0)
		return *this;
	int32 withLength = TextLength(withThis);
	BString replacement(withThis, withLength); // withThis may point into this string
	int32 offset = _FindBytes(replaceThis, length, std::max(fromOffset, 0), false);
	while (offset >= 0) {
		_Replace(offset, length, replacement.String(), withLength);
		offset = _FindBytes(replaceThis, length, offset + withLength, false);
	}
	return *this;
}

BString& BString::ReplaceSet(const char* setOfBytes, char with)
{
	if (setOfBytes == NULL)
		return *this;
	for (int32 i = 0; i < fLength; i++) {
		if (fPrivateData[i] != '\0' && strchr(setOfBytes, fPrivateData[i]) != NULL)
			fPrivateData[i] = with;
	}
	return *this;
}

// #pragma mark - byte access

char BString::operator[](int32 index) const
{
	return ByteAt(index);
}

char BString::ByteAt(int32 index) const
{
	return index >= 0 && index < fLength ? fPrivateData[index] : '\0';
}

char* BString::LockBuffer(int32 maxLength)
{
	int32 length = fLength;
	if (maxLength > fCapacity && !_Resize(maxLength))
		return NULL;
	if (fPrivateData == NULL && !_Resize(0))
		return NULL;
	fLength = length;
	return fPrivateData;
}

BString& BString::UnlockBuffer(int32 length)
{
	if (fPrivateData == NULL)
		return *this;
	if (length < 0)
		length = int32(strnlen(fPrivateData, size_t(fCapacity)));
	fLength = std::min(length, fCapacity);
	fPrivateData[fLength] = '\0';
	return *this;
}

// #pragma mark - case and white space

BString& BString::ToLower()
{
	for (int32 i = 0; i < fLength; i++)
		fPrivateData[i] = char(tolower(uint8(fPrivateData[i])));
	return *this;
}

BString& BString::ToUpper()
{
	for (int32 i = 0; i < fLength; i++)
		fPrivateData[i] = char(toupper(uint8(fPrivateData[i])));
	return *this;
}

BString& BString::Capitalize()
{
	ToLower();
	if (fLength > 0)
		fPrivateData[0] = char(toupper(uint8(fPrivateData[0])));
	return *this;
}

BString& BString::Trim()
{
	int32 end = fLength;
	while (end > 0 && isspace(uint8(fPrivateData[end - 1])))
		end--;
	Truncate(end);
	int32 start = 0;
	while (start < fLength && isspace(uint8(fPrivateData[start])))
		start++;
	return Remove(0, start);
}

// #pragma mark - formatted appending

BString& BString::operator<<(const char* string)
{
	return Append(string);
}
BString& BString::operator<<(const BString& string)
{
	return Append(string);
}
BString& BString::operator<<(char c)
{
	return Append(c, 1);
}
BString& BString::operator<<(bool value)
{
	return Append(value ? "true" : "false");
}

namespace {

template <typename... Args>
BString& AppendFormatted(BString& string, const char* format, Args... args)
{
	char buffer[64];
	snprintf(buffer, sizeof(buffer), format, args...);
	return string.Append(buffer);
}

} // namespace

BString& BString::operator<<(int value)
{
	return AppendFormatted(*this, "%d", value);
}
BString& BString::operator<<(unsigned int value)
{
	return AppendFormatted(*this, "%u", value);
}
BString& BString::operator<<(long value)
{
	return AppendFormatted(*this, "%ld", value);
}
BString& BString::operator<<(unsigned long value)
{
	return AppendFormatted(*this, "%lu", value);
}
BString& BString::operator<<(long long value)
{
	return AppendFormatted(*this, "%lld", value);
}

BString& BString::operator<<(unsigned long long value)
{
	return AppendFormatted(*this, "%llu", value);
}

BString& BString::operator<<(float value)
{
	return AppendFormatted(*this, "%.2f", double(value));
}
BString& BString::operator<<(double value)
{
	return AppendFormatted(*this, "%.2f", value);
}

// #pragma mark - private

// Sets the length, growing the buffer when needed, and writes the
// terminating zero byte. On failure to allocate the string is unchanged.
bool BString::_Resize(int32 length)
{
	if (length < 0)
		return false;
	if (fPrivateData == NULL || length > fCapacity) {
		int64 capacity = std::max<int64>(length, int64(fCapacity) + fCapacity / 2);
		capacity = std::min<int64>(std::max<int64>(capacity, 15), INT32_MAX - 1);
		char* data = static_cast<char*>(realloc(fPrivateData, size_t(capacity) + 1));
		if (data == NULL)
			return false;
		fPrivateData = data;
		fCapacity = int32(capacity);
	}
	fLength = length;
	fPrivateData[length] = '\0';
	return true;
}

// Replaces removeLength bytes at offset by dataLength bytes of data.
BString& BString::_Replace(int32 offset, int32 removeLength, const char* data, int32 dataLength)
{
	if (data == NULL)
		dataLength = 0;
	if (dataLength > 0 && fPrivateData != NULL && data >= fPrivateData &&
	    data <= fPrivateData + fCapacity) {
		// The data lies in this very buffer, which is about to move.
		BString copy(data, dataLength);
		return _Replace(offset, removeLength, copy.String(), copy.Length());
	}
	int32 oldLength = fLength;
	int32 tail = oldLength - offset - removeLength;
	if (dataLength > INT32_MAX - 1 - (oldLength - removeLength))
		return *this;
	int32 newLength = oldLength - removeLength + dataLength;
	if (dataLength > removeLength) {
		if (!_Resize(newLength))
			return *this;
		memmove(fPrivateData + offset + dataLength, fPrivateData + offset + removeLength,
		        size_t(tail));
	} else if (fPrivateData != NULL) {
		memmove(fPrivateData + offset + dataLength, fPrivateData + offset + removeLength,
		        size_t(tail));
		_Resize(newLength);
	} else if (!_Resize(newLength)) {
		return *this;
	}
	if (dataLength > 0)
		memcpy(fPrivateData + offset, data, size_t(dataLength));
	return *this;
}

int32 BString::_FindBytes(const char* data, int32 length, int32 fromOffset, bool ignoreCase) const
{
	if (fromOffset < 0 || fromOffset > fLength)
		return B_ERROR;
	const char* text = String();
	for (int32 i = fromOffset; i + length <= fLength; i++) {
		if (BytesEqual(text + i, data, length, ignoreCase))
			return i;
	}
	return B_ERROR;
}

// The last match that ends at or before beforeOffset.
int32 BString::_FindBytesBackwards(const char* data, int32 length, int32 beforeOffset,
                                   bool ignoreCase) const
{
	if (beforeOffset < 0)
		return B_ERROR;
	const char* text = String();
	for (int32 i = std::min(beforeOffset, fLength) - length; i >= 0; i--) {
		if (BytesEqual(text + i, data, length, ignoreCase))
			return i;
	}
	return B_ERROR;
}

// #pragma mark - free functions

bool operator<(const char* a, const BString& b)
{
	return b.Compare(a) > 0;
}
bool operator<=(const char* a, const BString& b)
{
	return b.Compare(a) >= 0;
}
bool operator==(const char* a, const BString& b)
{
	return b.Compare(a) == 0;
}
bool operator>(const char* a, const BString& b)
{
	return b.Compare(a) < 0;
}
bool operator>=(const char* a, const BString& b)
{
	return b.Compare(a) <= 0;
}
bool operator!=(const char* a, const BString& b)
{
	return b.Compare(a) != 0;
}

int Compare(const BString& a, const BString& b)
{
	return a.Compare(b);
}
int ICompare(const BString& a, const BString& b)
{
	return a.ICompare(b);
}
int Compare(const BString* a, const BString* b)
{
	return a->Compare(*b);
}
int ICompare(const BString* a, const BString* b)
{
	return a->ICompare(*b);
}
