// A keyboard input device of the server: an evdev node (grabbed so that its
// keys reach the desktop only through Stria), a regular file of recorded
// input events played at the pace of its time stamps, or a FIFO of records
// read as they come.
#ifndef STRIA_EVDEV_KEYBOARD_H
#define STRIA_EVDEV_KEYBOARD_H

#include "EvdevNode.h"
#include "EventRecord.h"
#include "EventStreamDecoder.h"
#include "InputSource.h"
#include "KeyEventTranslator.h"

#include <linux/input-event-codes.h>

#include <bitset>
#include <memory>
#include <string>
#include <vector>

namespace stria {

class EvdevKeyboard : public InputSource {
public:
	struct Options {
		// Take the device for Stria alone (EVIOCGRAB).
		bool grab = true;
		// Play event files without waiting between records.
		bool fast = false;
		// How often to look for a device that has gone.
		bigtime_t reopenInterval = 500000;
		// How long to wait for held keys to come up before taking a device.
		bigtime_t releaseWait = 3000000;
	};

	// Checks path and opens it; nullptr and a message naming path when it
	// is missing, not an input device, not a valid event file, or cannot be
	// opened or grabbed.
	static std::unique_ptr<EvdevKeyboard> Create(const std::string& path, const Options& options,
	                                             std::shared_ptr<EvdevNode> node,
	                                             std::string& error);

	~EvdevKeyboard() override;

	std::string Name() const override;

	// Plays an event file or a FIFO to its end; reads a device until stop,
	// reporting once when it disappears and taking it up again when it
	// comes back.
	void Run(InputSink& sink, std::stop_token stop) override;

	bool IsDevice() const { return fKind == EvdevNode::Kind::Device; }

private:
	EvdevKeyboard(const std::string& path, const Options& options, std::shared_ptr<EvdevNode> node,
	              EvdevNode::Kind kind);

	bool OpenDevice(std::string& error);
	void PlayFile(InputSink& sink, std::stop_token stop);
	void ReadStream(InputSink& sink, std::stop_token stop);
	void ReadDevice(InputSink& sink, std::stop_token stop);

	// Reads what fFd has and enqueues its messages; false when the input
	// has ended (end of file, device gone, read error).
	bool ReadAvailable(InputSink& sink);
	void Deliver(const EventRecord& record, InputSink& sink);
	// Enqueues messages, each marked as this keyboard's.
	void Send(KeyboardState::Messages& messages, InputSink& sink);
	// Waits until fFd is readable or hung up (true) or stop (false).
	bool WaitReadable(std::stop_token stop);
	void WaitFor(std::stop_token stop, bigtime_t microseconds);

	std::string fPath;
	Options fOptions;
	std::shared_ptr<EvdevNode> fNode;
	EvdevNode::Kind fKind;
	int fFd = -1;
	int fWakeFd = -1;
	std::vector<EventRecord> fRecords;
	KeyEventTranslator fTranslator;
	EventStreamDecoder fStreamDecoder;
	std::bitset<KEY_CNT> fUnknownReported;
	bool fStreamBroken = false;
	// STRIA_KEYBOARD_FIELD of this keyboard's messages: one number per
	// keyboard of the process, kept while it is unplugged.
	int32 fKeyboard;
};

} // namespace stria

#endif // STRIA_EVDEV_KEYBOARD_H
