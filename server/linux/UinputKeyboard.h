// The application side that types what reaches applications on a Linux
// virtual keyboard: a uinput device named "Stria virtual keyboard", or, for
// tests and recordings, a regular file or FIFO that receives the same
// input event records without the uinput set-up.
//
// On their way a message passes the gate that keeps typed codes whole
// (TypedCodeGate), the virtual keyboard turns it into records, and the
// paced writer hands those to the device no faster than the desktop's
// reader takes them (PacedWriter; files and FIFOs never drop, so they are
// not paced). A thread of the keyboard's own writes what waits for its
// turn and lets go of keys a code kept back too long.
#ifndef STRIA_UINPUT_KEYBOARD_H
#define STRIA_UINPUT_KEYBOARD_H

#include "ApplicationSide.h"
#include "PacedWriter.h"
#include "TypedCodeGate.h"
#include "VirtualKeyboard.h"

#include <StriaProtocol.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class StriaClock;

namespace stria {

class UinputKeyboard : public ApplicationSide {
public:
	static constexpr const char* kDeviceName = STRIA_VIRTUAL_KEYBOARD_NAME;

	using Logger = std::function<void(const std::string&)>;

	// Creates the uinput device at uinputPath (normally /dev/uinput).
	static std::unique_ptr<UinputKeyboard> CreateDevice(const std::string& uinputPath,
	                                                    Logger log, std::string& error);
	// Writes the records to path: a FIFO is opened as it is (and refused
	// when nobody reads it), anything else created or truncated.
	static std::unique_ptr<UinputKeyboard> CreateFile(const std::string& path,
	                                                  Logger log, std::string& error);
	// Records that may wait for their turn; Deliver waits for room beyond
	// that, so that input the desktop cannot take yet stays with the
	// server's readers instead of filling memory.
	static constexpr size_t kMostWaiting = 512;
	// How long Finish writes what waits before it lets go of the rest.
	static constexpr bigtime_t kFinishLimit = 500000;

	// Writes to fd, which the keyboard then owns (for tests and
	// benchmarks): uinput's own records or the file layout, paced by
	// budget on clock (which must outlive the keyboard).
	static std::unique_ptr<UinputKeyboard>
	ForDescriptor(int fd, bool uinput, Logger log, StriaClock* clock, PacedWriter::Budget budget);
	static std::unique_ptr<UinputKeyboard> ForDescriptor(int fd, bool uinput, Logger log);

	~UinputKeyboard() override;

	// Types the message, at once when there is room. Waits only while
	// kMostWaiting records wait already.
	void Deliver(const BMessage& message) override;
	// Lets everything kept back go, releases every key still pressed, and
	// writes what waits, for kFinishLimit at most: then what still waits
	// is let go of, with the keys it would have released. The uinput
	// device goes on destruction.
	void Finish() override;
	// False once a write has failed (logged once); nothing more is typed.
	bool Healthy() const override;

	// Records waiting for their turn and messages kept back for a code
	// (for tests).
	size_t CountWaiting() const;
	size_t CountHeld() const;

private:
	class DescriptorWriter;

	UinputKeyboard(int fd, bool uinput, Logger log, StriaClock* clock, PacedWriter::Budget budget);

	// The writer thread: what waits, when its turn comes.
	void _Loop();
	// With fLock held: wakes the writer thread when it must come sooner.
	void _Changed();
	void _Finish(std::unique_lock<std::mutex>& lock);
	void _ReportFailure();

	int fFd;
	bool fUinput;
	Logger fLog;
	StriaClock* fClock;
	std::unique_ptr<DescriptorWriter> fWriter;
	mutable std::mutex fLock;
	// Notified when there is new work for the writer thread, and when
	// records have been written.
	std::condition_variable fChanged;
	PacedWriter fPaced;
	VirtualKeyboard fKeyboard;
	TypedCodeGate fGate;
	// When the writer thread is to wake next.
	bigtime_t fWakeAt;
	bool fFinished = false;
	bool fStopping = false;
	bool fReportedFailure = false;
	std::thread fThread;
};

} // namespace stria

#endif // STRIA_UINPUT_KEYBOARD_H
