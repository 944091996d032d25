// ScanCapture from text fixtures: each file in tests/fixtures/capture plays
// inputs through the capture and spells out what each became. A fixture is
// read like this:
//
//	# a comment
//	> KEY_DOWN when=1000 key=11 byte=16 modifiers=0 source=1 kind=keyboard now=1000
//	  arm 1 11000
//	> KEY_UP when=2000 key=11 modifiers=0
//	  KEY_UP when=2000 key=11 modifiers=0
//
// An input line ("> ") is a message as --print shows it (KEY_DOWN, KEY_UP,
// UNMAPPED_KEY_DOWN, UNMAPPED_KEY_UP, MODIFIERS, MESSAGE what=0x...), with
// optional source=N and kind=keyboard|recorded|add-on, gone=1 (its keyboard
// went away) and now=T (the clock, by default the message's stamp); or
// QUIET when=T source=N (recorded input goes quiet), ENDED source=N (an
// input ends), DROPPED when=T source=N (the kernel dropped keys of an
// input), TICK N (the timer's tick for capture N), REPLAY realtime=T (an
// application's replay request), or TYPE "text" from=T [spacing=S]
// [source=N] [kind=K] (a key-down and key-up of the letter key for each
// character, Enter for \n, as a person or a scanner types them). The lines
// under it, indented, are what came of it in order: the messages that go on
// in --print's form, "record TEXT", "arm N DUE", "disarm N" and "log TEXT".
// An input with no lines was swallowed. STRIA_UPDATE_FIXTURES=1 in the
// environment writes back what was played.
#include <ScanCapture.h>

#include <PrintedMessage.h>

#include <AppDefs.h>
#include <InterfaceDefs.h>
#include <Message.h>
#include <StriaProtocol.h>
#include <cuecat_constants.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const int32 kLetterKey = 0x3c;

std::map<std::string, std::string> Fields(std::istringstream& words)
{
	std::map<std::string, std::string> fields;
	std::string word;
	while (words >> word) {
		size_t equals = word.find('=');
		if (equals == std::string::npos)
			throw std::runtime_error("not a field: " + word);
		fields[word.substr(0, equals)] = word.substr(equals + 1);
	}
	return fields;
}

int64 Number(const std::map<std::string, std::string>& fields, const std::string& name,
             int64 fallback)
{
	auto found = fields.find(name);
	return found == fields.end() ? fallback : std::stoll(found->second, nullptr, 0);
}

void MarkSource(BMessage& message, const std::map<std::string, std::string>& fields)
{
	if (!fields.count("source"))
		return;
	message.AddInt32(STRIA_SOURCE_FIELD, (int32)Number(fields, "source", 0));
	const std::string kind = fields.count("kind") ? fields.at("kind") : "keyboard";
	int32 value = kind == "recorded" ? STRIA_SOURCE_RECORDED
	              : kind == "add-on" ? STRIA_SOURCE_ADD_ON
	                                 : STRIA_SOURCE_KEYBOARD;
	if (kind != "keyboard" && kind != "recorded" && kind != "add-on")
		throw std::runtime_error("unknown kind " + kind);
	message.AddInt32(STRIA_SOURCE_KIND_FIELD, value);
}

// A key message the way the input server makes one.
BMessage KeyMessage(uint32 what, const std::map<std::string, std::string>& fields)
{
	BMessage message(what);
	if (fields.count("when"))
		message.AddInt64("when", Number(fields, "when", 0));
	if (fields.count("key"))
		message.AddInt32("key", (int32)Number(fields, "key", 0));
	if (fields.count("modifiers"))
		message.AddInt32("modifiers", (int32)Number(fields, "modifiers", 0));
	if (fields.count("byte")) {
		int8 byte = (int8)Number(fields, "byte", 0);
		message.AddInt8("byte", byte);
		char bytes[2] = {(char)byte, '\0'};
		message.AddString("bytes", bytes);
	}
	if (fields.count("gone"))
		message.AddBool(STRIA_KEYBOARD_GONE_FIELD, true);
	MarkSource(message, fields);
	return message;
}

