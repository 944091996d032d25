// Test helper: shows the viewer window on $DISPLAY and answers commands on
// standard input, one per line, so that a test can look at the screen and
// click or type while it asks the window about itself.
//   add CODE        the window step for a scan of CODE (a decoded code)
//   selection       prints "selection INDEX TEXT" (the tab's text)
//   windows         prints "windows COUNT" (live windows)
//   frame           prints "frame LEFT TOP RIGHT BOTTOM"
//   scroll          prints "scroll TOP" (the list's scroll position)
//   snapshot PATH   draws the newest window into PATH, prints "snapshot STATUS"
//   quit            closes the window and ends
#include "StriaCode.h"
#include "StriaCodeView.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <Messenger.h>
#include <String.h>
#include <StringView.h>
#include <TabView.h>
#include <private/WindowSnapshot.h>

#include <iostream>
#include <string>

int main()
{
	BMessenger window;
	std::string line;
	while (std::getline(std::cin, line)) {
		std::string command = line.substr(0, line.find(' '));
		std::string argument = line.size() > command.size() ? line.substr(command.size() + 1) : "";
		if (command == "add") {
			status_t status = StriaWindow::ShowCode(
			        &window, new StriaCode(new BString(argument.c_str())), BRect(100, 100, 600, 400));
			std::cout << "added " << status << std::endl;
		} else if (command == "selection" || command == "frame" || command == "scroll") {
			BMessenger target = BPrivate::newest_live_window();
			if (!target.LockTarget()) {
				std::cout << command << " none" << std::endl;
				continue;
			}
			BLooper* looper = NULL;
			target.Target(&looper);
			StriaWindow* shown = dynamic_cast<StriaWindow*>(looper);
			if (command == "scroll") {
				std::cout << "scroll " << shown->ListView()->Bounds().top << std::endl;
			} else if (command == "frame") {
				BRect frame = shown->Frame();
				std::cout << "frame " << frame.left << " " << frame.top << " " << frame.right << " "
				          << frame.bottom << std::endl;
			} else {
				BTab* tab = shown->CodeView()->TabAt(0);
				BStringView* text = tab != NULL ? dynamic_cast<BStringView*>(tab->View()) : NULL;
				std::cout << "selection " << shown->ListView()->CurrentSelection() << " "
				          << (text != NULL ? text->Text() : "") << std::endl;
			}
			looper->Unlock();
		} else if (command == "windows") {
			std::cout << "windows " << BPrivate::count_live_windows() << std::endl;
		} else if (command == "snapshot") {
			std::cout << "snapshot " << BPrivate::snapshot_newest_window(argument.c_str())
			          << std::endl;
		} else if (command == "quit") {
			break;
		} else {
			std::cout << "unknown " << command << std::endl;
		}
	}
	StriaWindow::CloseWindow(&window);
	return 0;
}
