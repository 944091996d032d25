// The sink one input source of the server writes to: each message is marked
// with the source's identity as it enters the stream, and when recorded
// input goes quiet or a source has ended the filters hear of it
// (STRIA_INPUT_QUIET, STRIA_INPUT_ENDED), so that nothing waits for keys
// that will never come.
#ifndef STRIA_SOURCE_SINK_H
#define STRIA_SOURCE_SINK_H

#include "InputSource.h"
#include "SourceIdentity.h"

namespace stria {

class SourceSink : public InputSink {
public:
	// server: where marked messages and everything else go; outlives this.
	SourceSink(InputSink& server, SourceIdentity identity) : fServer(server), fIdentity(identity) {}

	void Enqueue(std::unique_ptr<BMessage> message) override;
	status_t Control(const char* device, uint32 code, BMessage* message) override;
	void Log(const std::string& line) override;
	void Fail(const std::string& line, status_t reason) override;
	bigtime_t InputStart() const override;
	// Enqueues the source's STRIA_INPUT_QUIET.
	void Quiet(bigtime_t until) override;

	// Enqueues the source's STRIA_INPUT_ENDED; call once it has returned.
	void Ended();

	const SourceIdentity& Identity() const { return fIdentity; }

private:
	InputSink& fServer;
	SourceIdentity fIdentity;
};

} // namespace stria

#endif // STRIA_SOURCE_SINK_H
