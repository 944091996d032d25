// The application side that types what reaches applications on a Linux
// virtual keyboard: a uinput device named "Stria virtual keyboard", or, for
// tests and recordings, a regular file or FIFO that receives the same
// input event records without the uinput set-up.
#ifndef STRIA_UINPUT_KEYBOARD_H
#define STRIA_UINPUT_KEYBOARD_H

#include "ApplicationSide.h"
#include "VirtualKeyboard.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace stria {

class UinputKeyboard : public ApplicationSide {
public:
	static constexpr const char* kDeviceName = "Stria virtual keyboard";

	using Logger = std::function<void(const std::string&)>;

	// Creates the uinput device at uinputPath (normally /dev/uinput).
	static std::unique_ptr<UinputKeyboard> CreateDevice(const std::string& uinputPath,
	                                                    Logger log, std::string& error);
	// Writes the records to path: a FIFO is opened as it is (and refused
	// when nobody reads it), anything else created or truncated.
	static std::unique_ptr<UinputKeyboard> CreateFile(const std::string& path,
	                                                  Logger log, std::string& error);
	// Writes to fd, which the keyboard then owns (for tests).
	static std::unique_ptr<UinputKeyboard>
	ForDescriptor(int fd, bool uinput, Logger log);

	~UinputKeyboard() override;

	void Deliver(const BMessage& message) override;
	// Releases every key still pressed; the uinput device goes on
	// destruction.
	void Finish() override;
	// False once a write has failed (logged once); nothing more is typed.
	bool Healthy() const override;

private:
	class DescriptorWriter;

	UinputKeyboard(int fd, bool uinput, Logger log);

	int fFd;
	bool fUinput;
	Logger fLog;
	std::unique_ptr<DescriptorWriter> fWriter;
	mutable std::mutex fLock;
	VirtualKeyboard fKeyboard;
	bool fReportedFailure = false;
};

} // namespace stria

#endif // STRIA_UINPUT_KEYBOARD_H
