// The subscriber process of the scan-latency benchmark. It writes its
// looper's flattened messenger to standard output (a 4-byte length, then
// the bytes), then, for each STRIA_CATSCAN, the moment it arrived (8 bytes,
// CLOCK_MONOTONIC nanoseconds). It ends on STRIA_SHUTDOWN or when standard
// input closes.
#include "BenchClock.h"

#include <Looper.h>
#include <Message.h>
#include <Messenger.h>

#include <StriaProtocol.h>

#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

bool write_all(const void* data, size_t size)
{
	const char* at = static_cast<const char*>(data);
	while (size > 0) {
		ssize_t written = write(STDOUT_FILENO, at, size);
		if (written <= 0)
			return false;
		at += written;
		size -= size_t(written);
	}
	return true;
}

class ArrivalLooper : public BLooper {
public:
	ArrivalLooper() : BLooper("bench subscriber") {}

	void MessageReceived(BMessage* message) override
	{
		if (message->what == STRIA_CATSCAN) {
			int64_t arrived = bench_now_ns();
			write_all(&arrived, sizeof(arrived));
		} else if (message->what == STRIA_SHUTDOWN) {
			_exit(0);
		} else
			BLooper::MessageReceived(message);
	}
};

} // namespace

int main()
{
	ArrivalLooper* looper = new ArrivalLooper();
	looper->Run();

	BMessenger messenger(looper);
	ssize_t size = messenger.FlattenedSize();
	std::vector<char> bytes(size > 0 ? size : 0);
	if (size <= 0 || messenger.Flatten(bytes.data(), size) != B_OK) {
		fprintf(stderr, "bench subscriber: cannot flatten its messenger\n");
		return 1;
	}
	uint32_t length = uint32_t(size);
	if (!write_all(&length, sizeof(length)) || !write_all(bytes.data(), bytes.size()))
		return 1;

	char byte;
	while (read(STDIN_FILENO, &byte, 1) > 0) {
	}
	looper->Lock();
	looper->Quit();
	return 0;
}
