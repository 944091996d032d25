// The replay-script parser: a pure function from text to events.
#include "ReplayScript.h"

#include "UsKeyboard.h"

#include <InterfaceDefs.h>

#include <limits>

namespace stria {

namespace {

constexpr uint32 kShiftModifiers = B_SHIFT_KEY | B_LEFT_SHIFT_KEY;
constexpr int32 kLargestKey = 127; // "states" has one bit for each of 128 key codes

bool IsBlank(char c)
{
	return c == ' ' || c == '\t';
}

// A character as an error message shows it.
std::string Shown(char c)
{
	unsigned char byte = (unsigned char)c;
	static const char kHex[] = "0123456789abcdef";
	std::string hex = "0x";
	hex += kHex[byte >> 4];
	hex += kHex[byte & 0xf];
	if (byte > 0x20 && byte < 0x7f)
		return std::string("'") + c + "' (" + hex + ")";
	return "byte " + hex;
}

// Reads the words of one line.
class LineReader {
public:
	explicit LineReader(std::string_view line) : fLine(line) {}

	bool AtEnd()
	{
		SkipBlanks();
		return fPosition >= fLine.size();
	}

	std::string_view Word()
	{
		SkipBlanks();
		size_t start = fPosition;
		while (fPosition < fLine.size() && !IsBlank(fLine[fPosition]))
			fPosition++;
		return fLine.substr(start, fPosition - start);
	}

	// A character in single quotes, which may itself be a blank or a quote.
	bool QuotedCharacter(char* character)
	{
		SkipBlanks();
		if (fLine.size() - fPosition < 3 || fLine[fPosition] != '\'' ||
		    fLine[fPosition + 2] != '\'')
			return false;
		if (fLine.size() - fPosition > 3 && !IsBlank(fLine[fPosition + 3]))
			return false;
		*character = fLine[fPosition + 1];
		fPosition += 3;
		return true;
	}

	bool NextIsQuote()
	{
		SkipBlanks();
		return fPosition < fLine.size() && fLine[fPosition] == '\'';
	}

	// After the verb: one blank, then everything up to the end of the line.
	std::optional<std::string_view> RestAfterOneBlank()
	{
		if (fPosition >= fLine.size() || !IsBlank(fLine[fPosition]))
			return std::nullopt;
		return fLine.substr(fPosition + 1);
	}

private:
	void SkipBlanks()
	{
		while (fPosition < fLine.size() && IsBlank(fLine[fPosition]))
			fPosition++;
	}

	std::string_view fLine;
	size_t fPosition = 0;
};

// Decimal or 0x hex, no sign, at most max.
std::optional<uint64> ParseNumber(std::string_view word, uint64 max)
{
	if (word.empty())
		return std::nullopt;
	uint64 base = 10;
	if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
		base = 16;
		word.remove_prefix(2);
	}
	uint64 value = 0;
	for (char c : word) {
		uint64 digit;
		if (c >= '0' && c <= '9')
			digit = c - '0';
		else if (base == 16 && c >= 'a' && c <= 'f')
			digit = c - 'a' + 10;
		else if (base == 16 && c >= 'A' && c <= 'F')
			digit = c - 'A' + 10;
		else
			return std::nullopt;
		if (value > (max - digit) / base)
			return std::nullopt;
		value = value * base + digit;
	}
	return value;
}

class Parser {
public:
	ReplayScript Parse(std::string_view text)
	{
		int lineNumber = 0;
		while (!text.empty() || lineNumber == 0) {
			lineNumber++;
			size_t end = text.find('\n');
			std::string_view line = text.substr(0, end);
			text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
			if (!line.empty() && line.back() == '\r')
				line.remove_suffix(1);

			if (std::optional<std::string> error = ParseLine(line, lineNumber)) {
				fScript.events.clear();
				fScript.error = ReplayScriptError{lineNumber, *error};
				return std::move(fScript);
			}
			if (end == std::string_view::npos)
				break;
		}
		return std::move(fScript);
	}

private:
	std::optional<std::string> ParseLine(std::string_view line, int lineNumber)
	{
		if (line.size() > kMaxReplayLineBytes) {
			return "the line is " + std::to_string(line.size()) +
			       " bytes long; a line may be at most " + std::to_string(kMaxReplayLineBytes);
		}
		LineReader reader(line);
		if (reader.AtEnd())
			return std::nullopt;
		std::string_view first = reader.Word();
		if (first[0] == '#')
			return std::nullopt;

		std::optional<uint64> when =
		        ParseNumber(first, (uint64)std::numeric_limits<bigtime_t>::max());
		if (!when)
			return "'" + std::string(first) + "' is not a time (microseconds, decimal or 0x hex)";
		if ((bigtime_t)*when < fLastWhen) {
			return "time " + std::to_string(*when) + " is earlier than the event before it (" +
			       std::to_string(fLastWhen) + ")";
		}

		ReplayEvent event;
		event.line = lineNumber;
		event.when = (bigtime_t)*when;

		std::string_view verb = reader.Word();
		std::optional<std::string> error;
		if (verb.empty())
			return std::string("an event is missing after the time");
		else if (verb == "down")
			error = ParseDown(reader, event);
		else if (verb == "up")
			error = ParseUp(reader, event);
		else if (verb == "modifiers")
			error = ParseModifiers(reader, event);
		else if (verb == "control")
			error = ParseControl(reader, event);
		else if (verb == "scan")
			return ParseScan(reader, event);
		else if (verb == "type")
			return ParseType(reader, event);
		else {
			return "unknown event '" + std::string(verb) +
			       "' (expected down, up, modifiers, control, scan or type)";
		}
		if (error)
			return error;
		if (!reader.AtEnd())
			return "unexpected '" + std::string(reader.Word()) + "' at the end of the line";
		if (std::optional<std::string> full = CheckRoom(1))
			return full;
		Add(event);
		return std::nullopt;
	}

