// BMessenger: the address of a handler, in this process or in another one.
//
// A messenger holds tokens, never pointers: the process id of its target,
// the token of the target looper and of the handler in it, and, for a target
// in another process, the path of that process's message port. Messages to
// this process go straight into the looper's queue; messages to another
// process are framed and written to a connection to its port (see
// MessagingProtocol.h). Neither takes the target looper's lock.
//
// Byte form (FlattenedSize, Flatten, Unflatten), integers little-endian:
//
//	offset  size  field
//	0       1     version, 1
//	1       1     flags: bit 0 set when the messenger has a target; bit 1
//	              when it is where a thread waits for a synchronous reply
//	2       2     length n of the port path in bytes (at most 107)
//	4       4     team: the target's process id
//	8       4     looper token
//	12      4     handler token; -2 stands for the looper's preferred handler
//	16      n     port path, absolute, without a terminating zero
//
// A messenger without a target is 16 bytes with everything but the version
// zero. A messenger flattened in its own process carries that process's
// port, which is published then. The team is what the sender says; where
// messages go is the port, so a messenger naming this process's port is
// taken for one of this process, whatever team it names.
#include <Messenger.h>

#include <Application.h>
#include <Handler.h>
#include <Looper.h>
#include <Message.h>

#include "LooperLock.h"
#include "LooperPort.h"
#include "MessageFormat.h"
#include "MessagingPort.h"
#include "MessagingProtocol.h"
#include "RemoteConnection.h"
#include "ReplyPort.h"
#include "TokenRegistry.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <sys/un.h>
#include <tuple>
#include <unistd.h>

using namespace BPrivate;

namespace {

constexpr uint8 kMessengerVersion = 1;
constexpr uint8 kHasTarget = 0x01;
constexpr uint8 kReplySlot = 0x02;
constexpr size_t kFixedSize = 16;
constexpr size_t kMaxPathLength = sizeof(((struct sockaddr_un*)nullptr)->sun_path) - 1;

} // namespace

struct BMessenger::Address {
	team_id team = -1;
	int32 looperToken = kNoToken;
	int32 handlerToken = kNoToken;
	// The target is a thread waiting for a synchronous reply.
	bool replySlot = false;
	// Path of the target process's port; empty while the target is known to
	// be in this process.
	std::string port;

	// A target is where its port leads: this process's own port is this
	// process whatever team the address claims (a messenger that came
	// back from elsewhere may claim any), and without a port it is the
	// process the messenger was made in.
	bool IsLocal() const
	{
		if (port.empty())
			return team == getpid();
		MessagingPort* own = MessagingPort::Current();
		return own != nullptr && own->Path() == port;
	}

	// What tells two targets apart: this process or the port's path (which
	// names a process of its own), then the tokens. The team an address
	// claims counts only where there is no port to go by, so that a
	// messenger that comes back under a made-up process id is still the
	// same messenger.
	std::tuple<bool, std::string, team_id, int32, int32> Identity() const
	{
		const bool local = IsLocal();
		const std::string path = local ? std::string() : port;
		const team_id owner = local ? getpid() : path.empty() ? team : 0;
		return {!local, path, owner, looperToken, handlerToken};
	}
};

BMessenger::BMessenger() : fAddress(NULL) {}

BMessenger::BMessenger(const BHandler* handler, const BLooper* looper, status_t* result)
    : fAddress(NULL)
{
	status_t status = B_OK;
	int32 handlerToken = kPreferredHandlerToken;
	if (handler != NULL) {
		BLooper* handlerLooper = handler->Looper();
		if (handlerLooper == NULL)
			status = B_BAD_HANDLER;
		else if (looper != NULL && looper != handlerLooper)
			status = B_MISMATCHED_VALUES;
		else {
			looper = handlerLooper;
			handlerToken = handler->fToken;
		}
	} else if (looper == NULL) {
		status = B_BAD_VALUE;
	}
	if (status == B_OK) {
		fAddress = new Address;
		fAddress->team = getpid();
		fAddress->looperToken = looper->fToken;
		fAddress->handlerToken = handlerToken;
	}
	if (result != NULL)
		*result = status;
}

BMessenger::BMessenger(const BMessenger& other)
    : fAddress(other.fAddress != NULL ? new Address(*other.fAddress) : NULL)
{
}

BMessenger::~BMessenger()
{
	delete fAddress;
}

BMessenger& BMessenger::operator=(const BMessenger& other)
{
	if (this != &other) {
		Address* copy = other.fAddress != NULL ? new Address(*other.fAddress) : NULL;
		delete fAddress;
		fAddress = copy;
	}
	return *this;
}

