// Writes flattened messages byte by byte after the layout that
// platform/README.md documents, without going through BMessage, so that tests
// can check the documented layout and build inputs BMessage would never write.
#ifndef STRIA_TESTS_FLAT_MESSAGE_WRITER_H
#define STRIA_TESTS_FLAT_MESSAGE_WRITER_H

#include <Message.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

inline size_t Pad8(size_t size)
{
	return (size + 7) & ~size_t(7);
}

template <typename T>
std::string BytesOf(T value)
{
	return std::string(reinterpret_cast<const char*>(&value), sizeof(T));
}

inline std::string FlatBytes(const BMessage& message)
{
	std::string bytes(size_t(message.FlattenedSize()), '\0');
	if (message.Flatten(bytes.data(), ssize_t(bytes.size())) != B_OK)
		return std::string();
	return bytes;
}

class FlatMessageWriter {
public:
	explicit FlatMessageWriter(uint32 what = 0) : fWhat(what) {}

	// A field whose values are laid out back to back (fixed) or each with
	// its size word (variable).
	FlatMessageWriter& Field(const std::string& name, uint32 type, bool fixedSize,
	                         const std::vector<std::string>& values)
	{
		fFields.push_back({name, type, fixedSize, values});
		return *this;
	}

	FlatMessageWriter& Depth(uint8 depth)
	{
		fDepth = depth;
		return *this;
	}

	FlatMessageWriter& ReturnAddress(const std::string& bytes)
	{
		fReply = bytes;
		return *this;
	}

	// Offset of field `index` from the start of the message.
	size_t FieldOffset(size_t index) const
	{
		size_t offset = 24 + Pad8(fReply.size());
		for (size_t i = 0; i < index; i++)
			offset += FieldBytes(fFields[i]).size();
		return offset;
	}

	std::string Bytes() const
	{
		std::string fields;
		for (const Field_& field : fFields)
			fields += FieldBytes(field);
		std::string out("SMsg", 4);
		out += BytesOf<uint16>(1);
		out += char(fDepth);
		out += '\0';
		out += BytesOf<uint32>(fWhat);
		out += BytesOf<uint32>(uint32(24 + Pad8(fReply.size()) + fields.size()));
		out += BytesOf<uint32>(uint32(fFields.size()));
		out += BytesOf<uint32>(uint32(fReply.size()));
		out += fReply + std::string(Pad8(fReply.size()) - fReply.size(), '\0');
		return out + fields;
	}

private:
	struct Field_ {
		std::string name;
		uint32 type;
		bool fixedSize;
		std::vector<std::string> values;
	};

	static std::string FieldBytes(const Field_& field)
	{
		std::string data;
		for (const std::string& value : field.values) {
			if (!field.fixedSize) {
				data += BytesOf<uint32>(uint32(value.size()));
				data += BytesOf<uint32>(0);
				data += value + std::string(Pad8(value.size()) - value.size(), '\0');
			} else
				data += value;
		}
		std::string out = BytesOf<uint32>(field.type);
		out += char(field.name.size());
		out += char(field.fixedSize ? 1 : 0);
		out += BytesOf<uint16>(0);
		out += BytesOf<uint32>(uint32(field.values.size()));
		out += BytesOf<uint32>(uint32(data.size()));
		out += field.name + std::string(Pad8(field.name.size() + 1) - field.name.size(), '\0');
		return out + data + std::string(Pad8(data.size()) - data.size(), '\0');
	}

	uint32 fWhat;
	uint8 fDepth = 0;
	std::string fReply;
	std::vector<Field_> fFields;
};

#endif // STRIA_TESTS_FLAT_MESSAGE_WRITER_H
