// Stria's protocol: the message codes, field names and the device name that
// the filter and device add-ons, the input server and subscribing
// applications share. Nothing else passes between the two add-ons.
#ifndef STRIA_PROTOCOL_H
#define STRIA_PROTOCOL_H

#include <SupportDefs.h>

enum : uint32 {
	// Application -> device "CueCat [Keyboard]" -> input stream -> filter.
	// Field STRIA_MESSENGER_FIELD: where scans are to be sent.
	STRIA_SUBSCRIBE = 0x000CBADD,
	// Filter -> every subscriber, once per scan. Field STRIA_BARCODE_FIELD:
	// the repaired decoded code ("UPA 012000003455"), not its label.
	STRIA_CATSCAN = 0x000CBCEE,
	// Filter -> every subscriber when the filter goes away; no fields. It is
	// the last message a subscriber gets.
	STRIA_SHUTDOWN = 0xCBDEADDD,
	// Anyone -> device -> input stream -> filter: a replay tick, which the
	// filter turns into a rebuilt F10 key-down.
	STRIA_ALTF10_WHAT = 0xCAFEBABE
};

// The pseudo-device that takes control requests, character for character.
inline constexpr char STRIA_DEVICE_NAME[] = "CueCat [Keyboard]";

inline constexpr char STRIA_MESSENGER_FIELD[] = "messenger";
// Input server -> filter, on key messages: which keyboard typed the key (a
// number the server gives each keyboard). A scan is the keys of the
// keyboard that typed its F10; another keyboard's keys pass beside it.
inline constexpr char STRIA_KEYBOARD_FIELD[] = "stria:keyboard";
inline constexpr char STRIA_BARCODE_FIELD[] = "barcode";

#endif // STRIA_PROTOCOL_H
