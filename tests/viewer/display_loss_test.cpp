// stria-input-server when its X server goes away and comes back: a scanner
// on a FIFO of input events, the typer on, a private Xvfb killed under the
// running server and started again on the same display. Each step waits for
// what the server printed or showed before the next.
#include <gtest/gtest.h>

#include "../barcode/record_encoder.h"
#include "EventFile.h"
#include "FixtureSessions.h"
#include "ServerProcess.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

// Xlib's macros (None, Bool, ...) after every other header.
#include "XvfbDisplay.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using stria::EventFile;
using stria::EventRecord;
using stria::test::kBooklandRecord;
using stria::test::kUpcARecord;
using stria::test::Lines;
using stria::test::ServerProcess;
using stria::test::SessionBuilder;

namespace {

// Generous: the server and Xvfb share the machine with other tests.
bool Eventually(const std::function<bool()>& check)
{
	for (int i = 0; i < 3000; i++) {
		if (check())
			return true;
		std::this_thread::sleep_for(20ms);
	}
	return false;
}

size_t CountContaining(const std::string& text, const std::string& part)
{
	size_t count = 0;
	for (const std::string& line : Lines(text))
		count += line.find(part) != std::string::npos;
	return count;
}

// The subscriber's lines.
std::vector<std::string> Scans(const std::string& output)
{
	std::vector<std::string> scans;
	for (const std::string& line : Lines(output)) {
		if (line.starts_with("CATSCAN ") || line == "SHUTDOWN")
			scans.push_back(line);
	}
	return scans;
}

// The bytes of the keys typed for applications (the typer's, here).
std::string TypedBytes(const std::string& output)
{
	std::string typed;
	for (const std::string& line : Lines(output)) {
		const size_t byte = line.find(" byte=");
		if (line.starts_with("KEY_DOWN ") && byte != std::string::npos)
			typed += static_cast<char>(std::stoi(line.substr(byte + 6)));
	}
	return typed;
}

class DisplayLossTest : public testing::Test {
protected:
	void SetUp() override
	{
		std::string reason;
		if (!fX.Start(&reason))
			GTEST_SKIP() << "no X server for the test: " << reason;
		char pattern[] = "/tmp/stria-display-loss-XXXXXX";
		ASSERT_NE(::mkdtemp(pattern), nullptr);
		fFolder = pattern;
		fs::create_directories(fFolder + "/config/stria");
		std::ofstream(fFolder + "/config/stria/typer.settings") << "type = data\nfree-text = yes\n";
		ASSERT_EQ(::mkfifo(Path("scanner.fifo").c_str(), 0600), 0);
	}

	void TearDown() override
	{
		if (fScanner >= 0)
			::close(fScanner);
		fServer.reset();
		if (!fFolder.empty())
			fs::remove_all(fFolder);
	}

	std::string Path(const std::string& name) const { return fFolder + "/" + name; }