class Player {
public:
	// Plays one input line; returns the lines of what became of it.
	std::vector<std::string> Play(const std::string& line)
	{
		std::istringstream words(line);
		std::string verb;
		words >> verb;
		std::vector<std::string> out;
		if (verb == "TICK") {
			int64 capture;
			words >> capture;
			BMessage tick(STRIA_CAPTURE_TICK);
			tick.AddInt64(STRIA_CAPTURE_FIELD, capture);
			Render(fCapture.Tick(capture), tick, out);
		} else if (verb == "REPLAY") {
			auto fields = Fields(words);
			Render(fCapture.Replay(Number(fields, "realtime", 0)), BMessage(STRIA_ALTF10_WHAT),
			       out);
		} else if (verb == "QUIET" || verb == "ENDED" || verb == "DROPPED") {
			auto fields = Fields(words);
			BMessage message(verb == "QUIET"   ? STRIA_INPUT_QUIET
			                 : verb == "ENDED" ? STRIA_INPUT_ENDED
			                                   : STRIA_INPUT_DROPPED);
			if (fields.count("when"))
				message.AddInt64("when", Number(fields, "when", 0));
			MarkSource(message, fields);
			Message(message, fields, out);
		} else if (verb == "TYPE")
			Type(line.substr(line.find(' ') + 1), out);
		else {
			static const std::map<std::string, uint32> kinds = {
			        {"KEY_DOWN", B_KEY_DOWN},
			        {"KEY_UP", B_KEY_UP},
			        {"UNMAPPED_KEY_DOWN", B_UNMAPPED_KEY_DOWN},
			        {"UNMAPPED_KEY_UP", B_UNMAPPED_KEY_UP},
			        {"MODIFIERS", B_MODIFIERS_CHANGED},
			        {"MESSAGE", 0}};
			auto kind = kinds.find(verb);
			if (kind == kinds.end())
				throw std::runtime_error("unknown input " + verb);
			auto fields = Fields(words);
			uint32 what = kind->second != 0 ? kind->second
			                                : (uint32)std::stoul(fields.at("what"), nullptr, 16);
			Message(KeyMessage(what, fields), fields, out);
		}
		return out;
	}

private:
	void Message(const BMessage& message, const std::map<std::string, std::string>& fields,
	             std::vector<std::string>& out)
	{
		fNow = Number(fields, "now", Number(fields, "when", fNow));
		Render(fCapture.Message(message, fNow), message, out);
	}

	// TYPE "text" from=T [spacing=S] [source=N] [kind=K]
	void Type(const std::string& rest, std::vector<std::string>& out)
	{
		size_t close = rest.find('"', 1);
		if (rest.empty() || rest[0] != '"' || close == std::string::npos)
			throw std::runtime_error("TYPE wants quoted text: " + rest);
		std::string text;
		for (size_t i = 1; i < close; i++) {
			if (rest[i] == '\\' && i + 1 < close && rest[i + 1] == 'n') {
				text += '\n';
				i++;
			} else
				text += rest[i];
		}
		std::istringstream words(rest.substr(close + 1));
		auto fields = Fields(words);
		bigtime_t when = Number(fields, "from", 0);
		bigtime_t spacing = Number(fields, "spacing", 2000);
		for (char c : text) {
			auto key = fields;
			key["key"] = std::to_string(c == '\n' ? ScanCapture::CAT_TERM_KEY : kLetterKey);
			key["modifiers"] = "0";
			key["when"] = std::to_string(when);
			key["byte"] = std::to_string((uint8)c);
			key.erase("now");
			Message(KeyMessage(B_KEY_DOWN, key), key, out);
			key.erase("byte");
			key["when"] = std::to_string(when + spacing / 2);
			Message(KeyMessage(B_KEY_UP, key), key, out);
			when += spacing;
		}
	}

