// The viewer window on a real X server (Xvfb): it appears with its title,
// frame, window manager hints and rows; clicks and keys select rows; the
// window manager's close request quits it; resizing reaches the views.
#include <gtest/gtest.h>

#include <code_text.h>

#include "../platform/interface/PngImage.h"
#include "ServerProcess.h"

#include <fstream>

// Xlib's macros (None, Bool, ...) after every other header.
#include "XvfbDisplay.h"
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <memory>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

const uint32_t kSelected = Rgb(51, 102, 187);

void Sleep(int milliseconds)
{
	struct timespec pause = {milliseconds / 1000, (milliseconds % 1000) * 1000000L};
	nanosleep(&pause, NULL);
}

// The helper program with the viewer window, driven line by line.
class Helper {
public:
	Helper(const std::string& display)
	{
		int in[2], out[2];
		if (pipe(in) != 0 || pipe(out) != 0)
			return;
		fPid = fork();
		if (fPid == 0) {
			dup2(in[0], 0);
			dup2(out[1], 1);
			close(in[1]);
			close(out[0]);
			setenv("DISPLAY", display.c_str(), 1);
			execl(VIEWER_DISPLAY_HELPER, VIEWER_DISPLAY_HELPER, (char*)NULL);
			_exit(127);
		}
		close(in[0]);
		close(out[1]);
		fIn = fdopen(in[1], "w");
		fOut = fdopen(out[0], "r");
	}
	~Helper()
	{
		if (fIn != NULL) {
			fputs("quit\n", fIn);
			fclose(fIn);
		}
		int status;
		for (int i = 0; i < 100 && waitpid(fPid, &status, WNOHANG) == 0; i++)
			Sleep(50);
		if (waitpid(fPid, &status, WNOHANG) == 0) {
			kill(fPid, SIGKILL);
			waitpid(fPid, &status, 0);
		}
		if (fOut != NULL)
			fclose(fOut);
	}
	std::string Ask(const std::string& command)
	{
		fprintf(fIn, "%s\n", command.c_str());
		fflush(fIn);
		char line[1024];
		if (fgets(line, sizeof(line), fOut) == NULL)
			return "";
		std::string answer(line);
		if (!answer.empty() && answer.back() == '\n')
			answer.pop_back();
		return answer;
	}

private:
	pid_t fPid = -1;
	FILE* fIn = NULL;
	FILE* fOut = NULL;
};

bool Eventually(const std::function<bool()>& check)
{
	for (int i = 0; i < 200; i++) {
		if (check())
			return true;
		Sleep(25);
	}
	return false;
}

class StriaDisplayTest : public testing::Test {
protected:
	static void SetUpTestSuite()
	{
		sDisplay = new XvfbDisplay;
		if (!sDisplay->Start(&sReason)) {
			delete sDisplay;
			sDisplay = NULL;
		}
	}
	static void TearDownTestSuite()
	{
		delete sDisplay;
		sDisplay = NULL;
	}
	void SetUp() override
	{
		if (sDisplay == NULL)
			GTEST_SKIP() << "no X server for the on-screen tests: " << sReason;
		// Every file a test writes goes into a folder of its own, removed
		// afterwards whatever the outcome.
		std::string pattern = testing::TempDir() + "stria-display-XXXXXX";
		ASSERT_NE(mkdtemp(pattern.data()), nullptr);
		folder = pattern;
		path = folder + "/screen.png";
		helper = std::make_unique<Helper>(sDisplay->Name());
	}
	void TearDown() override
	{
		helper.reset();
		if (!folder.empty())
			std::filesystem::remove_all(folder);
	}