namespace {

// Set while a message is sent to a looper of this process: its reply
// messenger is flattened into it then, and need not carry (nor publish) the
// port of this process.
thread_local bool sFlatteningForThisProcess = false;

class FlatteningForThisProcess {
public:
	FlatteningForThisProcess() { sFlatteningForThisProcess = true; }
	~FlatteningForThisProcess() { sFlatteningForThisProcess = false; }
};

// The path a messenger's target is reached by from other processes. A
// target of this process needs this process's port; when that cannot be
// published the messenger cannot be flattened for another process, and
// saying so beats handing out an address nobody can reach.
status_t ReachablePort(const std::string& port, team_id team, std::string* reachable)
{
	if (!port.empty() || team != getpid() || sFlatteningForThisProcess) {
		*reachable = port;
		return B_OK;
	}
	status_t status = B_ERROR;
	MessagingPort* own = MessagingPort::Published(&status);
	if (own == nullptr)
		return status;
	*reachable = own->Path();
	return B_OK;
}

} // namespace

bool BMessenger::operator==(const BMessenger& other) const
{
	if (fAddress == NULL || other.fAddress == NULL)
		return fAddress == other.fAddress;
	return fAddress->Identity() == other.fAddress->Identity();
}

bool BMessenger::operator<(const BMessenger& other) const
{
	if (fAddress == NULL || other.fAddress == NULL)
		return fAddress == NULL && other.fAddress != NULL;
	return fAddress->Identity() < other.fAddress->Identity();
}

bool BMessenger::IsValid() const
{
	if (fAddress == NULL)
		return false;
	if (fAddress->IsLocal())
		return TokenRegistry::Default().HasLooper(fAddress->looperToken);
	if (fAddress->port.empty())
		return false;
	// Answered from what this process knows, never by waiting on the other
	// one (which may be stopped or busy): the connection to the looper, opened
	// now if there is none, is valid until the port refuses the looper or
	// closes the connection; a port that nobody listens at any more is not.
	// A looper that has gone shows once the port's answer to the hello has
	// arrived, so right after a looper quits, IsValid may say true once or
	// twice more; a send then fails with B_BAD_PORT_ID.
	std::shared_ptr<RemoteConnection> connection;
	status_t status = RemoteConnectionCache::Default().Get(fAddress->port, fAddress->looperToken,
	                                                       0, true, &connection);
	switch (status) {
	case B_OK:
		return connection->IsAlive();
	case B_WOULD_BLOCK:
		// Its backlog is full: the port is there, and busy.
		return true;
	case B_NO_MORE_FDS:
	case B_NO_MEMORY: {
		// Short of descriptors here, which says nothing about the target:
		// its port file and its process are what can still be seen.
		struct stat info;
		return lstat(fAddress->port.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) &&
		       (kill(fAddress->team, 0) == 0 || errno == EPERM);
	}
	default:
		return false;
	}
}

bool BMessenger::IsTargetLocal() const
{
	return fAddress != NULL && fAddress->IsLocal();
}

BHandler* BMessenger::Target(BLooper** looper) const
{
	if (looper != NULL)
		*looper = NULL;
	if (fAddress == NULL || !fAddress->IsLocal())
		return NULL;
	LooperEntry entry;
	if (!TokenRegistry::Default().FindLooper(fAddress->looperToken, &entry))
		return NULL;
	if (looper != NULL)
		*looper = entry.looper;
	if (fAddress->handlerToken == kPreferredHandlerToken)
		return NULL;
	return TokenRegistry::Default().HandlerFor(fAddress->handlerToken);
}

bool BMessenger::LockTarget() const
{
	return LockTargetWithTimeout(B_INFINITE_TIMEOUT) == B_OK;
}

status_t BMessenger::LockTargetWithTimeout(bigtime_t timeout) const
{
	if (fAddress == NULL || !fAddress->IsLocal())
		return B_BAD_VALUE;
	LooperEntry entry;
	if (!TokenRegistry::Default().FindLooper(fAddress->looperToken, &entry) ||
	    entry.lock == nullptr)
		return B_BAD_VALUE;
	status_t status = entry.lock->Lock(timeout);
	if (status != B_OK)
		return status;
	// The looper may have been deleted while this thread waited.
	if (!TokenRegistry::Default().HasLooper(fAddress->looperToken)) {
		entry.lock->Unlock();
		return B_BAD_VALUE;
	}
	return B_OK;
}

team_id BMessenger::Team() const
{
	if (fAddress == NULL)
		return -1;
	return fAddress->IsLocal() ? getpid() : fAddress->team;
}

status_t BMessenger::SendMessage(uint32 command, BHandler* replyTo) const
{
	BMessage message(command);
	return SendMessage(&message, replyTo, B_INFINITE_TIMEOUT);
}

