// Private to the application kit: this process's published message port.
//
// A process that hands a messenger of its own to another process (by
// flattening it) publishes a listening LocalSocket in the user's runtime
// directory, named port-<pid>-<random>. A thread accepts connections,
// refuses peers of other users, reads each sender's hello, answers it and
// hands the connection to the looper it named; the looper's thread reads
// the messages. Nothing is published by a process that never gives its
// messengers away.
#ifndef STRIA_MESSAGING_PORT_H
#define STRIA_MESSAGING_PORT_H

#include "MessagingProtocol.h"

#include <private/FrameReader.h>
#include <private/LocalSocket.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace BPrivate {

class MessagingPort {
public:
	// The port of this process, published on first use; nullptr (and the
	// reason in *error) when it cannot be.
	static MessagingPort* Published(status_t* error = nullptr);
	// Why the last attempt to publish the port failed, in one line naming
	// the directory and what is wrong with it; empty after a success.
	static std::string Problem();
	// The port if it is published already, else nullptr.
	static MessagingPort* Current();
	// Publishes the port in directory instead of the runtime directory,
	// replacing a port published before (for tests that need a directory of
	// their own). The directory is used as it is, whatever its modes.
	static status_t PublishIn(const char* directory);

	// Connections that may wait for their hello at once; beyond this the
	// one that has waited longest is closed.
	static constexpr size_t kMaxPendingConnections = 64;
	// What a connection may have sent before its hello is complete (a hello
	// frame is 20 bytes); beyond this it is closed.
	static constexpr size_t kMaxPreHelloBytes = 256;

	const std::string& Path() const { return fPath; }
	// Connections refused because the peer ran as another user.
	int64 RefusedPeers() const { return fRefusedPeers.load(); }
	// Silent connections closed to make room for newer ones.
	int64 DroppedSilentPeers() const { return fDroppedSilent.load(); }
	// Times accept failed (no descriptor left) and the listener was left
	// alone for a while.
	int64 AcceptPauses() const { return fAcceptPauses.load(); }

	~MessagingPort();

private:
	struct Pending {
		LocalSocket socket;
		// Nothing longer than a hello is taken before the welcome.
		FrameReader reader{MessagingProtocol::kHelloSize};
		bigtime_t deadline;
	};

	MessagingPort() = default;
	static status_t _Create(const std::string& directory, std::unique_ptr<MessagingPort>* port);
	void _AcceptLoop();
	void _Accept();
	void _PauseAccepting(status_t why);
	// True when the pending connection is finished with (handed over or
	// dropped).
	bool _Serve(Pending& pending);

	std::string fPath;
	LocalSocket fListener;
	int fWakeFD = -1;
	pid_t fTeam = -1;
	std::thread fThread;
	std::vector<std::unique_ptr<Pending>> fPending;
	std::atomic<int64> fRefusedPeers{0};
	std::atomic<int64> fDroppedSilent{0};
	std::atomic<int64> fAcceptPauses{0};
	// The accept thread's own: how long it leaves the listener alone after
	// a failed accept (0 while accepting works) and until when.
	bigtime_t fAcceptPause = 0;
	bigtime_t fAcceptPausedUntil = 0;
};

} // namespace BPrivate

#endif // STRIA_MESSAGING_PORT_H
