// Where the typer's settings file lies and what reading it gives.
#ifndef STRIA_TYPER_SETTINGS_FILE_H
#define STRIA_TYPER_SETTINGS_FILE_H

#include "TyperSettings.h"

#include <string>

// $XDG_CONFIG_HOME/stria/typer.settings, or ~/.config/stria/typer.settings
// when XDG_CONFIG_HOME is unset, empty or not an absolute path; empty when
// neither it nor HOME says where.
std::string TyperSettingsPath();

// The settings of the file at path: the defaults (nothing typed) when there
// is no file; otherwise every good line applied, and a line in errors for
// each bad one and for a file that cannot be read.
TyperSettingsText ReadTyperSettings(const std::string& path);

#endif // STRIA_TYPER_SETTINGS_FILE_H
