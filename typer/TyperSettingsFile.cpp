#include "TyperSettingsFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

std::string TyperSettingsPath()
{
	const char* config = getenv("XDG_CONFIG_HOME");
	if (config != nullptr && config[0] == '/')
		return std::string(config) + "/stria/typer.settings";
	const char* home = getenv("HOME");
	if (home != nullptr && home[0] != '\0')
		return std::string(home) + "/.config/stria/typer.settings";
	return {};
}

TyperSettingsText ReadTyperSettings(const std::string& path)
{
	struct stat info;
	if (path.empty() || (::stat(path.c_str(), &info) != 0 && errno == ENOENT))
		return {};

	const std::string name = "settings file " + path;
	if (::stat(path.c_str(), &info) != 0)
		return {{}, {name + ": " + strerror(errno)}};
	if (!S_ISREG(info.st_mode))
		return {{}, {name + ": not a regular file"}};
	std::ifstream file(path);
	if (!file)
		return {{}, {name + ": " + strerror(errno ? errno : EACCES)}};
	std::stringstream text;
	text << file.rdbuf();
	TyperSettingsText result = ParseTyperSettings(text.str());
	for (std::string& error : result.errors)
		error = name + ", " + error;
	return result;
}
