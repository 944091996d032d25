// Application kit: BMessage, a command code with typed, named fields.
#ifndef _MESSAGE_H
#define _MESSAGE_H

#include <OS.h>
#include <SupportDefs.h>
#include <TypeConstants.h>

class BHandler;
class BMessenger;
class BString;

// Codes the kits use themselves.
enum {
	B_NO_REPLY = '_NRP',
	B_QUIT_REQUESTED = '_QRQ',
	B_MESSAGE_NOT_UNDERSTOOD = '_MNU',
	B_READY_TO_RUN = '_RTR'
};

class BMessage {
public:
	uint32 what;

	BMessage();
	explicit BMessage(uint32 what);
	BMessage(const BMessage& other);
	virtual ~BMessage();

	BMessage& operator=(const BMessage& other);

	// Field information.
	status_t GetInfo(type_code typeRequested, int32 index, char** nameFound, type_code* typeFound,
	                 int32* countFound = NULL) const;
	status_t GetInfo(const char* name, type_code* typeFound, int32* countFound = NULL) const;
	status_t GetInfo(const char* name, type_code* typeFound, bool* fixedSize) const;
	int32 CountNames(type_code type) const;
	bool IsEmpty() const;
	bool HasSameData(const BMessage& other) const; // same what, same fields in the same order
	void PrintToStream() const;

	status_t MakeEmpty();
	status_t RemoveName(const char* name);
	status_t RemoveData(const char* name, int32 index = 0);

	// Byte form; see platform/README.md for the layout.
	ssize_t FlattenedSize() const;
	status_t Flatten(char* buffer, ssize_t size) const;
	// Rebuilds the message from a buffer of known size; refuses malformed input.
	status_t Unflatten(const char* flatBuffer, ssize_t size);
	// Trusts the size recorded in the buffer's own header (for buffers that
	// Flatten wrote); still refuses a header that does not hold together.
	status_t Unflatten(const char* flatBuffer);

	// Replies.
	BMessenger ReturnAddress() const;
	bool WasDelivered() const;
	// True when the message came from another process: read from a
	// connection whose peer, as the kernel says, is not this process.
	// Nothing in the message's bytes can make it false.
	bool IsSourceRemote() const;
	status_t SendReply(uint32 command, BHandler* replyTo = NULL);
	status_t SendReply(BMessage* reply, BHandler* replyTo = NULL,
	                   bigtime_t timeout = B_INFINITE_TIMEOUT);

	// Adding fields. B_BAD_TYPE when the name belongs to a field of another
	// type; B_BAD_VALUE for a value that does not fit its type or a name of
	// more than 255 bytes; B_NO_MEMORY when the message would pass 16 MiB.
	status_t AddInt8(const char* name, int8 value);
	status_t AddInt16(const char* name, int16 value);
	status_t AddInt32(const char* name, int32 value);
	status_t AddInt64(const char* name, int64 value);
	status_t AddBool(const char* name, bool value);
	status_t AddFloat(const char* name, float value);
	status_t AddDouble(const char* name, double value);
	status_t AddString(const char* name, const char* string);
	status_t AddString(const char* name, const BString& string);
	status_t AddPointer(const char* name, const void* pointer);
	status_t AddMessenger(const char* name, const BMessenger& messenger);
	status_t AddMessage(const char* name, const BMessage* message);
	status_t AddData(const char* name, type_code type, const void* data, ssize_t numBytes,
	                 bool isFixedSize = true, int32 count = 1);