	// Waits for the window on the screen and for its first row to be drawn
	// highlighted; returns the window.
	Window ShowCodes(const std::vector<std::string>& codes)
	{
		for (const std::string& code : codes)
			EXPECT_EQ(helper->Ask("add " + code), "added 0");
		Window window = 0;
		EXPECT_TRUE(Eventually([&] {
			window = sDisplay->FindWindow("Stria");
			if (window == 0)
				return false;
			std::unique_ptr<PngImage> screen = Screen();
			return screen->Pixel(110, 102) == kSelected;
		})) << "the window appears with its newest row selected";
		return window;
	}
	std::unique_ptr<PngImage> Screen()
	{
		EXPECT_TRUE(sDisplay->Screenshot(path));
		return std::make_unique<PngImage>(path);
	}
	// The height of a row, from the highlighted band of the selected one.
	int SelectedBand(const PngImage& screen, int* top)
	{
		int first = -1, last = -1;
		for (int y = 100; y < 400; y++) {
			if (screen.Pixel(110, y) == kSelected) {
				if (first < 0)
					first = y;
				last = y;
			}
		}
		*top = first;
		return first < 0 ? 0 : last - first + 1;
	}

	static XvfbDisplay* sDisplay;
	static std::string sReason;
	std::unique_ptr<Helper> helper;
	std::string folder;
	std::string path; // the screen's picture
};

XvfbDisplay* StriaDisplayTest::sDisplay = NULL;
std::string StriaDisplayTest::sReason;

TEST_F(StriaDisplayTest, TheWindowAppearsWithItsTitleFrameHintsAndRows)
{
	Window window = ShowCodes({"UPA 012000003455", "C39 SECOND", "IBN 9780201889543"});
	ASSERT_NE(window, 0u);
	Display* display = sDisplay->Connection();

	XWindowAttributes attributes;
	ASSERT_TRUE(XGetWindowAttributes(display, window, &attributes));
	EXPECT_EQ(attributes.x, 100);
	EXPECT_EQ(attributes.y, 100);
	EXPECT_EQ(attributes.width, 501);
	EXPECT_EQ(attributes.height, 301);

	// No close box and no zoom box; still movable, resizable, minimizable.
	Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
	Atom type;
	int format;
	unsigned long count, after;
	unsigned char* data = NULL;
	ASSERT_EQ(XGetWindowProperty(display, window, motif, 0, 5, False, motif, &type, &format, &count,
	                             &after, &data),
	          Success);
	ASSERT_EQ(count, 5u);
	long* hints = (long*)data;
	long functions = hints[1], decorations = hints[2];
	XFree(data);
	EXPECT_EQ(functions & 32, 0) << "close";
	EXPECT_EQ(functions & 16, 0) << "maximize";
	EXPECT_NE(functions & 8, 0) << "minimize";
	EXPECT_NE(functions & 4, 0) << "move";
	EXPECT_NE(functions & 2, 0) << "resize";
	EXPECT_EQ(decorations & 64, 0) << "no maximize button";
	EXPECT_NE(decorations & 8, 0) << "a title bar";

	Atom* protocols = NULL;
	int protocolCount = 0;
	ASSERT_TRUE(XGetWMProtocols(display, window, &protocols, &protocolCount));
	Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
	bool asksToClose = false;
	for (int i = 0; i < protocolCount; i++)
		asksToClose |= protocols[i] == deleteWindow;
	XFree(protocols);
	EXPECT_TRUE(asksToClose);

	std::unique_ptr<PngImage> screen = Screen();
	int top;
	int band = SelectedBand(*screen, &top);
	EXPECT_EQ(top, 100);
	ASSERT_GT(band, 10);
	EXPECT_GT(screen->CountLight(100, 100, 380, 100 + band - 1), 20) << "newest row's text";
	for (int row = 1; row <= 2; row++) {
		int y = 100 + row * band;
		EXPECT_GT(screen->CountDark(100, y, 380, y + band - 1), 40) << "row " << row;
	}
	EXPECT_EQ(screen->CountDark(100, 100 + 3 * band, 380, 100 + 4 * band - 1), 0);
	EXPECT_GT(screen->CountDark(405, 100, 600, 100 + band + 5), 20) << "the tab's label";
	EXPECT_EQ(screen->Pixel(50, 50), 0u) << "outside the window: the empty screen";
}

