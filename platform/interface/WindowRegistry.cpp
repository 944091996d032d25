// Interface kit, private: the registry of live windows and window
// snapshots.
#include <private/WindowSnapshot.h>

#include <Looper.h>
#include <Window.h>

#include "WindowPrivate.h"
#include "X11Display.h"

#include <mutex>
#include <string>
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

// The final snapshot being taken: its path, and how the last try went.
bool sFinalArmed = false;
std::string sFinalPath;
status_t sFinalStatus = B_NAME_NOT_FOUND;

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

status_t begin_final_snapshot(const char* path)
{
	if (path == NULL || path[0] == '\0')
		return B_BAD_VALUE;
	{
		std::lock_guard<std::mutex> lock(sRegistryLock);
		sFinalArmed = true;
		sFinalPath = path;
		sFinalStatus = B_NAME_NOT_FOUND;
	}
	status_t status = snapshot_newest_window(path);
	std::lock_guard<std::mutex> lock(sRegistryLock);
	if (status != B_NAME_NOT_FOUND || sFinalStatus == B_NAME_NOT_FOUND)
		sFinalStatus = status;
	return status;
}

status_t end_final_snapshot()
{
	std::lock_guard<std::mutex> lock(sRegistryLock);
	sFinalArmed = false;
	sFinalPath.clear();
	return sFinalStatus;
}

void window_quitting(BWindow* window)
{
	std::string path;
	{
		std::lock_guard<std::mutex> lock(sRegistryLock);
		if (!sFinalArmed || sWindows.empty() || sWindows.back().window != window)
			return;
		path = sFinalPath;
	}
	status_t status = write_window_png(window, path.c_str());
	std::lock_guard<std::mutex> lock(sRegistryLock);
	if (sFinalArmed && sFinalPath == path)
		sFinalStatus = status;
}

bool windows_on_display()
{
	return X11Display::IsShowing();
}

} // namespace BPrivate
