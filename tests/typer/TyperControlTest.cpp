// The typer's device as a caller in the server's process sees it: the
// settings code changes what its message names, all or nothing, and gives
// the settings back in the message and to the messenger it names.
#include <StriaClock.h>
#include <StriaTyper.h>

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

// Stands still and never waits.
class NoClock : public StriaClock {
public:
	bigtime_t Now() override { return 0; }
	void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, bigtime_t) override {}
	void Sleep(bigtime_t) override {}
};

// "data enter 0 free", "... fixed": the settings a message holds, and
// " (refusal)" when it says why a change was refused.
std::string Fields(const BMessage& message)
{
	const char* type = "-";
	const char* end = "-";
	int64 delay = -1;
	bool freeText = false;
	const char* refusal = NULL;
	message.FindString(STRIA_TYPER_TYPE_FIELD, &type);
	message.FindString(STRIA_TYPER_END_FIELD, &end);
	message.FindInt64(STRIA_TYPER_DELAY_FIELD, &delay);
	const bool hasFreeText = message.FindBool(STRIA_TYPER_FREE_TEXT_FIELD, &freeText) == B_OK;
	std::string fields = std::string(type) + " " + end + " " + std::to_string(delay) + " " +
	                     (!hasFreeText ? "-" : freeText ? "free" : "fixed");
	if (message.FindString(STRIA_TYPER_REFUSAL_FIELD, &refusal) == B_OK)
		fields += std::string(" (") + refusal + ")";
	return fields;
}

TEST(TyperControl, SettingsChangeAllOrNothingAndComeBack)
{
	NoClock clock;
	StriaTyper typer(TyperSettings{}, &clock);
	const struct {
		const char* name;
		const char* type;
		const char* end;
		std::optional<int64> delay;
		std::optional<bool> freeText;
		status_t status;
		const char* after;
	} steps[] = {
	        {"a look", nullptr, nullptr, std::nullopt, std::nullopt, B_OK, "off enter 0 fixed"},
	        {"type", "data", nullptr, std::nullopt, std::nullopt, B_OK, "data enter 0 fixed"},
	        {"end and delay", nullptr, "tab", 300, std::nullopt, B_OK, "data tab 300 fixed"},
	        {"free text", nullptr, nullptr, std::nullopt, true, B_OK, "data tab 300 free"},
	        {"a bad type changes nothing", "digits", "none", 5, false, B_BAD_VALUE,
	         "data tab 300 free (type takes off, data, barcode, isbn10 or label, not "
	         "\"digits\")"},
	        {"a bad delay changes nothing", "label", nullptr, -4, std::nullopt, B_BAD_VALUE,
	         "data tab 300 free (key-delay takes microseconds from 0 to 1000000, not \"-4\")"},
	        {"too long a delay", nullptr, nullptr, 1000001, std::nullopt, B_BAD_VALUE,
	         "data tab 300 free (key-delay takes microseconds from 0 to 1000000, not "
	         "\"1000001\")"},
	        {"all four", "isbn10", "none", 0, false, B_OK, "isbn10 none 0 fixed"},
	};
	for (const auto& step : steps) {
		SCOPED_TRACE(step.name);
		BMessage request(STRIA_TYPER_SETTINGS);
		if (step.type)
			request.AddString(STRIA_TYPER_TYPE_FIELD, step.type);
		if (step.end)
			request.AddString(STRIA_TYPER_END_FIELD, step.end);
		if (step.delay)
			request.AddInt64(STRIA_TYPER_DELAY_FIELD, *step.delay);
		if (step.freeText)
			request.AddBool(STRIA_TYPER_FREE_TEXT_FIELD, *step.freeText);
		EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_TYPER_SETTINGS, &request),
		          step.status);
		EXPECT_EQ(Fields(request), step.after);
	}
	EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_SUBSCRIBE, NULL), B_BAD_VALUE);

	// A field of the wrong type is refused, not passed over.
	const struct {
		const char* name;
		BMessage request;
	} wrongTypes[] = {
	        {"type as an int32", [] {
		         BMessage request(STRIA_TYPER_SETTINGS);
		         request.AddInt32(STRIA_TYPER_TYPE_FIELD, 1);
		         return request;
	         }()},
	        {"free-text as a string", [] {
		         BMessage request(STRIA_TYPER_SETTINGS);
		         request.AddString(STRIA_TYPER_FREE_TEXT_FIELD, "yes");
		         return request;
	         }()},
	        {"layout as an int32", [] {
		         BMessage request(STRIA_TYPER_SETTINGS);
		         request.AddInt32(STRIA_TYPER_LAYOUT_FIELD, 1);
		         return request;
	         }()},
	        {"key-delay as an int32", [] {
		         BMessage request(STRIA_TYPER_SETTINGS);
		         request.AddInt32(STRIA_TYPER_DELAY_FIELD, 5);
		         return request;
	         }()},
	};
	for (const auto& wrong : wrongTypes) {
		SCOPED_TRACE(wrong.name);
		BMessage request(wrong.request);
		EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_TYPER_SETTINGS, &request),
		          B_BAD_VALUE);
		EXPECT_EQ(Fields(request).substr(0, 19), "isbn10 none 0 fixed");
	}
}

class AnswerLooper : public BLooper {
public:
	void MessageReceived(BMessage* message) override
	{
		std::lock_guard lock(fLock);
		fAnswers.push_back(message->what == STRIA_TYPER_SETTINGS ? Fields(*message) : "other");
		fCame.notify_all();
	}
	std::vector<std::string> WaitFor(size_t count)
	{
		std::unique_lock lock(fLock);
		fCame.wait(lock, [&] { return fAnswers.size() >= count; });
		return fAnswers;
	}

private:
	std::mutex fLock;
	std::condition_variable fCame;
	std::vector<std::string> fAnswers;
};

TEST(TyperControl, AnswerGoesToTheMessengerOfTheRequest)
{
	NoClock clock;
	StriaTyper typer(
	        TyperSettings{
	                .type = TypedKind::Label, .end = EndKey::Tab, .keyDelay = 7, .freeText = true},
	        &clock);
	AnswerLooper* looper = new AnswerLooper();
	looper->Run();

	BMessage look(STRIA_TYPER_SETTINGS);
	look.AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(looper));
	EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_TYPER_SETTINGS, &look), B_OK);
	BMessage refused(STRIA_TYPER_SETTINGS);
	refused.AddString(STRIA_TYPER_END_FIELD, "space");
	refused.AddMessenger(STRIA_MESSENGER_FIELD, BMessenger(looper));
	EXPECT_EQ(typer.Control("Stria Typer", NULL, STRIA_TYPER_SETTINGS, &refused), B_BAD_VALUE);

	EXPECT_EQ(looper->WaitFor(2),
	          (std::vector<std::string>{"label tab 7 free",
	                                    "label tab 7 free (end takes enter, tab or none, not "
	                                    "\"space\")"}));
	if (looper->Lock())
		looper->Quit();
}

} // namespace
