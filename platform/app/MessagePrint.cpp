// BMessage::PrintToStream: a readable dump of a message and the messages
// nested in it, for debugging.
#include <Message.h>

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace {

void PrintCode(uint32 code)
{
	char chars[4] = {char(code >> 24), char(code >> 16), char(code >> 8), char(code)};
	bool printable = true;
	for (char c : chars)
		printable = printable && std::isprint(static_cast<unsigned char>(c));
	if (printable)
		std::printf("'%.4s'", chars);
	else
		std::printf("0x%08" PRIx32, code);
}

void PrintText(const char* text, size_t length)
{
	std::putchar('"');
	for (size_t i = 0; i < length; i++) {
		unsigned char c = static_cast<unsigned char>(text[i]);
		if (c == '"' || c == '\\')
			std::printf("\\%c", c);
		else if (std::isprint(c))
			std::putchar(c);
		else
			std::printf("\\x%02x", c);
	}
	std::putchar('"');
}

void PrintBytes(const unsigned char* bytes, size_t size)
{
	const size_t kShown = 32;
	std::printf("%zu bytes:", size);
	for (size_t i = 0; i < size && i < kShown; i++)
		std::printf(" %02x", bytes[i]);
	if (size > kShown)
		std::printf(" ...");
}

template <typename T>
T ValueOf(const void* data)
{
	T value;
	std::memcpy(&value, data, sizeof(T));
	return value;
}

void PrintMessage(const BMessage& message, int indent);

void PrintValue(const BMessage& message, const char* name, type_code type, int32 index, int indent)
{
	const void* data;
	ssize_t size;
	if (message.FindData(name, type, index, &data, &size) != B_OK)
		return;
	const unsigned char* bytes = static_cast<const unsigned char*>(data);
	switch (type) {
	case B_INT8_TYPE:
		std::printf("int8(%d)", ValueOf<int8>(data));
		break;
	case B_UINT8_TYPE:
		std::printf("uint8(%u)", ValueOf<uint8>(data));
		break;
	case B_CHAR_TYPE:
		std::printf("char(%d)", ValueOf<int8>(data));
		break;
	case B_INT16_TYPE:
		std::printf("int16(%d)", ValueOf<int16>(data));
		break;
	case B_UINT16_TYPE:
		std::printf("uint16(%u)", ValueOf<uint16>(data));
		break;
	case B_INT32_TYPE:
		std::printf("int32(%" PRId32 " or 0x%" PRIx32 ")", ValueOf<int32>(data),
		            ValueOf<uint32>(data));
		break;
	case B_UINT32_TYPE:
		std::printf("uint32(%" PRIu32 ")", ValueOf<uint32>(data));
		break;
	case B_INT64_TYPE:
		std::printf("int64(%" PRId64 ")", ValueOf<int64>(data));
		break;
	case B_UINT64_TYPE:
		std::printf("uint64(%" PRIu64 ")", ValueOf<uint64>(data));
		break;
	case B_BOOL_TYPE:
		std::printf("bool(%s)", bytes[0] != 0 ? "true" : "false");
		break;
	case B_FLOAT_TYPE:
		std::printf("float(%.9g)", double(ValueOf<float>(data)));
		break;
	case B_DOUBLE_TYPE:
		std::printf("double(%.17g)", ValueOf<double>(data));
		break;
	case B_POINTER_TYPE:
		std::printf("pointer(0x%" PRIx64 ")", ValueOf<uint64>(data));
		break;
	case B_STRING_TYPE:
		std::printf("string(");
		PrintText(static_cast<const char*>(data), size_t(size) - 1);
		std::printf(", %zd bytes)", size);
		break;
	case B_MESSENGER_TYPE:
		std::printf("messenger(%zd bytes)", size);
		break;
	case B_MESSAGE_TYPE: {
		BMessage nested;
		if (nested.Unflatten(static_cast<const char*>(data), size) == B_OK)
			PrintMessage(nested, indent);
		else
			std::printf("message(unreadable)");
		break;
	}
	default:
		PrintCode(type);
		std::printf(" ");
		PrintBytes(bytes, size_t(size));
		break;
	}
}

void PrintMessage(const BMessage& message, int indent)
{
	std::printf("BMessage(");
	PrintCode(message.what);
	std::printf(") {\n");
	char* name;
	type_code type;
	int32 count;
	for (int32 i = 0; message.GetInfo(B_ANY_TYPE, i, &name, &type, &count) == B_OK; i++) {
		for (int32 index = 0; index < count; index++) {
			std::printf("%*s%s", (indent + 1) * 4, "", name);
			if (count > 1)
				std::printf("[%" PRId32 "]", index);
			std::printf(" = ");
			PrintValue(message, name, type, index, indent + 1);
			std::printf("\n");
		}
	}
	std::printf("%*s}", indent * 4, "");
}

} // namespace

void BMessage::PrintToStream() const
{
	PrintMessage(*this, 0);
	std::printf("\n");
	std::fflush(stdout);
}
