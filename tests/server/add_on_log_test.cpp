// The add-ons' lines in the server's log: the server's name in front, the
// add-on's name after it, and stderr again once the server's log is gone.
#include "AddOnLog.h"
#include "LineOutput.h"

#include <StriaLog.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace stria {
namespace {

std::string Contents(std::FILE* file)
{
	std::fflush(file);
	std::rewind(file);
	std::string text;
	char buffer[256];
	while (size_t read = std::fread(buffer, 1, sizeof(buffer), file))
		text.append(buffer, read);
	return text;
}

TEST(AddOnLog, AddOnLinesGoToTheServersLogUnderBothNames)
{
	std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
	ASSERT_NE(file, nullptr);
	LineOutput log(file.get(), "stria-input-server: ");
	{
		AddOnLog addOnLog(log);
		testing::internal::CaptureStderr();
		Log("StriaFilter", "%d scans wait for the viewer window already", 1000);
		Log("StriaTyper", "settings now: %s", "type = data");
		log.Write("stopping on SIGTERM");
		EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "nothing bypasses the log";
	}
	EXPECT_EQ(Contents(file.get()),
	          "stria-input-server: StriaFilter: 1000 scans wait for the viewer window already\n"
	          "stria-input-server: StriaTyper: settings now: type = data\n"
	          "stria-input-server: stopping on SIGTERM\n");

	// Gone with the server's log, so a late line cannot reach a closed one.
	testing::internal::CaptureStderr();
	Log("StriaDevice", "late");
	EXPECT_EQ(testing::internal::GetCapturedStderr(), "StriaDevice: late\n");
}

} // namespace
} // namespace stria