TEST_F(StriaDisplayTest, AClickOnRowOneChangesTheTabsText)
{
	ShowCodes({"UPA 012000003455", "C39 NEWEST"});
	EXPECT_EQ(helper->Ask("selection"), "selection 0 " + code_label("C39 NEWEST"));
	std::unique_ptr<PngImage> before = Screen();
	int top;
	int band = SelectedBand(*before, &top);
	ASSERT_GT(band, 10);

	sDisplay->Click(150, 100 + band + band / 2);
	std::string expected = "selection 1 " + code_label("UPA 012000003455");
	EXPECT_TRUE(Eventually([&] { return helper->Ask("selection") == expected; }))
	        << helper->Ask("selection");
	EXPECT_TRUE(Eventually([&] {
		std::unique_ptr<PngImage> after = Screen();
		return after->Pixel(110, 100 + band + 2) == kSelected &&
		       after->Pixel(110, 102) != kSelected;
	})) << "the highlight moved on the screen";

	// The tab's text area shows the longer UPC-A label now.
	std::unique_ptr<PngImage> after = Screen();
	int inkBefore = before->CountDark(405, 100 + band + 5, 595, 100 + 3 * band);
	int inkAfter = after->CountDark(405, 100 + band + 5, 595, 100 + 3 * band);
	EXPECT_GT(inkAfter, inkBefore + 40);
}

TEST_F(StriaDisplayTest, ArrowKeysMoveTheSelection)
{
	if (!sDisplay->HasXTest())
		GTEST_SKIP() << "the X server has no XTEST extension to type with";
	ShowCodes({"C39 C", "C39 B", "C39 A"});
	int top;
	std::unique_ptr<PngImage> screen = Screen();
	int band = SelectedBand(*screen, &top);
	sDisplay->Click(150, 100 + band / 2);
	sDisplay->PressKey(XK_Down);
	sDisplay->PressKey(XK_Down);
	EXPECT_TRUE(Eventually([&] { return helper->Ask("selection").rfind("selection 2 ", 0) == 0; }))
	        << helper->Ask("selection");
	sDisplay->PressKey(XK_Up);
	EXPECT_TRUE(Eventually([&] { return helper->Ask("selection").rfind("selection 1 ", 0) == 0; }))
	        << helper->Ask("selection");
}

TEST_F(StriaDisplayTest, TheWheelScrollsTheListAndExposedPartsAreRedrawn)
{
	if (!sDisplay->HasXTest())
		GTEST_SKIP() << "the X server has no XTEST extension for the wheel";
	std::vector<std::string> codes;
	for (int i = 0; i < 40; i++)
		codes.push_back("C39 ROW" + std::to_string(i));
	Window window = ShowCodes(codes);
	ASSERT_NE(window, 0u);
	EXPECT_EQ(helper->Ask("scroll"), "scroll 0");
	sDisplay->Wheel(200, 250, true);
	EXPECT_TRUE(Eventually([&] { return helper->Ask("scroll") != "scroll 0"; }));
	EXPECT_TRUE(Eventually([&] { return Screen()->Pixel(110, 102) != kSelected; }))
	        << "the selected first row scrolled out of sight";
	sDisplay->Wheel(200, 250, false);
	EXPECT_TRUE(Eventually([&] { return helper->Ask("scroll") == "scroll 0"; }));

	// Cleared by the X server, the window draws itself again.
	EXPECT_TRUE(Eventually([&] { return Screen()->Pixel(110, 102) == kSelected; }));
	XClearArea(sDisplay->Connection(), window, 0, 0, 0, 0, True);
	XSync(sDisplay->Connection(), False);
	EXPECT_TRUE(Eventually([&] { return Screen()->Pixel(110, 102) == kSelected; }));
}

