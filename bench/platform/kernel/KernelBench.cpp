// Round trips between two threads: through the kernel kit's thread data
// and semaphores, and through a bare mutex and condition variable (the
// baseline, the least a blocking hand-over can cost).

#include <OS.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr int32 kStop = 0;
constexpr int32 kPing = 1;

status_t Echo(void*)
{
	for (;;) {
		thread_id sender;
		int32 value;
		int32 code = receive_data(&sender, &value, sizeof(value));
		if (code == kStop)
			return B_OK;
		send_data(sender, code, &value, sizeof(value));
	}
}

void BM_SendReceivePingPong(benchmark::State& state)
{
	thread_id echo = spawn_thread(Echo, "echo", B_NORMAL_PRIORITY, NULL);
	resume_thread(echo);
	int32 value = 0;
	for (auto _ : state) {
		send_data(echo, kPing, &value, sizeof(value));
		receive_data(NULL, &value, sizeof(value));
		value++;
	}
	send_data(echo, kStop, NULL, 0);
	wait_for_thread(echo, NULL);
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SendReceivePingPong)->UseRealTime();

// The same one-slot hand-over, written directly on the standard library.
class Mailbox {
public:
	void Put(int32 code, int32 value)
	{
		std::unique_lock lock(fLock);
		fFreed.wait(lock, [this] { return !fFull; });
		fCode = code;
		fValue = value;
		fFull = true;
		fFilled.notify_one();
	}

	int32 Take(int32* value)
	{
		std::unique_lock lock(fLock);
		fFilled.wait(lock, [this] { return fFull; });
		*value = fValue;
		fFull = false;
		fFreed.notify_one();
		return fCode;
	}

private:
	std::mutex fLock;
	std::condition_variable fFilled;
	std::condition_variable fFreed;
	bool fFull = false;
	int32 fCode = 0;
	int32 fValue = 0;
};

void BM_MutexConditionPingPong(benchmark::State& state)
{
	Mailbox toEcho;
	Mailbox toMain;
	std::thread echo([&] {
		for (;;) {
			int32 value;
			int32 code = toEcho.Take(&value);
			if (code == kStop)
				return;
			toMain.Put(code, value);
		}
	});
	int32 value = 0;
	for (auto _ : state) {
		toEcho.Put(kPing, value);
		toMain.Take(&value);
		value++;
	}
	toEcho.Put(kStop, 0);
	echo.join();
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexConditionPingPong)->UseRealTime();

void BM_SemaphorePingPong(benchmark::State& state)
{
	sem_id ping = create_sem(0, "ping");
	sem_id pong = create_sem(0, "pong");
	std::thread echo([&] {
		while (acquire_sem(ping) == B_OK)
			release_sem(pong);
	});
	for (auto _ : state) {
		release_sem(ping);
		acquire_sem(pong);
	}
	delete_sem(ping);
	echo.join();
	delete_sem(pong);
	state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SemaphorePingPong)->UseRealTime();

} // namespace
