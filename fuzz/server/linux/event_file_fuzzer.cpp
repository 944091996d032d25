// Event files and event streams from arbitrary bytes, through the keyboard
// reader's translation and the virtual keyboard: no crash, the file and
// stream readings agree, and the virtual keyboard never releases a key it
// did not press nor leaves one pressed.
#include "EventFile.h"
#include "EventStreamDecoder.h"
#include "KeyEventTranslator.h"
#include "VirtualKeyboard.h"

#include <Message.h>

#include <linux/input-event-codes.h>

#include <bitset>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

class CheckingWriter : public stria::EventWriter {
public:
	bool Write(std::span<const stria::EventRecord> records) override
	{
		for (const stria::EventRecord& record : records) {
			if (record.type != EV_KEY)
				continue;
			if (record.code >= fPressed.size())
				std::abort();
			const bool pressed = fPressed.test(record.code);
			if ((record.value == 0 || record.value == 2) && !pressed)
				std::abort(); // a release or repeat of a key not pressed
			if (record.value == 1 && pressed)
				std::abort();
			fPressed.set(record.code, record.value != 0);
		}
		return true;
	}

	bool AnyPressed() const { return fPressed.any(); }

private:
	std::bitset<1024> fPressed;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
	const std::span<const uint8> bytes(data, size);
	std::vector<stria::EventRecord> fileRecords;
	std::string error;
	const bool whole = stria::EventFile::Parse(bytes, fileRecords, error);

	// The same bytes as a stream, in pieces whose size the first byte picks.
	const size_t piece = size > 0 ? data[0] % 50 + 1 : 1;
	stria::EventStreamDecoder decoder;
	std::vector<stria::EventRecord> streamRecords;
	for (size_t offset = 0; offset < size; offset += piece) {
		if (!decoder.Feed(bytes.subspan(offset, std::min(piece, size - offset)), streamRecords))
			break;
	}
	if (whole && (streamRecords.size() != fileRecords.size() || decoder.Pending() != 0))
		std::abort();

	stria::KeyEventTranslator translator(size > 1 ? data[1] & 0x38 : 0);
	CheckingWriter writer;
	stria::VirtualKeyboard keyboard(writer);
	for (const stria::EventRecord& record : streamRecords) {
		stria::KeyboardState::Messages messages;
		translator.Translate(record, messages);
		if (translator.NeedsResync()) {
			std::vector<uint16> down;
			for (size_t i = 0; i < 8 && i < size; i++)
				down.push_back(static_cast<uint16>(data[i] % 128));
			translator.Resync(down, record.When().value_or(0), messages);
		}
		for (const auto& message : messages)
			keyboard.Deliver(*message);
	}
	keyboard.ReleaseAll();
	if (writer.AnyPressed())
		std::abort();
	return 0;
}
