#include "X11Keymap.h"

#include "LayoutKeys.h"

#include <xcb/xcb.h>
// The XKB header of xcb names a field "explicit", which C++ reserves.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xcb/xinput.h>
#include <xkbcommon/xkbcommon-x11.h>
#include <xkbcommon/xkbcommon.h>

#include <StriaProtocol.h>

#include <cstdlib>
#include <string>

namespace {

// The notices that change what a character's key is.
constexpr uint16 kEvents = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY | XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                           XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
constexpr uint16 kMapParts = XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS |
                             XCB_XKB_MAP_PART_MODIFIER_MAP | XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS |
                             XCB_XKB_MAP_PART_KEY_ACTIONS | XCB_XKB_MAP_PART_VIRTUAL_MODS |
                             XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;

// Every XKB notice starts so: the kind of notice is its second byte.
struct XkbNotice {
	uint8_t response_type;
	uint8_t xkbType;
	uint16_t sequence;
	xcb_timestamp_t time;
};

// The X input device of the server's virtual keyboard, or -1. Its keymap is
// the one the X server applies to what Stria types: a desktop may give each
// keyboard a layout of its own, and the core keyboard takes a device's
// keymap only once that device has typed.
int32 VirtualKeyboardDevice(xcb_connection_t* connection)
{
	free(xcb_input_xi_query_version_reply(connection, xcb_input_xi_query_version(connection, 2, 0),
	                                      nullptr));
	xcb_input_xi_query_device_reply_t* reply = xcb_input_xi_query_device_reply(
	        connection, xcb_input_xi_query_device(connection, XCB_INPUT_DEVICE_ALL), nullptr);
	if (reply == nullptr)
		return -1;
	int32 device = -1;
	for (auto it = xcb_input_xi_query_device_infos_iterator(reply); it.rem > 0;
	     xcb_input_xi_device_info_next(&it)) {
		const xcb_input_xi_device_info_t* info = it.data;
		const std::string name(xcb_input_xi_device_info_name(info),
		                       xcb_input_xi_device_info_name_length(info));
		if (info->type == XCB_INPUT_DEVICE_TYPE_SLAVE_KEYBOARD &&
		    name == STRIA_VIRTUAL_KEYBOARD_NAME) {
			device = info->deviceid;
			break;
		}
	}
	free(reply);
	return device;
}

} // namespace

std::unique_ptr<X11Keymap> X11Keymap::Connect(const std::string& display, std::string* error)
{
	const std::string where = "X display " + display;
	xcb_connection_t* connection = xcb_connect(display.c_str(), nullptr);
	if (xcb_connection_has_error(connection)) {
		xcb_disconnect(connection);
		*error = where + " does not answer";
		return nullptr;
	}
	uint8_t firstEvent = 0;
	if (!xkb_x11_setup_xkb_extension(
	            connection, XKB_X11_MIN_MAJOR_XKB_VERSION, XKB_X11_MIN_MINOR_XKB_VERSION,
	            XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr, &firstEvent, nullptr)) {
		xcb_disconnect(connection);
		*error = where + " has no XKB extension";
		return nullptr;
	}
	int32_t device = VirtualKeyboardDevice(connection);
	if (device < 0)
		device = xkb_x11_get_core_keyboard_device_id(connection);
	xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_DEFAULT_INCLUDES);
	if (device < 0 || context == nullptr) {
		if (context != nullptr)
			xkb_context_unref(context);
		xcb_disconnect(connection);
		*error = where + " names no core keyboard";
		return nullptr;
	}
	// Only changes of the locked group among state changes: every Shift a
	// person presses would be a notice otherwise.
	xcb_xkb_select_events_details_t details = {};
	details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
	details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
	details.affectState = XCB_XKB_STATE_PART_GROUP_LOCK;
	details.stateDetails = XCB_XKB_STATE_PART_GROUP_LOCK;
	xcb_void_cookie_t cookie = xcb_xkb_select_events_aux_checked(
	        connection, static_cast<xcb_xkb_device_spec_t>(device), kEvents, 0, 0, kMapParts,
	        kMapParts, &details);
	if (xcb_generic_error_t* failed = xcb_request_check(connection, cookie)) {
		free(failed);
		xkb_context_unref(context);
		xcb_disconnect(connection);
		*error = where + " refused to send keymap notices";
		return nullptr;
	}

	std::unique_ptr<X11Keymap> keymap(
	        new X11Keymap(display, connection, context, firstEvent, device));
	if (!keymap->_ReadKeymap()) {
		*error = where + " gave no keymap";
		return nullptr;
	}
	return keymap;
}

X11Keymap::X11Keymap(std::string display, xcb_connection_t* connection, xkb_context* context,
                     uint8 firstEvent, int32 device)
    : fDisplay(std::move(display)), fConnection(connection), fContext(context),
      fFirstEvent(firstEvent), fDevice(device)
{
}

X11Keymap::~X11Keymap()
{
	if (fKeymap != nullptr)
		xkb_keymap_unref(fKeymap);
	xkb_context_unref(fContext);
	xcb_disconnect(fConnection);
}

bool X11Keymap::_ReadKeymap()
{
	xkb_keymap* keymap = xkb_x11_keymap_new_from_device(fContext, fConnection, fDevice,
	                                                    XKB_KEYMAP_COMPILE_NO_FLAGS);
	if (keymap == nullptr)
		return false;
	xkb_state* state = xkb_x11_state_new_from_device(keymap, fConnection, fDevice);
	if (state == nullptr) {
		xkb_keymap_unref(keymap);
		return false;
	}
	fGroup = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_LOCKED);
	xkb_state_unref(state);
	if (fKeymap != nullptr)
		xkb_keymap_unref(fKeymap);
	fKeymap = keymap;
	_Build();
	return true;
}

void X11Keymap::_Build()
{
	// A locked group past the last wraps around, as the server counts it.
	const xkb_layout_index_t groups = xkb_keymap_num_layouts(fKeymap);
	const uint32 group = groups == 0 ? 0 : fGroup % groups;
	const char* name = xkb_keymap_layout_get_name(fKeymap, group);
	fLayout = LayoutKeys::FromKeymap(fKeymap, group,
	                                 std::string("\"") + (name != nullptr ? name : "?") +
	                                         "\" of X display " + fDisplay);
}

std::shared_ptr<const LayoutKeys> X11Keymap::Current(std::string* error)
{
	bool newKeymap = false;
	bool newGroup = false;
	while (xcb_generic_event_t* event = xcb_poll_for_event(fConnection)) {
		const XkbNotice* notice = reinterpret_cast<const XkbNotice*>(event);
		if ((event->response_type & 0x7f) == fFirstEvent) {
			if (notice->xkbType == XCB_XKB_STATE_NOTIFY) {
				auto* state = reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
				newGroup = newGroup || state->lockedGroup != fGroup;
				fGroup = state->lockedGroup;
			} else {
				newKeymap = true;
			}
		}
		free(event);
	}
	if (xcb_connection_has_error(fConnection)) {
		*error = "the connection to X display " + fDisplay + " is lost";
		return nullptr;
	}
	if (newKeymap && !_ReadKeymap()) {
		*error = "X display " + fDisplay + " gave no keymap";
		return nullptr;
	}
	if (newGroup && !newKeymap)
		_Build();
	if (!fLayout)
		*error = "the keymap of X display " + fDisplay + " cannot be read";
	return fLayout;
}