TEST_F(StriaDisplayTest, TheWindowManagersCloseRequestQuitsTheWindow)
{
	Window window = ShowCodes({"C39 FIRST"});
	ASSERT_NE(window, 0u);
	Display* display = sDisplay->Connection();
	XEvent event;
	memset(&event, 0, sizeof(event));
	event.xclient.type = ClientMessage;
	event.xclient.window = window;
	event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
	event.xclient.format = 32;
	event.xclient.data.l[0] = XInternAtom(display, "WM_DELETE_WINDOW", False);
	event.xclient.data.l[1] = CurrentTime;
	XSendEvent(display, window, False, NoEventMask, &event);
	XSync(display, False);

	EXPECT_TRUE(Eventually([&] { return helper->Ask("windows") == "windows 0"; }));
	EXPECT_TRUE(Eventually([&] { return sDisplay->FindWindow("Stria") == 0; }));

	// The next scan makes a new window, holding only that scan.
	ShowCodes({"C39 AGAIN"});
	EXPECT_EQ(helper->Ask("selection"), "selection 0 " + code_label("C39 AGAIN"));
	EXPECT_EQ(helper->Ask("windows"), "windows 1");
}

TEST_F(StriaDisplayTest, ResizingTheWindowResizesItsViews)
{
	Window window = ShowCodes({"C39 WIDE"});
	ASSERT_NE(window, 0u);
	XResizeWindow(sDisplay->Connection(), window, 701, 401);
	XSync(sDisplay->Connection(), False);
	EXPECT_TRUE(Eventually([&] { return helper->Ask("frame") == "frame 100 100 800 500"; }))
	        << helper->Ask("frame");

	std::string picture = folder + "/resized.png";
	ASSERT_EQ(helper->Ask("snapshot " + picture), "snapshot 0");
	PngImage image(picture);
	ASSERT_TRUE(image.IsValid());
	EXPECT_EQ(image.Width(), 701);
	EXPECT_EQ(image.Height(), 401);
	// Both the list and the code view follow all sides: the code view keeps
	// its left edge and grows to the new right edge, over the list's growth.
	EXPECT_EQ(image.Pixel(10, 3), kSelected);
	EXPECT_EQ(image.Pixel(690, 390), Rgb(216, 216, 216)) << "the code view reaches the corner";
	EXPECT_EQ(image.CountColor(0, 30, 290, 395, Rgb(255, 255, 255)), 291 * 366)
	        << "the list below its row stays white";
	EXPECT_TRUE(Eventually([&] { return Screen()->Pixel(790, 490) == Rgb(216, 216, 216); }))
	        << "and the screen shows it";
}

} // namespace

