#include "AddOnFolder.h"

#include <filesystem>
#include <system_error>

namespace stria {

std::string DefaultAddOnFolder(const std::string& programFolder)
{
	namespace fs = std::filesystem;
	fs::path top = fs::path(programFolder).parent_path();
	std::error_code code;
	if (fs::exists(top / "CMakeCache.txt", code))
		return (top / "add-ons").string();
	return (top / STRIA_INSTALL_ADDON_DIR).string();
}

std::string ProgramFolder()
{
	std::error_code code;
	std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", code);
	if (code)
		return std::string();
	return program.parent_path().string();
}

} // namespace stria
