// The viewer's costs that grow with the list: drawing the window and adding
// a scan, at 100,000 rows beside 10 rows in the same run.
#include "StriaCode.h"
#include "StriaListView.h"
#include "StriaWindow.h"

#include <List.h>
#include <String.h>
#include <private/WindowSnapshot.h>

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <stdlib.h>
#include <string>

namespace {

// A window that is never shown: no display, no thread; the benchmark's
// thread holds its lock from its construction on.
class FilledWindow {
public:
	explicit FilledWindow(int64_t rows)
	{
		unsetenv("DISPLAY");
		window = new StriaWindow(BRect(100, 100, 600, 400));
		BList items;
		for (int64_t i = 0; i < rows; i++) {
			std::string raw = "UPA 0" + std::to_string(12000003455LL + i);
			items.AddItem(new StriaCode(new BString(raw.c_str())));
		}
		window->ListView()->AddList(&items);
		window->ListView()->Select(0);
	}
	~FilledWindow() { window->Quit(); }

	StriaWindow* window;
};

void BM_DrawWindow(benchmark::State& state)
{
	FilledWindow filled(state.range(0));
	for (auto _ : state) {
		cairo_surface_t* image = BPrivate::draw_window(filled.window);
		benchmark::DoNotOptimize(cairo_image_surface_get_data(image));
		cairo_surface_destroy(image);
	}
	state.counters["rows"] = state.range(0);
}
BENCHMARK(BM_DrawWindow)->Arg(10)->Arg(100000)->Unit(benchmark::kMicrosecond);

void BM_AddCode(benchmark::State& state)
{
	FilledWindow filled(state.range(0));
	StriaListView* list = filled.window->ListView();
	for (auto _ : state) {
		state.PauseTiming();
		StriaCode* item = new StriaCode(new BString("UPA 012000003455"));
		state.ResumeTiming();
		filled.window->AddCode(item);
		state.PauseTiming();
		// Back to the same number of rows for the next round.
		delete list->RemoveItem((int32)0);
		state.ResumeTiming();
	}
	state.counters["rows"] = state.range(0);
}
BENCHMARK(BM_AddCode)->Arg(10)->Arg(100000)->Unit(benchmark::kMicrosecond);

} // namespace