status_t BMessenger::SendMessage(BMessage* message, BHandler* replyTo, bigtime_t timeout) const
{
	BMessenger replyMessenger;
	if (replyTo != NULL) {
		status_t status;
		replyMessenger = BMessenger(replyTo, NULL, &status);
		if (status != B_OK)
			return status;
	} else if (be_app != NULL) {
		replyMessenger = BMessenger(be_app);
	}
	return SendMessage(message, replyMessenger, timeout);
}

namespace {

// The synchronous reply that the message being dispatched on this thread
// waits for, and whether it has been sent.
struct PendingReply {
	bool active = false;
	bool sent = false;
	team_id team = -1;
	std::string port;
	int32 looperToken = kNoToken;
	int32 request = kNoToken;
};

thread_local PendingReply sPendingReply;

} // namespace

void BMessenger::_BeginDispatch(const BMessage* message)
{
	sPendingReply.active = false;
	BMessenger returnAddress = message->ReturnAddress();
	const Address* address = returnAddress.fAddress;
	if (address == NULL || !address->replySlot)
		return;
	sPendingReply.active = true;
	sPendingReply.sent = false;
	sPendingReply.team = address->team;
	sPendingReply.port = address->port;
	sPendingReply.looperToken = address->looperToken;
	sPendingReply.request = address->handlerToken;
}

void BMessenger::_EndDispatch(bool detached)
{
	PendingReply pending = sPendingReply;
	sPendingReply.active = false;
	if (!pending.active || pending.sent || detached)
		return;
	// The sender would wait for ever: tell it that no reply comes.
	BMessenger waiting;
	waiting.fAddress = new Address;
	waiting.fAddress->team = pending.team;
	waiting.fAddress->port = pending.port;
	waiting.fAddress->looperToken = pending.looperToken;
	waiting.fAddress->handlerToken = pending.request;
	waiting.fAddress->replySlot = true;
	BMessage noReply(B_NO_REPLY);
	waiting.SendMessage(&noReply, BMessenger(), 1000000);
}

status_t BMessenger::SendMessage(uint32 command, BMessage* reply) const
{
	BMessage message(command);
	return SendMessage(&message, reply);
}

status_t BMessenger::SendMessage(BMessage* message, BMessage* reply, bigtime_t deliveryTimeout,
                                 bigtime_t replyTimeout) const
{
	if (message == NULL || reply == NULL)
		return B_BAD_VALUE;
	if (fAddress == NULL)
		return B_BAD_PORT_ID;
	if (fAddress->IsLocal()) {
		// Waiting for one's own looper would wait for ever.
		LooperEntry entry;
		if (TokenRegistry::Default().FindLooper(fAddress->looperToken, &entry) &&
		    entry.looper != NULL && entry.looper->_IsLoopThread()) {
			return B_MESSAGE_TO_SELF;
		}
	}
	if (!fAddress->IsLocal()) {
		// The reply comes back through this process's port: without one,
		// waiting would last until the time-out, or for ever.
		status_t status = B_ERROR;
		if (MessagingPort::Published(&status) == nullptr)
			return status;
	}
	ReplyPort* port = ReplyPort::ForThisThread();
	if (port == nullptr)
		return B_NO_MEMORY;
	int32 request = port->NextRequest();
	BMessenger replyTo;
	replyTo.fAddress = new Address;
	replyTo.fAddress->team = getpid();
	replyTo.fAddress->looperToken = port->Token();
	replyTo.fAddress->handlerToken = request;
	replyTo.fAddress->replySlot = true;
	status_t status = SendMessage(message, replyTo, deliveryTimeout);
	if (status != B_OK)
		return status;
	bigtime_t deadline = B_INFINITE_TIMEOUT;
	if (replyTimeout != B_INFINITE_TIMEOUT && replyTimeout >= 0) {
		bigtime_t now = system_time();
		deadline =
		        replyTimeout > B_INFINITE_TIMEOUT - now ? B_INFINITE_TIMEOUT : now + replyTimeout;
	}
	status = port->WaitForReply(request, deadline, reply);
	return status == B_TIMED_OUT && replyTimeout == 0 ? B_WOULD_BLOCK : status;
}