	// Refuses a line that would take the script past the most events.
	std::optional<std::string> CheckRoom(size_t events) const
	{
		if (events > kMaxReplayEvents - fScript.events.size()) {
			return "the script describes more than " + std::to_string(kMaxReplayEvents) +
			       " key events, the most one script may (split it into several)";
		}
		return std::nullopt;
	}

	std::optional<std::string> ParseKey(LineReader& reader, ReplayEvent& event)
	{
		std::string_view word = reader.Word();
		if (word.empty())
			return std::string("a key code is missing");
		std::optional<uint64> key = ParseNumber(word, kLargestKey);
		if (!key || *key == 0)
			return "'" + std::string(word) + "' is not a key code (1 to 127)";
		event.key = (int32)*key;
		return std::nullopt;
	}

	std::optional<std::string> ParseOptionalModifiers(LineReader& reader, ReplayEvent& event)
	{
		if (reader.AtEnd())
			return std::nullopt;
		std::string_view word = reader.Word();
		std::optional<uint64> modifiers = ParseNumber(word, 0xffffffff);
		if (!modifiers)
			return "'" + std::string(word) + "' is not a modifiers value (0 to 0xffffffff)";
		event.modifiers = (uint32)*modifiers;
		return std::nullopt;
	}

	std::optional<std::string> ParseDown(LineReader& reader, ReplayEvent& event)
	{
		event.kind = ReplayEvent::Kind::KeyDown;
		if (std::optional<std::string> error = ParseKey(reader, event))
			return error;
		char quoted;
		if (reader.QuotedCharacter(&quoted)) {
			event.byte = (uint8)quoted;
		} else {
			if (reader.NextIsQuote())
				return std::string("a quoted byte is one character between single quotes, "
				                   "such as '.'");
			std::string_view word = reader.Word();
			if (word.empty())
				return std::string("the byte of the key-down is missing");
			std::optional<uint64> byte = ParseNumber(word, 0xff);
			if (!byte)
				return "'" + std::string(word) + "' is not a byte (0 to 255, or 'c')";
			event.byte = (uint8)*byte;
		}
		return ParseOptionalModifiers(reader, event);
	}

	std::optional<std::string> ParseUp(LineReader& reader, ReplayEvent& event)
	{
		event.kind = ReplayEvent::Kind::KeyUp;
		if (std::optional<std::string> error = ParseKey(reader, event))
			return error;
		return ParseOptionalModifiers(reader, event);
	}

	std::optional<std::string> ParseModifiers(LineReader& reader, ReplayEvent& event)
	{
		event.kind = ReplayEvent::Kind::Modifiers;
		if (reader.AtEnd())
			return std::string("the modifiers value is missing");
		if (std::optional<std::string> error = ParseOptionalModifiers(reader, event))
			return error;
		event.oldModifiers = fModifiers;
		fModifiers = event.modifiers;
		return std::nullopt;
	}

