// An input device of the host: something that produces keyboard messages
// (a replay script, an evdev keyboard, a file or FIFO of recorded events)
// on a thread of its own, until its input ends or it is told to stop.
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

	// The source met input it cannot go on with (for example a stream that
	// is not input events): logs line, and the server, once it ends, exits
	// with exitStatus. Other sources go on.
	virtual void Fail(const std::string& line, int exitStatus)
	{
		(void)exitStatus;
		Log(line);
	}
};

class InputSource {
public:
	virtual ~InputSource() = default;

	// For log lines, such as "replay script.txt".
	virtual std::string Name() const = 0;

	// Produces messages until the input ends (return) or stop is requested
	// (return soon). Runs on a thread of its own; the host calls it once.
	virtual void Run(InputSink& sink, std::stop_token stop) = 0;
};

} // namespace stria

#endif // STRIA_INPUT_SOURCE_H
