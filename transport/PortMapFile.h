#pragma once
// The port map's lines: "COM<n>=<device path>", where a blank followed by '#' starts a
// comment. A virtual printer's line names its process in that comment,
// "COM9=/dev/pts/4 # quillon-printer pid 1234", so that a line whose printer has ended can
// be told from a live one. Blank lines and lines starting with '#' are no entries. Only a
// regular file of at most kMaxPortMapSize bytes is read as a map.

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr size_t kMaxPortMapSize = 1u << 20;

struct PortMapLine {
    int number = 0;    // n of "COM<n>", at least 1
    std::string path;  // as written, blanks around it taken off
    pid_t owner = 0;   // the printer process that wrote the line; 0 when it names none
};

// The entry a line holds, or nothing for a line that is no entry: a NUL in the path, a number
// that does not fit an int or is below 1, anything without "COM<digits>=<path>".
std::optional<PortMapLine> ParsePortMapLine(std::string_view line);
// The text of an entry's line, with its owner's comment when it has one (no line end).
std::string PortMapLineText(const PortMapLine& entry);
// True for an entry whose owner process no longer exists.
bool OwnerGone(const PortMapLine& entry);

// The whole map from the open file fd. False, with the reason in `problem`, for anything
// that is not a regular file of at most kMaxPortMapSize bytes or cannot be read.
bool ReadPortMapText(int fd, std::string& text, std::string& problem);
// The same from a path; a missing file is an empty map. Never waits for a FIFO's writer.
bool ReadPortMapFile(const std::string& path, std::string& text, std::string& problem);
// The lines of a map's text, without their line ends.
std::vector<std::string> PortMapLines(std::string_view text);

}  // namespace quillon