	// The server, with DISPLAY and XDG_CONFIG_HOME of its own.
	void StartServer(const std::string& display)
	{
		setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
		display.empty() ? unsetenv("DISPLAY") : setenv("DISPLAY", display.c_str(), 1);
		fServer = std::make_unique<ServerProcess>(
		        STRIA_INPUT_SERVER,
		        std::vector<std::string>{"--device", Path("scanner.fifo"), "--print", "--subscribe",
		                                 "--add-ons", STRIA_BINARY_DIR "/add-ons",
		                                 "--control-socket", Path("control")});
		unsetenv("DISPLAY");
		unsetenv("XDG_CONFIG_HOME");
		ASSERT_TRUE(Eventually([&] {
			fScanner = ::open(Path("scanner.fifo").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
			return fScanner >= 0;
		})) << fServer->Errors();
	}

	void Scan(const std::string& record)
	{
		const std::vector<EventRecord> records =
		        SessionBuilder("scan", fClock).Scan(record, "").Build().records;
		fClock = *records.back().When() + 1000000;
		const std::vector<uint8> bytes = EventFile::Encode(records);
		ASSERT_EQ(::write(fScanner, bytes.data(), bytes.size()), (ssize_t)bytes.size());
	}

	bool WaitForScans(size_t count)
	{
		return Eventually([&] { return Scans(fServer->Output()).size() >= count; });
	}

	// Closes the scanner's FIFO: the server ends with its input.
	std::optional<int> Finish()
	{
		::close(fScanner);
		fScanner = -1;
		return fServer->Wait(120s);
	}

	XvfbDisplay fX;
	std::string fFolder;
	std::unique_ptr<ServerProcess> fServer;
	int fScanner = -1;
	bigtime_t fClock = 1700000000000000;
};

TEST_F(DisplayLossTest, ScansGoOnWithoutTheXServerAndAWindowComesBackWithIt)
{
	StartServer(fX.Name());
	Scan(kBooklandRecord);
	ASSERT_TRUE(Eventually([&] { return fX.FindWindow("Stria") != 0; }))
	        << "the viewer window on the first display; " << fServer->Errors();

	fX.Kill();
	ASSERT_TRUE(Eventually([&] {
		return fServer->Errors().find("lost the X display") != std::string::npos;
	})) << fServer->Errors();
	Scan(kUpcARecord);
	ASSERT_TRUE(Eventually([&] {
		return fServer->Errors().find("cannot open X display") != std::string::npos;
	})) << "the window tried the display again for the new row; "
	    << fServer->Errors();
	Scan(make_record("128", "after-the-display"));
	EXPECT_TRUE(WaitForScans(3)) << "the server went on without a display; " << fServer->Errors();

	// A display again on the same number: the next scan shows the window.
	std::string reason;
	ASSERT_TRUE(fX.Start(&reason, fX.Number())) << reason;
	Scan(kBooklandRecord);
	EXPECT_TRUE(Eventually([&] { return fX.FindWindow("Stria") != 0; }))
	        << "the viewer window on the new display; " << fServer->Errors();
	EXPECT_TRUE(WaitForScans(4));

	EXPECT_EQ(Finish(), std::optional<int>(0)) << fServer->Errors();
	const std::string errors = fServer->Errors();
	EXPECT_EQ(Scans(fServer->Output()),
	          (std::vector<std::string>{"CATSCAN IBN 9780201889543", "CATSCAN UPA 059280201638",
	                                    "CATSCAN 128 after-the-display",
	                                    "CATSCAN IBN 9780201889543", "SHUTDOWN"}))
	        << errors;
	EXPECT_EQ(TypedBytes(fServer->Output()),
	          "9780201889543\n059280201638\nafter-the-display\n9780201889543\n")
	        << "the typer typed every scan, with and without a display";
	EXPECT_EQ(CountContaining(errors, "lost the X display"), 1u) << errors;
	EXPECT_EQ(CountContaining(errors, "cannot open X display"), 1u)
	        << "said once while the display was away; " << errors;
	EXPECT_EQ(CountContaining(errors, "opened; windows are shown again"), 1u) << errors;
}

// Without DISPLAY one line says so as the server starts; with one, nothing
// is said about it.
TEST_F(DisplayLossTest, TheStartSaysOnceWhenScansCannotBeShown)
{
	const struct {
		std::string display;
		size_t lines;
	} cases[] = {{"", 1}, {fX.Name(), 0}};
	for (const auto& c : cases) {
		SCOPED_TRACE("DISPLAY=" + c.display);
		StartServer(c.display);
		Scan(kBooklandRecord);
		EXPECT_TRUE(WaitForScans(1)) << fServer->Errors();
		EXPECT_EQ(Finish(), std::optional<int>(0)) << fServer->Errors();
		EXPECT_EQ(CountContaining(fServer->Errors(), "scans are not shown in a window"), c.lines)
		        << fServer->Errors();
		EXPECT_EQ(CountContaining(fServer->Errors(), "DISPLAY is not set"), c.lines);
	}
}

} // namespace
