#include "TokenRegistry.h"

namespace BPrivate {

TokenRegistry& TokenRegistry::Default()
{
	// Never destroyed: loopers may still run while static objects go away
	// at exit.
	static TokenRegistry* registry = new TokenRegistry;
	return *registry;
}

int32 TokenRegistry::AddHandler(BHandler* handler)
{
	std::lock_guard<std::mutex> guard(fLock);
	int32 token;
	do {
		token = fNextToken;
		fNextToken = fNextToken == INT32_MAX ? 1 : fNextToken + 1;
	} while (fHandlers.count(token) != 0);
	fHandlers[token] = handler;
	return token;
}

void TokenRegistry::RemoveHandler(int32 token)
{
	std::lock_guard<std::mutex> guard(fLock);
	fHandlers.erase(token);
}

BHandler* TokenRegistry::HandlerFor(int32 token) const
{
	std::lock_guard<std::mutex> guard(fLock);
	auto found = fHandlers.find(token);
	return found == fHandlers.end() ? nullptr : found->second;
}

void TokenRegistry::AddLooper(int32 token, const LooperEntry& entry)
{
	std::lock_guard<std::mutex> guard(fLock);
	fLoopers[token] = entry;
	fLooperTokens[entry.looper] = token;
}

void TokenRegistry::RemoveLooper(int32 token)
{
	LooperEntry removed;
	{
		std::lock_guard<std::mutex> guard(fLock);
		auto found = fLoopers.find(token);
		if (found == fLoopers.end())
			return;
		removed = std::move(found->second);
		fLoopers.erase(found);
		auto byAddress = fLooperTokens.find(removed.looper);
		if (byAddress != fLooperTokens.end() && byAddress->second == token)
			fLooperTokens.erase(byAddress);
	}
	// The shared state may be released here, outside the registry's lock.
}

bool TokenRegistry::FindLooper(int32 token, LooperEntry* entry) const
{
	std::lock_guard<std::mutex> guard(fLock);
	auto found = fLoopers.find(token);
	if (found == fLoopers.end())
		return false;
	*entry = found->second;
	return true;
}

bool TokenRegistry::FindLooper(const BLooper* looper, LooperEntry* entry) const
{
	std::lock_guard<std::mutex> guard(fLock);
	auto token = fLooperTokens.find(looper);
	if (token == fLooperTokens.end())
		return false;
	auto found = fLoopers.find(token->second);
	if (found == fLoopers.end())
		return false;
	*entry = found->second;
	return true;
}

bool TokenRegistry::HasLooper(int32 token) const
{
	std::lock_guard<std::mutex> guard(fLock);
	return fLoopers.count(token) != 0;
}

} // namespace BPrivate
