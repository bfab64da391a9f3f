#include "transport/platform/Folders.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace quillon {

std::string ConfigFolder() {
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        return std::string(config) + "/Quillon/";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config/Quillon/";
}

std::string ProgramFolder() {
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error)
        return "./";
    std::string folder = program.parent_path().string();
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string DataFolder() {
    return DataFolderFor(ProgramFolder());
}

std::string DataFolderFor(const std::string& program) {
    const std::string installed = program + "../share/quillon/";
    std::error_code error;
    if (std::filesystem::is_directory(installed, error))
        return std::filesystem::path(installed).lexically_normal().string();
    return program;
}

}  // namespace quillon
