#include "transport/platform/SysfsTree.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "transport/platform/Blanks.h"

namespace quillon {

namespace fs = std::filesystem;

namespace {

// Splits "ttyUSB12" into "ttyUSB" and 12; a name without a trailing number gets -1.
std::pair<std::string, long> SplitTrailingNumber(const std::string& name) {
    std::size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1])))
        --end;
    if (end == name.size() || name.size() - end > 9)
        return {name, -1};
    return {name.substr(0, end), std::stol(name.substr(end))};
}

}  // namespace

bool NaturalNameLess(const std::string& a, const std::string& b) {
    const auto [prefixA, numberA] = SplitTrailingNumber(a);
    const auto [prefixB, numberB] = SplitTrailingNumber(b);
    if (prefixA != prefixB)
        return prefixA < prefixB;
    if (numberA != numberB)
        return numberA < numberB;
    return a < b;
}

std::vector<std::string> ListSysfsFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end(), NaturalNameLess);
    return names;
}

std::string ReadSysfsAttribute(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    if (!in || !std::getline(in, line))
        return {};
    return TrimBlanks(line);
}

std::string ReadUeventValue(const std::string& ueventFile, const std::string& key) {
    std::ifstream in(ueventFile);
    std::string line;
    const std::string prefix = key + "=";
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0)
            return TrimBlanks(line.substr(prefix.size()));
    }
    return {};
}

bool SysfsEntryExists(const std::string& path) {
    std::error_code error;
    return fs::exists(fs::symlink_status(path, error));
}

}  // namespace quillon
