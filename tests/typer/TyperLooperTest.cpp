// The typer's looper as the filter's scans reach it: what the scan message
// says of a code decides whether it is typed.
#include <StriaClock.h>
#include <TyperLooper.h>
#include <Typist.h>

#include <AppDefs.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace {

// Stands still and never waits: every code is typed at once.
class NoClock : public StriaClock {
public:
	bigtime_t Now() override { return 0; }
	void WaitUntil(std::unique_lock<std::mutex>&, std::condition_variable&, bigtime_t) override {}
};

// The bytes of the key-downs typed, and the log lines.
class Typed {
public:
	Typist::Sink Sink()
	{
		return [this](std::vector<std::unique_ptr<BMessage>> messages) {
			std::lock_guard lock(fLock);
			for (const std::unique_ptr<BMessage>& message : messages) {
				const char* bytes = NULL;
				if (message->what == B_KEY_DOWN && message->FindString("bytes", &bytes) == B_OK)
					fText += bytes;
			}
			fChanged.notify_all();
			return true;
		};
	}
	Typist::Logger Log()
	{
		return [this](const std::string& line) {
			std::lock_guard lock(fLock);
			fLog.push_back(line);
			fChanged.notify_all();
		};
	}
	// Waits (boundedly) until the text ends with end.
	std::string WaitForText(const std::string& end)
	{
		std::unique_lock lock(fLock);
		fChanged.wait_for(lock, std::chrono::seconds(20), [&] { return fText.ends_with(end); });
		return fText;
	}
	std::vector<std::string> LogLines()
	{
		std::lock_guard lock(fLock);
		return fLog;
	}

private:
	std::mutex fLock;
	std::condition_variable fChanged;
	std::string fText;
	std::vector<std::string> fLog;
};

BMessage Scan(const char* barcode, std::optional<bool> checkFailed)
{
	BMessage scan(STRIA_CATSCAN);
	scan.AddString(STRIA_BARCODE_FIELD, barcode);
	if (checkFailed)
		scan.AddBool(STRIA_CHECK_FAILED_FIELD, *checkFailed);
	return scan;
}

TEST(TyperLooper, ACodeWhoseCheckDigitFailedIsNeverTyped)
{
	NoClock clock;
	Typed typed;
	Typist typist(typed.Sink(), typed.Log(), &clock, {TypedKind::Data, EndKey::Tab, 0, true});
	TyperLooper* looper = new TyperLooper(&typist);
	looper->Run();
	const BMessenger messenger(looper);
	const struct {
		const char* barcode;
		std::optional<bool> checkFailed;
	} scans[] = {
	        {"UPA 11", true}, {"UPA 22", std::nullopt}, {"UPA 33", false},
	        {"128 44", true}, {"UPA 55", std::nullopt},
	};
	for (const auto& scan : scans) {
		BMessage message = Scan(scan.barcode, scan.checkFailed);
		ASSERT_EQ(messenger.SendMessage(&message), B_OK);
	}
	EXPECT_EQ(typed.WaitForText("55\t"), "22\t33\t55\t");
	EXPECT_EQ(typed.LogLines(),
	          (std::vector<std::string>{"scan not typed: its check digit is wrong: UPA 11",
	                                    "scan not typed: its check digit is wrong: 128 44"}));
	if (looper->Lock())
		looper->Quit();
}

} // namespace