status_t BMessenger::SendMessage(BMessage* message, BMessenger replyTo, bigtime_t timeout) const
{
	if (message == NULL)
		return B_BAD_VALUE;
	if (fAddress == NULL)
		return B_BAD_PORT_ID;
	if (sPendingReply.active && fAddress->replySlot &&
	    fAddress->handlerToken == sPendingReply.request &&
	    fAddress->looperToken == sPendingReply.looperToken &&
	    fAddress->team == sPendingReply.team) {
		sPendingReply.sent = true;
	}

	if (fAddress->IsLocal()) {
		LooperEntry entry;
		if (!TokenRegistry::Default().FindLooper(fAddress->looperToken, &entry) ||
		    entry.port == nullptr) {
			return B_BAD_PORT_ID;
		}
		auto copy = std::make_unique<BMessage>(*message);
		{
			FlatteningForThisProcess localOnly;
			copy->_SetReplyTo(replyTo);
		}
		copy->_SetDelivered(true);
		return entry.port->Push(std::move(copy), fAddress->handlerToken, timeout);
	}

	if (fAddress->port.empty())
		return B_BAD_PORT_ID;
	// The reply messenger travels in the message's own header.
	BMessage copy(*message);
	copy._SetReplyTo(replyTo);
	std::vector<char> frame;
	status_t status = MessagingProtocol::MakeMessageFrame(copy, fAddress->handlerToken, &frame);
	if (status != B_OK)
		return status;

	bigtime_t start = system_time();
	RemoteConnectionCache& cache = RemoteConnectionCache::Default();
	std::shared_ptr<RemoteConnection> connection;
	status = cache.Get(fAddress->port, fAddress->looperToken, timeout, false, &connection);
	if (status != B_OK)
		return status;
	if (timeout != B_INFINITE_TIMEOUT && timeout > 0)
		timeout = std::max<bigtime_t>(0, timeout - (system_time() - start));
	status = connection->Send(frame.data(), frame.size(), timeout);
	if (status != B_OK && connection->IsBroken())
		cache.Forget(fAddress->port, fAddress->looperToken, connection);
	return status;
}

ssize_t BMessenger::FlattenedSize() const
{
	if (fAddress == NULL)
		return ssize_t(kFixedSize);
	std::string port;
	status_t status = ReachablePort(fAddress->port, fAddress->team, &port);
	if (status != B_OK)
		return status;
	return ssize_t(kFixedSize + port.size());
}

status_t BMessenger::Flatten(void* buffer, ssize_t size) const
{
	if (buffer == NULL || size < 0)
		return B_BAD_VALUE;
	std::string port;
	if (fAddress != NULL) {
		status_t status = ReachablePort(fAddress->port, fAddress->team, &port);
		if (status != B_OK)
			return status;
	}
	if (port.size() > kMaxPathLength || size_t(size) < kFixedSize + port.size())
		return B_BAD_VALUE;
	char* at = static_cast<char*>(buffer);
	memset(at, 0, kFixedSize);
	at[0] = char(kMessengerVersion);
	if (fAddress != NULL) {
		at[1] = char(kHasTarget | (fAddress->replySlot ? kReplySlot : 0));
		at[2] = char(port.size() & 0xff);
		at[3] = char(port.size() >> 8);
		Store<int32>(at + 4, fAddress->team);
		Store<int32>(at + 8, fAddress->looperToken);
		Store<int32>(at + 12, fAddress->handlerToken);
		memcpy(at + kFixedSize, port.data(), port.size());
	}
	return B_OK;
}

status_t BMessenger::Unflatten(const void* buffer, ssize_t size)
{
	if (buffer == NULL || size < ssize_t(kFixedSize))
		return B_BAD_VALUE;
	const char* at = static_cast<const char*>(buffer);
	uint8 flags = uint8(at[1]);
	size_t pathLength = size_t(uint8(at[2])) | size_t(uint8(at[3])) << 8;
	bool validFlags = flags == 0 || flags == kHasTarget || flags == (kHasTarget | kReplySlot);
	if (uint8(at[0]) != kMessengerVersion || !validFlags || pathLength > kMaxPathLength ||
	    size_t(size) != kFixedSize + pathLength) {
		return B_BAD_DATA;
	}
	const char* path = at + kFixedSize;

	if ((flags & kHasTarget) == 0) {
		for (size_t i = 1; i < kFixedSize; i++) {
			if (at[i] != 0)
				return B_BAD_DATA;
		}
		delete fAddress;
		fAddress = NULL;
		return B_OK;
	}

	Address address;
	address.team = Load<int32>(at + 4);
	address.looperToken = Load<int32>(at + 8);
	address.handlerToken = Load<int32>(at + 12);
	address.port.assign(path, pathLength);
	address.replySlot = (flags & kReplySlot) != 0;
	if (address.team <= 0 || address.looperToken <= 0 ||
	    (address.handlerToken <= 0 && address.handlerToken != kPreferredHandlerToken) ||
	    memchr(path, '\0', pathLength) != NULL || (pathLength > 0 && path[0] != '/')) {
		return B_BAD_DATA;
	}
	// This process's own port, whatever team the bytes claim.
	if (address.IsLocal()) {
		address.port.clear();
		address.team = getpid();
	}
	Address* copy = new Address(std::move(address));
	delete fAddress;
	fAddress = copy;
	return B_OK;
}
