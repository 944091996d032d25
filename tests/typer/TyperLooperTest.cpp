// The typer's looper as the filter's scans reach it: what the scan message
// says of a code decides whether it is typed; and what another process
// sends it is refused.
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
#include <cstdio>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

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

// A typist that types each code's data and a Tab, behind a running looper.
class TypingLooper : public testing::Test {
protected:
	TypingLooper()
	    : typist(typed.Sink(), typed.Log(), &clock,
	             {.type = TypedKind::Data, .end = EndKey::Tab, .keyDelay = 0, .freeText = true}),
	      looper(new TyperLooper(&typist, typed.Log()))
	{
		looper->Run();
		messenger = BMessenger(looper);
	}

	NoClock clock;
	Typed typed;
	Typist typist;
	TyperLooper* looper;
	BMessenger messenger;
};

TEST_F(TypingLooper, ACodeWhoseCheckDigitFailedIsNeverTyped)
{
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

// Runs scan_sender against messenger; its pid and exit status.
std::pair<pid_t, int> SendFromAnotherProcess(const BMessenger& messenger)
{
	std::vector<char> bytes(size_t(messenger.FlattenedSize()));
	if (messenger.Flatten(bytes.data(), ssize_t(bytes.size())) != B_OK)
		return {-1, -1};
	std::string hex;
	char digits[3];
	for (char byte : bytes) {
		snprintf(digits, sizeof(digits), "%02x", unsigned(uint8(byte)));
		hex += digits;
	}
	std::string program = STRIA_BINARY_DIR "/bin/scan_sender";
	char* argv[] = {program.data(), hex.data(), nullptr};
	pid_t pid = -1;
	if (posix_spawn(&pid, program.c_str(), NULL, NULL, argv, environ) != 0)
		return {-1, -1};
	int status = 0;
	waitpid(pid, &status, 0);
	return {pid, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(TypingLooper, WhatAnotherProcessSendsIsRefusedAndLoggedOnce)
{

	// Two scans and a quit request, all three sent.
	const auto [sender, status] = SendFromAnotherProcess(messenger);
	ASSERT_EQ(status, 0);
	for (int i = 0; i < 20000 && looper->CountRefused() < 3; i++)
		std::this_thread::sleep_for(std::chrono::milliseconds(1));
	EXPECT_EQ(looper->CountRefused(), 3);
	// Still there, and typing what the filter sends.
	EXPECT_TRUE(messenger.IsValid());
	BMessage scan = Scan("UPA 5", std::nullopt);
	ASSERT_EQ(messenger.SendMessage(&scan), B_OK);
	EXPECT_EQ(typed.WaitForText("5\t"), "5\t");

	if (looper->Lock())
		looper->Quit();
	EXPECT_EQ(typed.LogLines(),
	          (std::vector<std::string>{
	                  "refused a message from another process (pid " + std::to_string(sender) +
	                          "): only the filter of this server gives the typer scans (more are "
	                          "counted)",
	                  "2 more messages were refused for coming from another process"}));
}

} // namespace
