// Support kit: BString, a growable byte string that always ends in a zero
// byte. Offsets and lengths are in bytes.
#ifndef _B_STRING_H
#define _B_STRING_H

#include <SupportDefs.h>

#include <string.h>

class BString {
public:
	BString();
	BString(const char* string);
	// Takes at most maxLength bytes and stops at the first zero byte.
	BString(const char* string, int32 maxLength);
	BString(const BString& string);
	BString(BString&& string) noexcept;
	~BString();

	// Access.
	const char* String() const { return fPrivateData != NULL ? fPrivateData : ""; }
	int32 Length() const { return fLength; }
	// Characters of UTF-8 text (continuation bytes are not counted).
	int32 CountChars() const;
	bool IsEmpty() const { return fLength == 0; }
	uint32 HashValue() const;

	// Assignment.
	BString& operator=(const BString& string);
	BString& operator=(BString&& string) noexcept;
	BString& operator=(const char* string);
	BString& operator=(char c);

	BString& SetTo(const char* string);
	BString& SetTo(const char* string, int32 maxLength);
	BString& SetTo(const BString& string);
	BString& SetTo(const BString& string, int32 maxLength);
	BString& SetTo(char c, int32 count);
	// Takes the other string's text and leaves it empty.
	BString& Adopt(BString& from);
	BString& Adopt(BString& from, int32 maxLength);

	// Substring copying.
	BString& CopyInto(BString& into, int32 fromOffset, int32 length) const;
	// Copies the bytes without a terminating zero byte.
	void CopyInto(char* into, int32 fromOffset, int32 length) const;
	BString& MoveInto(BString& into, int32 from, int32 length);
	void MoveInto(char* into, int32 from, int32 length);

	// Appending.
	BString& operator+=(const BString& string);
	BString& operator+=(const char* string);
	BString& operator+=(char c);

	BString& Append(const BString& string);
	BString& Append(const char* string);
	BString& Append(const BString& string, int32 length);
	BString& Append(const char* string, int32 length);
	BString& Append(char c, int32 count);

	// Prepending.
	BString& Prepend(const char* string);
	BString& Prepend(const BString& string);
	BString& Prepend(const char* string, int32 length);
	BString& Prepend(const BString& string, int32 length);
	BString& Prepend(char c, int32 count);

	// Inserting.
	BString& Insert(const char* string, int32 position);
	BString& Insert(const char* string, int32 length, int32 position);
	BString& Insert(const char* string, int32 fromOffset, int32 length, int32 position);
	BString& Insert(const BString& string, int32 position);
	BString& Insert(const BString& string, int32 length, int32 position);
	BString& Insert(const BString& string, int32 fromOffset, int32 length, int32 position);
	BString& Insert(char c, int32 count, int32 position);

	// Removing.
	BString& Truncate(int32 newLength, bool lazy = true);
	BString& Remove(int32 from, int32 length);
	BString& RemoveFirst(const BString& string);
	BString& RemoveLast(const BString& string);
	BString& RemoveAll(const BString& string);
	BString& RemoveFirst(const char* string);
	BString& RemoveLast(const char* string);
	BString& RemoveAll(const char* string);
	BString& RemoveSet(const char* setOfBytesToRemove);
	BString& MakeEmpty();

	// Comparison: byte-wise, like strcmp.
	bool operator<(const BString& string) const;
	bool operator<=(const BString& string) const;
	bool operator==(const BString& string) const;
	bool operator>=(const BString& string) const;
	bool operator>(const BString& string) const;
	bool operator!=(const BString& string) const;

	bool operator<(const char* string) const;
	bool operator<=(const char* string) const;
	bool operator==(const char* string) const;
	bool operator>=(const char* string) const;
	bool operator>(const char* string) const;
	bool operator!=(const char* string) const;

	int Compare(const BString& string) const;
	int Compare(const char* string) const;
	int Compare(const BString& string, int32 length) const;
	int Compare(const char* string, int32 length) const;
	int ICompare(const BString& string) const;
	int ICompare(const char* string) const;
	int ICompare(const BString& string, int32 length) const;
	int ICompare(const char* string, int32 length) const;

	// Searching: an offset, or B_ERROR when not found.
	int32 FindFirst(const BString& string) const;
	int32 FindFirst(const char* string) const;
	int32 FindFirst(const BString& string, int32 fromOffset) const;
	int32 FindFirst(const char* string, int32 fromOffset) const;
	int32 FindFirst(char c) const;
	int32 FindFirst(char c, int32 fromOffset) const;

	int32 FindLast(const BString& string) const;
	int32 FindLast(const char* string) const;
	int32 FindLast(const BString& string, int32 beforeOffset) const;
	int32 FindLast(const char* string, int32 beforeOffset) const;
	int32 FindLast(char c) const;
	int32 FindLast(char c, int32 beforeOffset) const;

	int32 IFindFirst(const BString& string) const;
	int32 IFindFirst(const char* string) const;
	int32 IFindLast(const BString& string) const;
	int32 IFindLast(const char* string) const;

	bool StartsWith(const char* prefix) const;
	bool EndsWith(const char* suffix) const;

	// Replacing.
	BString& ReplaceFirst(char replaceThis, char withThis);
	BString& ReplaceLast(char replaceThis, char withThis);
	BString& ReplaceAll(char replaceThis, char withThis, int32 fromOffset = 0);
	BString& ReplaceFirst(const char* replaceThis, const char* withThis);
	BString& ReplaceLast(const char* replaceThis, const char* withThis);
	BString& ReplaceAll(const char* replaceThis, const char* withThis, int32 fromOffset = 0);
	BString& ReplaceSet(const char* setOfBytes, char with);

	// Byte access: a zero byte out of range.
	char operator[](int32 index) const;
	char ByteAt(int32 index) const;

	// Direct buffer access: LockBuffer gives room for maxLength bytes plus a
	// zero byte; UnlockBuffer takes the new length (-1: up to the first zero).
	char* LockBuffer(int32 maxLength);
	BString& UnlockBuffer(int32 length = -1);

	// Case and white space (ASCII).
	BString& ToLower();
	BString& ToUpper();
	BString& Capitalize();
	BString& Trim();

	// Formatted appending.
	BString& operator<<(const char* string);
	BString& operator<<(const BString& string);
	BString& operator<<(char c);
	BString& operator<<(bool value);
	BString& operator<<(int value);
	BString& operator<<(unsigned int value);
	BString& operator<<(long value);
	BString& operator<<(unsigned long value);
	BString& operator<<(long long value);
	BString& operator<<(unsigned long long value);
	BString& operator<<(float value);
	BString& operator<<(double value);

private:
	bool _Resize(int32 length);
	BString& _Replace(int32 offset, int32 removeLength, const char* data, int32 dataLength);
	int32 _FindBytes(const char* data, int32 length, int32 fromOffset, bool ignoreCase) const;
	int32 _FindBytesBackwards(const char* data, int32 length, int32 beforeOffset,
	                          bool ignoreCase) const;

	char* fPrivateData;
	int32 fLength;
	int32 fCapacity;
};

// Comparisons with a text on the left.
bool operator<(const char* a, const BString& b);
bool operator<=(const char* a, const BString& b);
bool operator==(const char* a, const BString& b);
bool operator>(const char* a, const BString& b);
bool operator>=(const char* a, const BString& b);
bool operator!=(const char* a, const BString& b);

int Compare(const BString& a, const BString& b);
int ICompare(const BString& a, const BString& b);
int Compare(const BString* a, const BString* b);
int ICompare(const BString* a, const BString* b);

#endif // _B_STRING_H
