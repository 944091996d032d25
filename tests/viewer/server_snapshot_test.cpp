// stria-input-server --snapshot, as a black box: scans replayed through the
// real add-ons end up in a picture of the viewer window.
#include "../platform/interface/HeadlessEnvironment.h"
#include "../platform/interface/PngImage.h"
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <fstream>
#include <stdio.h>
#include <string>
#include <unistd.h>

using stria::test::ServerProcess;

namespace {

const uint32_t kSelected = Rgb(51, 102, 187);

class ServerSnapshotTest : public testing::Test {
protected:
	void TearDown() override
	{
		remove(picture.c_str());
		remove(script.c_str());
	}
	void WriteScript(const std::string& text) { std::ofstream(script) << text; }
	ServerProcess Run(const std::vector<std::string>& extra)
	{
		std::vector<std::string> arguments = {"--replay", script, "--fast", "--control-socket",
		                                      socket};
		arguments.insert(arguments.end(), extra.begin(), extra.end());
		return ServerProcess(STRIA_INPUT_SERVER, arguments);
	}

	std::string base = testing::TempDir() + "viewer_server_" + std::to_string(getpid());
	std::string picture = base + ".png";
	std::string script = base + ".replay";
	std::string socket = base + ".sock";
};

TEST_F(ServerSnapshotTest, ThePictureShowsEveryScanNewestFirstAndSelected)
{
	std::ifstream session(STRIA_FIXTURES_DIR "/server/session.replay");
	ASSERT_TRUE(session.good());
	WriteScript(std::string(std::istreambuf_iterator<char>(session), {}));
	ServerProcess server = Run({"--snapshot", picture});
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	EXPECT_NE(server.Errors().find("snapshot of the viewer window written to " + picture),
	          std::string::npos)
	        << server.Errors();

	PngImage image(picture);
	ASSERT_TRUE(image.IsValid());
	EXPECT_EQ(image.Width(), 501);
	EXPECT_EQ(image.Height(), 301);
	// The session scans four codes: four rows of text, the newest on top
	// and highlighted, nothing below them.
	int band = 0;
	while (band < 60 && image.Pixel(1, band) == kSelected)
		band++;
	ASSERT_GT(band, 10) << "the first row is highlighted";
	EXPECT_GT(image.CountLight(0, 0, 280, band - 1), 20);
	for (int row = 1; row < 4; row++)
		EXPECT_GT(image.CountDark(0, row * band, 280, (row + 1) * band - 1), 40) << row;
	EXPECT_EQ(image.CountDark(0, 4 * band, 280, 300), 0);
	EXPECT_GT(image.CountDark(305, 0, 495, 2 * band), 40) << "the tab with its label and text";
}

TEST_F(ServerSnapshotTest, WithoutAScanThereIsNoWindowAndNoPicture)
{
	WriteScript("0 type no scan here\n");
	ServerProcess server = Run({"--snapshot", picture});
	ASSERT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	EXPECT_NE(server.Errors().find("no viewer window"), std::string::npos) << server.Errors();
	EXPECT_NE(access(picture.c_str(), F_OK), 0) << "no file is written";
}

struct BadSnapshotCase {
	std::vector<std::string> arguments;
	const char* message;
};

TEST_F(ServerSnapshotTest, ASnapshotThatCannotBeWrittenIsAUsageError)
{
	WriteScript("0 scan .C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.\n");
	const BadSnapshotCase cases[] = {
	        {{"--snapshot"}, "--snapshot needs a file name"},
	        {{"--snapshot="}, "--snapshot needs a file name"},
	        {{"--snapshot", "/nonexistent-folder/x.png"},
	         "the folder /nonexistent-folder does not"},
	        {{"--snapshot", testing::TempDir()}, "it is a folder, not a file for a PNG picture"},
	        {{"--snapshot", "/dev/full"}, "it is a device"},
	        {{"--snapshot", "/proc/stria.png"}, "cannot create a file in /proc"},
	        {{"--snapshot", picture, "--snapshot", picture}, "--snapshot is given twice"},
	};
	for (const BadSnapshotCase& c : cases) {
		SCOPED_TRACE(c.message);
		ServerProcess server = Run(c.arguments);
		EXPECT_EQ(server.Wait(std::chrono::seconds(60)), 2);
		EXPECT_NE(server.Errors().find(c.message), std::string::npos) << server.Errors();
		EXPECT_EQ(server.Errors().find("add-ons from"), std::string::npos)
		        << "refused before anything runs";
	}
}

} // namespace
