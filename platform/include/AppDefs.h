// Application kit: the system's message codes, with the platform's values.
#ifndef _APP_DEFS_H
#define _APP_DEFS_H

#include <Message.h>

// B_QUIT_REQUESTED, B_READY_TO_RUN, B_NO_REPLY and B_MESSAGE_NOT_UNDERSTOOD
// come with <Message.h>.
enum system_message_code {
	B_ABOUT_REQUESTED = '_ABR',
	B_WINDOW_ACTIVATED = '_ACT',
	B_APP_ACTIVATED = '_ACT',
	B_ARGV_RECEIVED = '_ARG',
	B_CLOSE_REQUESTED = '_QRQ',
	B_CANCEL = '_CNC',
	B_KEY_DOWN = '_KYD',
	B_KEY_UP = '_KYU',
	B_UNMAPPED_KEY_DOWN = '_UKD',
	B_UNMAPPED_KEY_UP = '_UKU',
	B_MODIFIERS_CHANGED = '_MCH',
	B_MINIMIZE = '_WMZ',
	B_MOUSE_DOWN = '_MDN',
	B_MOUSE_MOVED = '_MMV',
	B_MOUSE_ENTER_EXIT = '_MEX',
	B_MOUSE_UP = '_MUP',
	B_MOUSE_WHEEL_CHANGED = '_MWC',
	B_OPEN_IN_WORKSPACE = '_OWS',
	B_PULSE = '_PUL',
	B_REFS_RECEIVED = '_RRC',
	B_SCREEN_CHANGED = '_SCH',
	B_VALUE_CHANGED = '_VCH',
	B_VIEW_MOVED = '_VMV',
	B_VIEW_RESIZED = '_VRS',
	B_WINDOW_MOVED = '_WMV',
	B_WINDOW_RESIZED = '_WRS',
	B_WORKSPACES_CHANGED = '_WCG',
	B_WORKSPACE_ACTIVATED = '_WAC',
	B_ZOOM = '_WZM'
};

#endif // _APP_DEFS_H