#ifdef STRIA_INPUT_SERVER
namespace {

TEST_F(StriaDisplayTest, TheServerShowsItsScansOnScreenAndAClickChangesTheTab)
{
	std::string base = folder + "/server";
	std::string script = base + ".replay";
	std::string picture = base + ".png";
	// Two real records, once the server has settled (a scan's first
	// character must follow its F10 within 10 ms); the last line keeps the
	// server running (paced by its time stamps) until the test stops it.
	std::ofstream(script) << "200000 scan .C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.\n"
	                      << "600000 scan .C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.\n"
	                      << "120000000 type x\n";
	setenv("DISPLAY", sDisplay->Name().c_str(), 1);
	stria::test::ServerProcess server(STRIA_INPUT_SERVER, {"--replay", script, "--control-socket",
	                                                       base + ".sock", "--snapshot", picture});
	unsetenv("DISPLAY");

	int band = 0;
	EXPECT_TRUE(Eventually([&] {
		if (sDisplay->FindWindow("Stria") == 0)
			return false;
		std::unique_ptr<PngImage> screen = Screen();
		int top;
		band = SelectedBand(*screen, &top);
		return band > 10 && screen->CountDark(100, 100 + band, 380, 100 + 2 * band - 1) > 40;
	})) << "the window titled Stria with both rows; "
	    << server.Errors();
	ASSERT_GT(band, 10);
	std::unique_ptr<PngImage> before = Screen();

	sDisplay->Click(150, 100 + band + band / 2);
	EXPECT_TRUE(Eventually([&] {
		std::unique_ptr<PngImage> after = Screen();
		return after->Pixel(110, 100 + band + 2) == kSelected;
	})) << "row 1 is selected";
	std::unique_ptr<PngImage> after = Screen();
	// The tab's text: the ISBN label of row 1 instead of the UPC-A label.
	int changed = 0;
	for (int y = 100 + band; y < 100 + 3 * band; y++) {
		for (int x = 405; x < 595; x++)
			changed += before->Pixel(x, y) != after->Pixel(x, y);
	}
	EXPECT_GT(changed, 40);

	server.Signal(SIGTERM);
	EXPECT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	PngImage image(picture);
	ASSERT_TRUE(image.IsValid()) << server.Errors();
	EXPECT_EQ(image.Width(), 501);
	EXPECT_EQ(image.Pixel(1, band + 2), kSelected) << "the picture shows the clicked row";
}

// A person types into another application while scans come: the viewer
// window appears and gets its rows, and the keyboard stays where it was.
TEST_F(StriaDisplayTest, TheViewerNeverTakesTheFocusFromTheApplicationBeingTypedInto)
{
	Display* display = sDisplay->Connection();
	Window client = XCreateSimpleWindow(display, DefaultRootWindow(display), 650, 450, 200, 100,
	                                    0, 0, 0xffffff);
	XStoreName(display, client, "typing here");
	XMapWindow(display, client);
	XSync(display, False);
	ASSERT_TRUE(Eventually([&] { return sDisplay->FindWindow("typing here") != 0; }));
	XSetInputFocus(display, client, RevertToParent, CurrentTime);
	XSync(display, False);

	std::string base = folder + "/focus";
	std::string script = base + ".replay";
	std::ofstream(script) << "200000 scan .C3nZC3nZC3nYCxP2Dxb1CNnY.cGen.ENr7C3fZCNT7ENz3Ca.\n"
	                      << "600000 scan .C3nZC3nZC3nZDNv2DNP7CNnY.fHmc.C3z6CxTZCxnYDxb7.\n"
	                      << "120000000 type x\n";
	setenv("DISPLAY", sDisplay->Name().c_str(), 1);
	stria::test::ServerProcess server(STRIA_INPUT_SERVER,
	                                  {"--replay", script, "--control-socket", base + ".sock"});
	unsetenv("DISPLAY");

	Window viewer = 0;
	EXPECT_TRUE(Eventually([&] {
		viewer = sDisplay->FindWindow("Stria");
		if (viewer == 0)
			return false;
		std::unique_ptr<PngImage> screen = Screen();
		int top;
		int band = SelectedBand(*screen, &top);
		return band > 10 && screen->CountDark(100, 100 + band, 380, 100 + 2 * band - 1) > 40;
	})) << "the viewer with both rows; "
	    << server.Errors();
	XWindowAttributes attributes;
	ASSERT_NE(viewer, 0u);
	ASSERT_TRUE(XGetWindowAttributes(display, viewer, &attributes));
	EXPECT_EQ(attributes.map_state, IsViewable);

	Window focus = 0;
	int revert = 0;
	XGetInputFocus(display, &focus, &revert);
	EXPECT_EQ(focus, client) << "the viewer took the focus";

	server.Signal(SIGTERM);
	EXPECT_EQ(server.Wait(std::chrono::seconds(60)), 0) << server.Errors();
	XDestroyWindow(display, client);
	XSync(display, False);
}

} // namespace
#endif // STRIA_INPUT_SERVER