	static void Render(const ScanCapture::Step& step, const BMessage& input,
	                   std::vector<std::string>& out)
	{
		for (const ScanCapture::TimerRequest& request : step.timer) {
			out.push_back(request.due ? "arm " + std::to_string(request.capture) + " " +
			                                    std::to_string(*request.due)
			                          : "disarm " + std::to_string(request.capture));
		}
		for (const std::string& record : step.records)
			out.push_back("record " + record);
		for (const std::string& notice : step.notices)
			out.push_back("log " + notice);
		if (step.verdict == B_SKIP_MESSAGE) {
			EXPECT_TRUE(step.passOn.empty()) << "a skipped input passes nothing on";
			return;
		}
		if (step.passOn.empty()) {
			out.push_back(stria::PrintedMessage(input));
			return;
		}
		for (const std::unique_ptr<BMessage>& passed : step.passOn)
			out.push_back(stria::PrintedMessage(*passed));
	}

	ScanCapture fCapture;
	bigtime_t fNow = 0;
};

std::vector<std::string> FixtureNames()
{
	std::vector<std::string> names;
	for (const auto& entry :
	     std::filesystem::directory_iterator(std::string(STRIA_FIXTURES_DIR) + "/capture")) {
		if (entry.path().extension() == ".capture")
			names.push_back(entry.path().stem().string());
	}
	std::sort(names.begin(), names.end());
	return names;
}

class ScanCaptureFixture : public ::testing::TestWithParam<std::string> {};

// The fixture as written against the fixture with each input's lines as
// played: a difference shows where the capture went another way.
TEST_P(ScanCaptureFixture, PlaysAsWritten)
{
	std::ifstream file(std::string(STRIA_FIXTURES_DIR) + "/capture/" + GetParam() + ".capture");
	ASSERT_TRUE(file) << GetParam();
	std::string expected;
	std::string played;
	Player player;
	std::string line;
	int inputs = 0;
	while (std::getline(file, line)) {
		expected += line + "\n";
		if (line.rfind("  ", 0) == 0)
			continue;
		played += line + "\n";
		if (line.rfind("> ", 0) != 0)
			continue;
		inputs++;
		for (const std::string& out : player.Play(line.substr(2)))
			played += "  " + out + "\n";
	}
	EXPECT_GT(inputs, 0) << "a fixture without inputs";
	EXPECT_EQ(played, expected);
	// After a change of behaviour: writes what was played, for review
	// with git diff.
	if (getenv("STRIA_UPDATE_FIXTURES") != NULL && played != expected) {
		std::ofstream(std::string(STRIA_FIXTURES_DIR) + "/capture/" + GetParam() + ".capture")
		        << played;
	}
}

INSTANTIATE_TEST_SUITE_P(Capture, ScanCaptureFixture, ::testing::ValuesIn(FixtureNames()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
	                         std::string name = info.param;
	                         std::replace(name.begin(), name.end(), '-', '_');
	                         return name;
                         });

// Records at the length limit: too long for a fixture to spell out.
TEST(ScanCaptureLimits, LongestRecordIsHandedOffWholeAndOneMoreIsDropped)
{
	const struct {
		size_t length;
		bool handedOff;
	} cases[] = {{64, true},
	             {(size_t)MAX_RECORD, true},
	             {(size_t)MAX_RECORD + 1, false},
	             {(size_t)MAX_RECORD + 500, false}};
	for (const auto& c : cases) {
		SCOPED_TRACE(c.length);
		Player player;
		player.Play("KEY_DOWN when=1000 key=11 byte=16 modifiers=0");
		std::string record = "." + std::string(c.length - 1, 'C');
		std::vector<std::string> lines =
		        player.Play("TYPE \"" + record + "\\n\" from=3000 spacing=300");
		std::vector<std::string> outcome;
		for (const std::string& line : lines) {
			if (line.rfind("record ", 0) == 0 || line.rfind("log ", 0) == 0)
				outcome.push_back(line);
		}
		if (c.handedOff)
			EXPECT_EQ(outcome, std::vector<std::string>{"record " + record});
		else {
			EXPECT_EQ(outcome, std::vector<std::string>{
			                           "log scanned record longer than 1023 characters; dropped"});
		}
		// The next scan is taken as usual.
		player.Play("KEY_DOWN when=2000000 key=11 byte=16 modifiers=0");
		lines = player.Play("TYPE \".ab\\n\" from=2002000");
		EXPECT_NE(std::find(lines.begin(), lines.end(), "record .ab"), lines.end());
	}
}

} // namespace
