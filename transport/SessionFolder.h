#pragma once
// The folder of the session logs: where it is, a new file in it for each session, and its
// size kept under a limit by removing the oldest sessions. A session being written holds a
// shared lock on its file, so that no program removes it from under another.

#include <cstdint>
#include <string>

namespace quillon {

// $XDG_STATE_HOME/Quillon/sessions/, or ~/.local/state/Quillon/sessions/ when it is unset.
std::string SessionFolder();

// Makes every missing folder of the path, private to the user; 0, or why it could not.
int MakeSessionFolder(const std::string& folder);

struct NewSessionFile {
    int fd = -1;  // open for appending, locked shared; -1 on failure
    std::string path;
    int error = 0;  // why it could not be made
};

// Makes the folder (private to the user) when it is missing and a new file in it named
// "<YYYY-mm-dd_HHMMSS>_<port>.log" from the local time `when` (seconds since the epoch),
// "-2", "-3", ... added when that name is taken. Never follows a symbolic link to a file.
NewSessionFile CreateSessionFile(const std::string& folder, const std::string& portName,
                                 std::int64_t when);

// Removes the oldest ".log" files of the folder until all of them together take at most
// limitBytes; the file `keep` and files another session holds stay. Returns the bytes left.
std::uint64_t PruneSessionFolder(const std::string& folder, std::uint64_t limitBytes,
                                 const std::string& keep);

}  // namespace quillon
