// Where the messages that leave the last filter go: printed lines, a uinput
// virtual keyboard or a file of its event records.
#ifndef STRIA_APPLICATION_SIDE_H
#define STRIA_APPLICATION_SIDE_H

class BMessage;

namespace stria {

class ApplicationSide {
public:
	virtual ~ApplicationSide() = default;

	// Called on the input stream's thread, one message at a time, in the
	// order the messages leave the filters.
	virtual void Deliver(const BMessage& message) = 0;

	// Called once after the stream's last message, on the same thread as
	// Deliver, before the filters are deleted (for example to release keys).
	virtual void Finish() {}

	// False once the side can no longer deliver (its output failed); the
	// side has logged why. The server then stops, and exits with status 1.
	virtual bool Healthy() const { return true; }
};

} // namespace stria

#endif // STRIA_APPLICATION_SIDE_H
