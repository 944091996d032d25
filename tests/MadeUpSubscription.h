// A subscription with a made-up messenger, as a careless (or hostile)
// application could send one: a looper token in process pid, at a port
// nobody listens at, or at the given port path. Built from the messenger's
// byte form.
#ifndef STRIA_TEST_MADE_UP_SUBSCRIPTION_H
#define STRIA_TEST_MADE_UP_SUBSCRIPTION_H

#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>
#include <StriaSubscribe.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

inline BMessage MadeUpSubscription(pid_t pid, int32 looper, std::string path = std::string())
{
	if (path.empty())
		path = "/tmp/stria-made-up-port-" + std::to_string(looper);
	std::vector<char> bytes(16 + path.size(), 0);
	bytes[0] = 1; // version
	bytes[1] = 1; // has a target
	bytes[2] = char(path.size());
	memcpy(&bytes[4], &pid, 4);
	memcpy(&bytes[8], &looper, 4);
	int32 preferredHandler = -2;
	memcpy(&bytes[12], &preferredHandler, 4);
	memcpy(&bytes[16], path.data(), path.size());
	BMessenger messenger;
	if (messenger.Unflatten(bytes.data(), bytes.size()) != B_OK)
		std::abort();
	BMessage subscription;
	make_scan_subscription(messenger, &subscription);
	return subscription;
}

#endif // STRIA_TEST_MADE_UP_SUBSCRIPTION_H
