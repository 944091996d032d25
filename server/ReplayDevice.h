// The replay device: plays a parsed replay script into the input stream at
// the pace of its "when" stamps (the first event at once), or as fast as
// the stream takes it. Either way the stamps are put on the server's clock
// relative to the script's start: the first event is stamped with the
// moment the server began reading input, and each later one with the
// moment it is due, so that --fast changes only how soon keys arrive, not
// what they say.
#ifndef STRIA_REPLAY_DEVICE_H
#define STRIA_REPLAY_DEVICE_H

#include "InputSource.h"
#include "ReplayScript.h"

#include <Messenger.h>

#include <optional>
#include <vector>

namespace stria {

class ReplayDevice : public InputSource {
public:
	// name: for log lines (the script's path). subscriber: the messenger
	// that "control <code> subscribe" lines hand over.
	ReplayDevice(std::string name, std::vector<ReplayEvent> events, bool fast,
	             std::optional<BMessenger> subscriber = std::nullopt);

	std::string Name() const override;
	bool IsRecorded() const override { return true; }
	void Run(InputSink& sink, std::stop_token stop) override;

private:
	void Play(const ReplayEvent& event, InputSink& sink);

	std::string fName;
	std::vector<ReplayEvent> fEvents;
	bool fFast;
	std::optional<BMessenger> fSubscriber;
};

} // namespace stria

#endif // STRIA_REPLAY_DEVICE_H
