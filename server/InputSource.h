// An input device of the host: something that produces keyboard messages
// (a replay script, an evdev keyboard, a file or FIFO of recorded events)
// on a thread of its own, until its input ends or it is told to stop.
//
// Every "when" stamp a source enqueues is on the server's clock,
// system_time() (CLOCK_MONOTONIC in microseconds), so that stamps of all
// sources and the filters' timers compare like with like: a keyboard's
// events are stamped on that clock by the kernel, and recorded input is put
// on it relative to its own start (see RelativeStamps).
#ifndef STRIA_INPUT_SOURCE_H
#define STRIA_INPUT_SOURCE_H

#include <SupportDefs.h>

#include <memory>
#include <stop_token>
#include <string>

class BMessage;

namespace stria {

// Where a source's messages and control requests go.
class InputSink {
public:
	virtual ~InputSink() = default;

	// Puts a message into the input stream.
	virtual void Enqueue(std::unique_ptr<BMessage> message) = 0;

	// A Control call on a registered device, as an application makes it
	// (find_input_device(device)->Control(code, message)).
	virtual status_t Control(const char* device, uint32 code, BMessage* message) = 0;

	// One line on standard error.
	virtual void Log(const std::string& line) = 0;

	// The server's clock when it began reading input: where recorded input
	// starts, and the zero of printed stamps.
	virtual bigtime_t InputStart() const = 0;

	// Recorded input: nothing stamped earlier than until will come. Said
	// before each wait for the next event, so that the filters decide on
	// stamps alone, as they do when the events come without waiting.
	virtual void Quiet(bigtime_t until) { (void)until; }

	// The source met input it cannot go on with (for example a stream that
	// is not input events): logs line, and the server, once it ends, fails
	// with reason. Other sources go on.
	virtual void Fail(const std::string& line, status_t reason)
	{
		(void)reason;
		Log(line);
	}
};

class InputSource {
public:
	virtual ~InputSource() = default;

	// For log lines, such as "replay script.txt".
	virtual std::string Name() const = 0;

	// True for recorded input (a replay script, a file of events): it knows
	// its stamps in advance and says when it goes quiet (InputSink::Quiet).
	virtual bool IsRecorded() const { return false; }

	// Produces messages until the input ends (return) or stop is requested
	// (return soon). Runs on a thread of its own; the host calls it once.
	virtual void Run(InputSink& sink, std::stop_token stop) = 0;
};

} // namespace stria

#endif // STRIA_INPUT_SOURCE_H
