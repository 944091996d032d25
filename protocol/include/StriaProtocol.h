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
	// Filter -> an application whose subscription was not taken because
	// the filter has as many subscribers as it serves (256). Field
	// STRIA_ERROR_FIELD: why (B_BUSY). Nothing else comes to that messenger.
	STRIA_SUBSCRIBE_REFUSED = 0x000CBADE,
	// Filter -> every subscriber, once per scan. Field STRIA_BARCODE_FIELD:
	// the repaired decoded code ("UPA 012000003455"), not its label.
	STRIA_CATSCAN = 0x000CBCEE,
	// Filter -> every subscriber when the filter goes away; no fields. It is
	// the last message a subscriber gets.
	STRIA_SHUTDOWN = 0xCBDEADDD,
	// Application -> device -> input stream -> filter: a replay request,
	// which the filter turns into a rebuilt F10 key-down.
	STRIA_ALTF10_WHAT = 0xCAFEBABE,
	// Filter's timer -> input stream -> filter: the first character of a
	// capture is overdue. Field STRIA_CAPTURE_FIELD names the capture. It
	// takes its place behind the keys already queued, which decide first,
	// and never reaches applications.
	STRIA_CAPTURE_TICK = 0x000CB71C,
	// Input server -> filters: one input device has reached the end of its
	// input (STRIA_SOURCE_FIELD names it), so nothing it typed is still to
	// come. It never reaches applications.
	STRIA_INPUT_ENDED = 0x000CBEEF,
	// Input server -> filters: recorded input (STRIA_SOURCE_FIELD names it)
	// will type nothing stamped earlier than its "when" (int64); it says so
	// before it waits for its next event. It never reaches applications.
	STRIA_INPUT_QUIET = 0x000CBEE5,
	// Input server -> filters: the kernel dropped events of one input device
	// (STRIA_SOURCE_FIELD names it) at "when" (int64), because the server
	// read them too late; keys went missing there. It never reaches
	// applications.
	STRIA_INPUT_DROPPED = 0x000CBEED
};

// Where a message of the input stream comes from, attached by the input
// server as the message enters the stream (whatever the message held under
// these names before is replaced):
//	STRIA_SOURCE_FIELD (int32): the input device, numbered by the server from 1;
//	STRIA_SOURCE_KIND_FIELD (int32): one of the kinds below.
// A message without them counts as coming from one keyboard, number 0. A
// scan is the keys of the source that typed its F10; another source's keys
// pass beside it.
inline constexpr char STRIA_SOURCE_FIELD[] = "stria:source";
inline constexpr char STRIA_SOURCE_KIND_FIELD[] = "stria:source_kind";

enum : int32 {
	// Keys someone's hands or a scanner type on a keyboard of the server
	// (an evdev device, a FIFO of records), as they come.
	STRIA_SOURCE_KEYBOARD = 1,
	// Whatever a device add-on enqueues (BInputServerDevice::EnqueueMessage),
	// keys it types included. Such keys never open or join a capture.
	STRIA_SOURCE_ADD_ON = 2,
	// Recorded keys the server plays (a file of input events, a replay
	// script). Recorded input knows what comes next: it says when it goes
	// quiet (STRIA_INPUT_QUIET) and ends (STRIA_INPUT_ENDED), so its keys are
	// told apart by their stamps alone, never by a timer, at whatever pace
	// they are played.
	STRIA_SOURCE_RECORDED = 3
};

// bool: set on the key-ups and modifier changes the input server makes up
// when a keyboard goes away, letting go of what it held. A modifier let go
// of that way was never a person's tap.
inline constexpr char STRIA_KEYBOARD_GONE_FIELD[] = "stria:keyboard_gone";

// int64: the capture a timer tick is for (see STRIA_CAPTURE_TICK).
inline constexpr char STRIA_CAPTURE_FIELD[] = "stria:capture";

// The pseudo-device that takes control requests, character for character.
inline constexpr char STRIA_DEVICE_NAME[] = "CueCat [Keyboard]";

// The keyboard the Linux input server types on (uinput), by the name the
// kernel and the X server give it: the typer reads that keyboard's own
// layout from the X server.
inline constexpr char STRIA_VIRTUAL_KEYBOARD_NAME[] = "Stria virtual keyboard";

// The typer's pseudo-device: an add-on that types each scan's code on the
// keyboard, reached like the scanner's device.
inline constexpr char STRIA_TYPER_DEVICE_NAME[] = "Stria Typer";

enum : uint32 {
	// Anyone -> device "Stria Typer": changes the settings its message names
	// (STRIA_TYPER_TYPE_FIELD, STRIA_TYPER_END_FIELD, STRIA_TYPER_DELAY_FIELD,
	// STRIA_TYPER_LAYOUT_FIELD, STRIA_TYPER_VARIANT_FIELD,
	// STRIA_TYPER_FREE_TEXT_FIELD; none: only a look) and answers
	// B_BAD_VALUE, changing nothing, when one of them is not a setting's
	// value or not of its type. Whether or not it changed anything, it sends
	// a message of this code holding every current setting to the messenger
	// of the STRIA_MESSENGER_FIELD, when there is one, with
	// STRIA_TYPER_REFUSAL_FIELD saying what was wrong when it refused; and
	// puts the settings into the caller's message (which reaches callers in
	// the same process).
	STRIA_TYPER_SETTINGS = 0x000CB7E5
};

// string: what is typed for a scan: "off", "data", "barcode", "isbn10", "label".
inline constexpr char STRIA_TYPER_TYPE_FIELD[] = "type";
// string: the key after the text: "enter", "tab", "none".
inline constexpr char STRIA_TYPER_END_FIELD[] = "end";
// int64: microseconds between two keys, 0 to 1000000.
inline constexpr char STRIA_TYPER_DELAY_FIELD[] = "key-delay";
// string: the XKB keyboard layout codes are typed for ("fr"); empty: the
// desktop's own. A new layout without a variant takes its basic variant.
inline constexpr char STRIA_TYPER_LAYOUT_FIELD[] = "layout";
// string: the layout's XKB variant ("nodeadkeys"); empty: its basic one.
inline constexpr char STRIA_TYPER_VARIANT_FIELD[] = "variant";
// bool: codes other than UPC, EAN and ISBN are typed too.
inline constexpr char STRIA_TYPER_FREE_TEXT_FIELD[] = "free-text";
// string, in the answer to a refused change: what was wrong.
inline constexpr char STRIA_TYPER_REFUSAL_FIELD[] = "refusal";

inline constexpr char STRIA_MESSENGER_FIELD[] = "messenger";
inline constexpr char STRIA_BARCODE_FIELD[] = "barcode";
inline constexpr char STRIA_ERROR_FIELD[] = "error";

// bool, on STRIA_CATSCAN: the code's check digit is wrong. The scan is
// shown and sent, marked so in its label, and never typed.
inline constexpr char STRIA_CHECK_FAILED_FIELD[] = "stria:check_failed";

// On each key message a device add-on types for one code: int64, the same
// number for every key of that code, so that the keys of a person typing
// meanwhile are kept out of it; and bool, true on the code's last message,
// after which nothing of that code is held (a typer stopped midway sends
// it too, with its modifiers let go of).
inline constexpr char STRIA_TYPED_CODE_FIELD[] = "stria:typed_code";
inline constexpr char STRIA_TYPED_CODE_END_FIELD[] = "stria:typed_code_end";

#endif // STRIA_PROTOCOL_H
