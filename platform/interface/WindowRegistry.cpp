// Interface kit, private: the registry of live windows and window
// snapshots.
#include <private/WindowSnapshot.h>

#include <Looper.h>
#include <Window.h>

#include "WindowPrivate.h"
#include "X11Display.h"

#include <mutex>
#include <vector>

namespace BPrivate {

namespace {

struct LiveWindow {
	BWindow* window;
	BMessenger messenger;
};

std::mutex sRegistryLock;
// In the order the windows were made: the newest last.
std::vector<LiveWindow> sWindows;

} // namespace

void register_window(BWindow* window)
{
	BMessenger messenger(NULL, window);
	std::lock_guard<std::mutex> lock(sRegistryLock);
	sWindows.push_back(LiveWindow{window, messenger});
}

void unregister_window(BWindow* window)
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	for (auto it = sWindows.begin(); it != sWindows.end(); ++it) {
		if (it->window == window) {
			sWindows.erase(it);
			break;
		}
	}
}

BMessenger newest_live_window()
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	if (sWindows.empty())
		return BMessenger();
	return sWindows.back().messenger;
}

int32 count_live_windows()
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	return (int32)sWindows.size();
}

cairo_surface_t* draw_window(BWindow* window)
{
	return window != NULL ? BWindow::Private::Render(window) : NULL;
}

status_t write_window_png(BWindow* window, const char* path)
{
	if (window == NULL || path == NULL)
		return B_BAD_VALUE;
	cairo_surface_t* image = BWindow::Private::Render(window);
	cairo_status_t status = cairo_surface_write_to_png(image, path);
	cairo_surface_destroy(image);
	return status == CAIRO_STATUS_SUCCESS ? B_OK : B_IO_ERROR;
}

status_t snapshot_newest_window(const char* path, bigtime_t timeout)
{
	// A window can go away between finding it and locking it; then the next
	// newest one is taken.
	for (int attempt = 0; attempt < 8; attempt++) {
		BMessenger newest = newest_live_window();
		if (!newest.IsValid()) {
			if (count_live_windows() == 0)
				return B_NAME_NOT_FOUND;
			continue;
		}
		status_t status = newest.LockTargetWithTimeout(timeout);
		if (status != B_OK) {
			if (newest.IsValid())
				return status;
			continue;
		}
		BLooper* looper = NULL;
		newest.Target(&looper);
		BWindow* window = dynamic_cast<BWindow*>(looper);
		status = window != NULL ? write_window_png(window, path) : B_BAD_VALUE;
		looper->Unlock();
		return status;
	}
	return B_NAME_NOT_FOUND;
}

bool windows_on_display()
{
	X11Display* display = X11Display::Current();
	return display != NULL && !display->IsLost();
}

} // namespace BPrivate
