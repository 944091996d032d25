// Messages that the messaging tests and their peer process build alike, so
// that each side can check what the other sent without shipping it twice.
#ifndef STRIA_TEST_MESSAGES_H
#define STRIA_TEST_MESSAGES_H

#include <Message.h>
#include <Messenger.h>

#include <cstdio>
#include <string>
#include <vector>

namespace messaging_test {

// Commands between the tests and the peer process.
enum : uint32 {
	kSubscribe = 'Tsub',
	kPayload = 'Tpay',
	kDone = 'Tdon',
	kResult = 'Tres',
	kEcho = 'Tech',
	kQuitLooper = 'Tqlp',
	kStall = 'Tstl',
	kUsage = 'Tuse'
};

// Message number index of a run: every field type, sizes that vary with the
// index, a nested message.
inline BMessage MakePayload(int32 index)
{
	BMessage message(kPayload);
	message.AddInt32("index", index);
	message.AddInt8("int8", int8(index * 7));
	message.AddInt16("int16", int16(index * 301));
	message.AddInt64("int64", int64(index) * 1000000007LL - 5);
	message.AddBool("bool", index % 2 == 0);
	message.AddFloat("float", float(index) / 8.0f);
	message.AddDouble("double", double(index) * 3.25);
	message.AddString("text", std::string(size_t(index % 97), char('a' + index % 26)).c_str());
	std::vector<char> raw(size_t(index % 300));
	for (size_t i = 0; i < raw.size(); i++)
		raw[i] = char(i * 31 + size_t(index));
	message.AddData("raw", B_RAW_TYPE, raw.data(), ssize_t(raw.size()), false);
	BMessage nested('Tnst');
	nested.AddInt32("square", index * index);
	message.AddMessage("nested", &nested);
	return message;
}

inline std::string ToHex(const BMessenger& messenger)
{
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	if (messenger.Flatten(bytes.data(), ssize_t(bytes.size())) != B_OK)
		return std::string();
	std::string hex;
	char digits[3];
	for (char byte : bytes) {
		snprintf(digits, sizeof(digits), "%02x", unsigned(uint8(byte)));
		hex += digits;
	}
	return hex;
}

inline bool FromHex(const char* hex, BMessenger* messenger)
{
	std::vector<char> bytes;
	for (const char* at = hex; at[0] != '\0' && at[1] != '\0'; at += 2) {
		unsigned value;
		if (sscanf(at, "%2x", &value) != 1)
			return false;
		bytes.push_back(char(value));
	}
	return messenger->Unflatten(bytes.data(), ssize_t(bytes.size())) == B_OK;
}

} // namespace messaging_test

#endif // STRIA_TEST_MESSAGES_H
