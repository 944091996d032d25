// Feeds arbitrary bytes to BMessage::Unflatten. A refused input must leave
// the message untouched; an accepted one must flatten back to the very bytes
// it came from (the format has one form per message), unflatten again to an
// equal message, and let every value, nested messages included, be read and
// removed without trouble.
#include <Message.h>
#include <Messenger.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition)
{
	if (!condition)
		std::abort();
}

std::vector<char> Flattened(const BMessage& message)
{
	std::vector<char> bytes(size_t(message.FlattenedSize()));
	Require(message.Flatten(bytes.data(), ssize_t(bytes.size())) == B_OK);
	return bytes;
}

void ReadEverything(const BMessage& message, int depth)
{
	char* name;
	type_code type;
	int32 count;
	for (int32 i = 0; message.GetInfo(B_ANY_TYPE, i, &name, &type, &count) == B_OK; i++) {
		Require(count > 0);
		for (int32 index = 0; index < count; index++) {
			const void* data;
			ssize_t size;
			Require(message.FindData(name, type, index, &data, &size) == B_OK);
			if (type == B_MESSAGE_TYPE) {
				BMessage nested;
				Require(message.FindMessage(name, index, &nested) == B_OK);
				Require(depth < 40);
				ReadEverything(nested, depth + 1);
			} else if (type == B_MESSENGER_TYPE) {
				BMessenger messenger;
				message.FindMessenger(name, index, &messenger);
			} else if (type == B_STRING_TYPE) {
				const char* text;
				Require(message.FindString(name, index, &text) == B_OK);
				Require(std::strlen(text) < size_t(size));
			}
		}
		const void* past;
		Require(message.FindData(name, type, count, &past, NULL) == B_BAD_INDEX);
	}
	message.ReturnAddress();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const char* bytes = reinterpret_cast<const char*>(data);
	BMessage message('keep');
	message.AddInt32("keep", 1);
	if (message.Unflatten(bytes, ssize_t(size)) != B_OK) {
		Require(message.what == 'keep' && message.CountNames(B_ANY_TYPE) == 1 &&
		        message.GetInt32("keep", 0) == 1);
		return 0;
	}

	std::vector<char> flat = Flattened(message);
	Require(flat.size() <= size && std::memcmp(flat.data(), data, flat.size()) == 0);
	BMessage again;
	Require(again.Unflatten(flat.data(), ssize_t(flat.size())) == B_OK);
	Require(again.what == message.what && again.HasSameData(message));

	ReadEverything(message, 0);

	// Take the first value of every field away; what is left still flattens
	// into a message that unflattens.
	BMessage copy(message);
	char* name;
	type_code type;
	int32 count;
	for (int32 i = 0; copy.GetInfo(B_ANY_TYPE, i, &name, &type, &count) == B_OK;) {
		Require(copy.RemoveData(name, 0) == B_OK);
		if (count > 1)
			i++;
	}
	std::vector<char> rest = Flattened(copy);
	BMessage restored;
	Require(restored.Unflatten(rest.data(), ssize_t(rest.size())) == B_OK);
	Require(restored.HasSameData(copy));
	return 0;
}
