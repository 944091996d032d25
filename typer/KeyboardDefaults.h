// The system's keyboard configuration, /etc/default/keyboard, as Debian's
// keyboard-configuration and localectl write it: shell assignments of
// XKBMODEL, XKBLAYOUT, XKBVARIANT and XKBOPTIONS, quoted or not.
#ifndef STRIA_KEYBOARD_DEFAULTS_H
#define STRIA_KEYBOARD_DEFAULTS_H

#include "LayoutKeys.h"

#include <string_view>

// The names the text gives; a name it does not give stays empty. Comments,
// blank lines, other variables and "export" are skipped; a later
// assignment wins.
LayoutNames ParseKeyboardDefaults(std::string_view text);

#endif // STRIA_KEYBOARD_DEFAULTS_H