	// Finding fields: a missing field (B_NAME_NOT_FOUND), a wrong type
	// (B_BAD_TYPE) or index (B_BAD_INDEX) returns an error and leaves the
	// target unchanged. Strings and data point into the message and stay
	// valid until it changes.
	status_t FindInt8(const char* name, int8* value) const;
	status_t FindInt8(const char* name, int32 index, int8* value) const;
	status_t FindInt16(const char* name, int16* value) const;
	status_t FindInt16(const char* name, int32 index, int16* value) const;
	status_t FindInt32(const char* name, int32* value) const;
	status_t FindInt32(const char* name, int32 index, int32* value) const;
	status_t FindInt64(const char* name, int64* value) const;
	status_t FindInt64(const char* name, int32 index, int64* value) const;
	status_t FindBool(const char* name, bool* value) const;
	status_t FindBool(const char* name, int32 index, bool* value) const;
	status_t FindFloat(const char* name, float* value) const;
	status_t FindFloat(const char* name, int32 index, float* value) const;
	status_t FindDouble(const char* name, double* value) const;
	status_t FindDouble(const char* name, int32 index, double* value) const;
	status_t FindString(const char* name, const char** string) const;
	status_t FindString(const char* name, int32 index, const char** string) const;
	status_t FindString(const char* name, BString* string) const;
	status_t FindString(const char* name, int32 index, BString* string) const;
	status_t FindPointer(const char* name, void** pointer) const;
	status_t FindPointer(const char* name, int32 index, void** pointer) const;
	status_t FindMessenger(const char* name, BMessenger* messenger) const;
	status_t FindMessenger(const char* name, int32 index, BMessenger* messenger) const;
	status_t FindMessage(const char* name, BMessage* message) const;
	status_t FindMessage(const char* name, int32 index, BMessage* message) const;
	status_t FindData(const char* name, type_code type, const void** data, ssize_t* numBytes) const;
	status_t FindData(const char* name, type_code type, int32 index, const void** data,
	                  ssize_t* numBytes) const;

	// Replacing fields (the value at an index, 0 when left out).
	status_t ReplaceInt8(const char* name, int8 value);
	status_t ReplaceInt8(const char* name, int32 index, int8 value);
	status_t ReplaceInt16(const char* name, int16 value);
	status_t ReplaceInt16(const char* name, int32 index, int16 value);
	status_t ReplaceInt32(const char* name, int32 value);
	status_t ReplaceInt32(const char* name, int32 index, int32 value);
	status_t ReplaceInt64(const char* name, int64 value);
	status_t ReplaceInt64(const char* name, int32 index, int64 value);
	status_t ReplaceBool(const char* name, bool value);
	status_t ReplaceBool(const char* name, int32 index, bool value);
	status_t ReplaceFloat(const char* name, float value);
	status_t ReplaceFloat(const char* name, int32 index, float value);
	status_t ReplaceDouble(const char* name, double value);
	status_t ReplaceDouble(const char* name, int32 index, double value);
	status_t ReplaceString(const char* name, const char* string);
	status_t ReplaceString(const char* name, int32 index, const char* string);
	status_t ReplaceString(const char* name, const BString& string);
	status_t ReplaceString(const char* name, int32 index, const BString& string);
	status_t ReplacePointer(const char* name, const void* pointer);
	status_t ReplacePointer(const char* name, int32 index, const void* pointer);
	status_t ReplaceMessenger(const char* name, const BMessenger& messenger);
	status_t ReplaceMessenger(const char* name, int32 index, const BMessenger& messenger);
	status_t ReplaceMessage(const char* name, const BMessage* message);
	status_t ReplaceMessage(const char* name, int32 index, const BMessage* message);
	status_t ReplaceData(const char* name, type_code type, const void* data, ssize_t numBytes);
	status_t ReplaceData(const char* name, type_code type, int32 index, const void* data,
	                     ssize_t numBytes);

	// Convenience with a default.
	int32 GetInt32(const char* name, int32 defaultValue) const;
	int64 GetInt64(const char* name, int64 defaultValue) const;
	bool HasString(const char* name, int32 index = 0) const;

	// Used by the kits' delivery code: the messenger replies go to, and
	// whether the message came through a messenger.
	void _SetReplyTo(const BMessenger& replyTo);
	void _SetDelivered(bool delivered);
	// The process a message read from a connection came from (the peer's
	// credentials; -1 when they could not be had), and that process, or
	// this one for a message that came from no connection.
	void _SetSourceTeam(team_id team);
	team_id _SourceTeam() const;

private:
	template <typename T>
	status_t _FindValue(const char* name, type_code type, int32 index, T* value) const;
	status_t _AddValue(const char* name, type_code type, bool fixedSize, const void* data,
	                   size_t size, uint32 depth);
	status_t _ReplaceValue(const char* name, type_code type, int32 index, const void* data,
	                       size_t size);

	// The fields in their flattened layout, an index of them, the return
	// address and the delivery state; see Message.cpp.
	struct Data;
	Data* fData;
};

#endif // _MESSAGE_H
