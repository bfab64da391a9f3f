#include "printer/app/PortMapEntry.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

namespace quillon {

namespace {

std::vector<std::string> ReadLines(const std::string& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(line);
    return lines;
}

// The number of a "COM<n>=" line, else 0.
int NumberOf(const std::string& line) {
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    if (line.size() < i + 4 || std::toupper(line[i]) != 'C' || std::toupper(line[i + 1]) != 'O' ||
        std::toupper(line[i + 2]) != 'M')
        return 0;
    i += 3;
    int n = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && n < 100000)
        n = n * 10 + (line[i++] - '0');
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    return i < line.size() && line[i] == '=' ? n : 0;
}

bool WriteLines(const std::string& file, const std::vector<std::string>& lines) {
    const std::string temp = file + ".tmp";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const auto& line : lines)
            out << line << '\n';
        if (!out)
            return false;
    }
    return std::rename(temp.c_str(), file.c_str()) == 0;
}

}  // namespace

PortMapEntry::~PortMapEntry() {
    Remove();
}

bool PortMapEntry::Register(const std::string& file, int number, const std::string& device,
                            std::string& error) {
    std::error_code ec;
    const auto parent = std::filesystem::path(file).parent_path();
    if (!parent.empty())
        std::filesystem::create_directories(parent, ec);
    std::vector<std::string> lines = ReadLines(file);
    if (number == 0) {
        std::set<int> used;
        for (const auto& line : lines)
            used.insert(NumberOf(line));
        number = 9;
        while (used.count(number))
            ++number;
    }
    std::erase_if(lines, [number](const std::string& line) { return NumberOf(line) == number; });
    line_ = "COM" + std::to_string(number) + "=" + device;
    lines.push_back(line_);
    if (!WriteLines(file, lines)) {
        error = "cannot write the port map " + file + ": " + std::strerror(errno);
        line_.clear();
        return false;
    }
    file_ = file;
    number_ = number;
    return true;
}

void PortMapEntry::Remove() {
    if (line_.empty())
        return;
    std::vector<std::string> lines = ReadLines(file_);
    std::erase(lines, line_);
    WriteLines(file_, lines);
    line_.clear();
}

}  // namespace quillon