	std::optional<std::string> ParseControl(LineReader& reader, ReplayEvent& event)
	{
		event.kind = ReplayEvent::Kind::Control;
		std::string_view word = reader.Word();
		if (word.empty())
			return std::string("the control code is missing");
		std::optional<uint64> code = ParseNumber(word, 0xffffffff);
		if (!code)
			return "'" + std::string(word) + "' is not a control code (0 to 0xffffffff)";
		event.code = (uint32)*code;
		if (reader.AtEnd())
			return std::nullopt;
		std::string_view kind = reader.Word();
		if (kind == "empty")
			event.controlMessage = ReplayEvent::ControlMessage::Empty;
		else if (kind == "subscribe")
			event.controlMessage = ReplayEvent::ControlMessage::Subscribe;
		else {
			return "unknown control message '" + std::string(kind) +
			       "' (expected empty or subscribe)";
		}
		return std::nullopt;
	}

	std::optional<std::string> ParseScan(LineReader& reader, const ReplayEvent& event)
	{
		std::string_view record = reader.Word();
		if (record.empty())
			return std::string("the record to scan is missing");
		if (!reader.AtEnd())
			return std::string("a record is one word; unexpected '") + std::string(reader.Word()) +
			       "' after it";
		if (std::optional<std::string> error = CheckSpan(event.when, record.size() + 1))
			return error;
		if (std::optional<std::string> error = CheckRoom(2 * (record.size() + 2)))
			return error;

		bigtime_t when = event.when;
		AddStroke(event.line, when, kReplayScanStartKey, B_FUNCTION_KEY, 0);
		for (char c : record) {
			when += kReplayCharacterStep;
			if (std::optional<std::string> error = AddCharacter(event.line, when, c))
				return error;
		}
		when += kReplayCharacterStep;
		AddStroke(event.line, when, kReplayScanEndKey, B_ENTER, 0);
		return std::nullopt;
	}

	std::optional<std::string> ParseType(LineReader& reader, const ReplayEvent& event)
	{
		std::optional<std::string_view> text = reader.RestAfterOneBlank();
		if (!text || text->empty())
			return std::string("the text to type is missing");
		if (std::optional<std::string> error = CheckSpan(event.when, text->size() - 1))
			return error;
		if (std::optional<std::string> error = CheckRoom(2 * text->size()))
			return error;

		bigtime_t when = event.when;
		for (size_t index = 0; index < text->size(); index++) {
			if (index > 0)
				when += kReplayCharacterStep;
			if (std::optional<std::string> error = AddCharacter(event.line, when, (*text)[index]))
				return error;
		}
		return std::nullopt;
	}

	// Refuses scan and type lines whose last key-up would lie beyond the
	// largest time.
	std::optional<std::string> CheckSpan(bigtime_t when, size_t steps)
	{
		const bigtime_t max = std::numeric_limits<bigtime_t>::max();
		if (steps > (uint64)(max - kReplayKeyUpDelay) / kReplayCharacterStep ||
		    when > max - kReplayKeyUpDelay - (bigtime_t)steps * kReplayCharacterStep)
			return std::string("the keys of this line run past the largest time");
		return std::nullopt;
	}

	std::optional<std::string> AddCharacter(int line, bigtime_t when, char c)
	{
		std::optional<KeyStroke> stroke = UsKeyboard::StrokeFor(c);
		if (!stroke)
			return Shown(c) + " cannot be typed on a US keyboard";
		AddStroke(line, when, stroke->key, (uint8)c, stroke->shift ? kShiftModifiers : 0);
		return std::nullopt;
	}

	void AddStroke(int line, bigtime_t when, int32 key, uint8 byte, uint32 modifiers)
	{
		ReplayEvent down;
		down.kind = ReplayEvent::Kind::KeyDown;
		down.line = line;
		down.when = when;
		down.key = key;
		down.byte = byte;
		down.modifiers = modifiers;
		Add(down);

		ReplayEvent up = down;
		up.kind = ReplayEvent::Kind::KeyUp;
		up.when = when + kReplayKeyUpDelay;
		Add(up);
	}

	void Add(const ReplayEvent& event)
	{
		fScript.events.push_back(event);
		fLastWhen = event.when;
	}

	ReplayScript fScript;
	bigtime_t fLastWhen = 0;
	uint32 fModifiers = 0;
};

} // namespace

ReplayScript ParseReplayScript(std::string_view text)
{
	return Parser().Parse(text);
}

} // namespace stria
