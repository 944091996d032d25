// The cost of a key press as a BMessage: flatten plus unflatten of a
// four-field key-down message, beside a memcpy of as many bytes (the floor
// for any byte form) and a plain copy of the message in the same run.
#include <Message.h>

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

BMessage KeyDown()
{
	BMessage message('_KYD');
	message.AddInt64("when", 1700000000000000LL);
	message.AddInt32("key", 0x3c);
	message.AddInt32("modifiers", 0x101);
	message.AddInt8("byte", 'a');
	return message;
}

// Baseline: moving the flattened bytes out and back in, nothing else.
void BM_Baseline_MemcpyTwice(benchmark::State& state)
{
	BMessage message = KeyDown();
	std::vector<char> source(size_t(message.FlattenedSize()), 'x');
	std::vector<char> wire(source.size());
	std::vector<char> back(source.size());
	for (auto _ : state) {
		std::memcpy(wire.data(), source.data(), source.size());
		benchmark::ClobberMemory();
		std::memcpy(back.data(), wire.data(), wire.size());
		benchmark::DoNotOptimize(back.data());
		benchmark::ClobberMemory();
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(source.size()));
}
BENCHMARK(BM_Baseline_MemcpyTwice);

// Baseline: a copy of the message in memory.
void BM_Baseline_CopyConstruct(benchmark::State& state)
{
	BMessage message = KeyDown();
	for (auto _ : state) {
		BMessage copy(message);
		benchmark::DoNotOptimize(copy.what);
	}
}
BENCHMARK(BM_Baseline_CopyConstruct);

// Flatten into a buffer and unflatten into a message that is reused.
void BM_FlattenUnflatten(benchmark::State& state)
{
	BMessage message = KeyDown();
	std::vector<char> wire(size_t(message.FlattenedSize()));
	BMessage target;
	for (auto _ : state) {
		if (message.Flatten(wire.data(), ssize_t(wire.size())) != B_OK ||
		    target.Unflatten(wire.data(), ssize_t(wire.size())) != B_OK)
			state.SkipWithError("round trip failed");
		benchmark::DoNotOptimize(target.what);
	}
	state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(wire.size()));
}
BENCHMARK(BM_FlattenUnflatten);

// The same with a new message each time, as when a stored key-down is
// rebuilt (FlattenedSize, a new buffer, a new message).
void BM_FlattenUnflattenFresh(benchmark::State& state)
{
	BMessage message = KeyDown();
	for (auto _ : state) {
		std::vector<char> wire(size_t(message.FlattenedSize()));
		message.Flatten(wire.data(), ssize_t(wire.size()));
		BMessage target;
		if (target.Unflatten(wire.data()) != B_OK)
			state.SkipWithError("round trip failed");
		benchmark::DoNotOptimize(target.what);
	}
}
BENCHMARK(BM_FlattenUnflattenFresh);

// Building the message field by field, and reading one field back.
void BM_BuildKeyDown(benchmark::State& state)
{
	for (auto _ : state) {
		BMessage message = KeyDown();
		benchmark::DoNotOptimize(message.what);
	}
}
BENCHMARK(BM_BuildKeyDown);

void BM_FindInt32(benchmark::State& state)
{
	BMessage message = KeyDown();
	int32 modifiers = 0;
	for (auto _ : state) {
		message.FindInt32("modifiers", &modifiers);
		benchmark::DoNotOptimize(modifiers);
	}
}
BENCHMARK(BM_FindInt32);

} // namespace
