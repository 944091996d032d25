// Private to the application kit: the process-wide table that turns the
// tokens carried by messengers into handlers and loopers.
//
// Messengers never hold pointers. A handler gets a token when it is built and
// loses it when it is destroyed; a looper is listed here from construction
// until it is deleted, together with the shared state (its message port and
// its lock) that must outlive it for threads still holding a reference. A
// messenger whose looper token is no longer listed is invalid.
#ifndef STRIA_TOKEN_REGISTRY_H
#define STRIA_TOKEN_REGISTRY_H

#include <SupportDefs.h>

#include <memory>
#include <mutex>
#include <unordered_map>

class BHandler;
class BLooper;

namespace BPrivate {

class LooperPort;
class LooperLock;

// Handler token of a messenger that targets its looper's preferred handler.
constexpr int32 kPreferredHandlerToken = -2;
// Token of no handler at all.
constexpr int32 kNoToken = -1;

struct LooperEntry {
	BLooper* looper = nullptr;
	std::shared_ptr<LooperPort> port;
	std::shared_ptr<LooperLock> lock;
};

class TokenRegistry {
public:
	static TokenRegistry& Default();

	int32 AddHandler(BHandler* handler);
	void RemoveHandler(int32 token);
	// The pointer is only safe to use under the lock of the handler's looper.
	BHandler* HandlerFor(int32 token) const;

	void AddLooper(int32 token, const LooperEntry& entry);
	void RemoveLooper(int32 token);
	bool FindLooper(int32 token, LooperEntry* entry) const;
	// By address, for callers that hold a pointer which may have gone stale.
	bool FindLooper(const BLooper* looper, LooperEntry* entry) const;
	bool HasLooper(int32 token) const;

private:
	TokenRegistry() = default;

	mutable std::mutex fLock;
	int32 fNextToken = 1;
	std::unordered_map<int32, BHandler*> fHandlers;
	std::unordered_map<int32, LooperEntry> fLoopers;
	// Looked up by BLooper::Lock on every call, so kept apart from the
	// token table rather than searched.
	std::unordered_map<const BLooper*, int32> fLooperTokens;
};

} // namespace BPrivate

#endif // STRIA_TOKEN_REGISTRY_H
