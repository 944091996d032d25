// Where the server finds its add-ons when no folder is given.
#ifndef STRIA_ADD_ON_FOLDER_H
#define STRIA_ADD_ON_FOLDER_H

#include <string>

namespace stria {

// programFolder: the folder of the running program. From a build tree
// (<build>/bin, with <build>/CMakeCache.txt) that is <build>/add-ons; from
// an installation (<prefix>/bin) the installed add-on folder under prefix.
std::string DefaultAddOnFolder(const std::string& programFolder);

// The folder of the running program, from /proc/self/exe; empty if unknown.
std::string ProgramFolder();

} // namespace stria

#endif // STRIA_ADD_ON_FOLDER_H
