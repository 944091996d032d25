// How an application subscribes to scans: a STRIA_SUBSCRIBE message that
// names where scans go, handed to the device "CueCat [Keyboard]". Callers
// link the app and input-server kits, which every subscriber has anyway.
#ifndef STRIA_SUBSCRIBE_H
#define STRIA_SUBSCRIBE_H

#include <Input.h>
#include <Message.h>
#include <Messenger.h>
#include <StriaProtocol.h>

#include <memory>

// Makes subscription the request to send every scan to subscriber. Fails
// as BMessage::AddMessenger does: a messenger of this process that other
// processes cannot reach (its message port could not be published).
inline status_t make_scan_subscription(const BMessenger& subscriber, BMessage* subscription)
{
	subscription->MakeEmpty();
	subscription->what = STRIA_SUBSCRIBE;
	return subscription->AddMessenger(STRIA_MESSENGER_FIELD, subscriber);
}

// Subscribes subscriber to every scan through device, or, with no device,
// through the one found under STRIA_DEVICE_NAME. B_OK once the device took
// the subscription; B_NAME_NOT_FOUND when there is no such device; else why
// the subscription could not be made or sent.
inline status_t subscribe_to_scans(const BMessenger& subscriber, BInputDevice* device = NULL)
{
	std::unique_ptr<BInputDevice> found;
	if (device == NULL) {
		found.reset(find_input_device(STRIA_DEVICE_NAME));
		device = found.get();
	}
	if (device == NULL)
		return B_NAME_NOT_FOUND;
	BMessage subscription;
	status_t status = make_scan_subscription(subscriber, &subscription);
	if (status != B_OK)
		return status;
	return device->Control(STRIA_SUBSCRIBE, &subscription);
}

#endif // STRIA_SUBSCRIBE_H
