#pragma once
// Writing files in folders that others may write to as well (a shared save folder, /tmp):
// a file is complete or not there at all, and a symlink someone planted at its name is never
// followed. Each call returns 0, or the errno that says why the file was not written.

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <string_view>

namespace quillon {

// Creates `path` only while nothing has that name (not even a dangling symlink), writes the
// parts to it and syncs it. EEXIST when the name is taken; after any other failure the file
// is removed again.
int CreateNewFile(const std::string& path, std::initializer_list<std::string_view> parts);

// Puts the parts in place of `path` in one step: they go to a new temporary file in the same
// folder, which is synced and then renamed over `path`. A symlink at `path` is replaced, not
// followed; a file replaced keeps its permissions. On failure `path` is left as it was.
int ReplaceFile(const std::string& path, std::initializer_list<std::string_view> parts);

// Appends data to `path`, creating it when missing, but never through a symlink at `path`.
// An append that fails is cut off again, and a file this call created is removed again.
int AppendToFile(const std::string& path, std::string_view data);

// Writes every part to fd, going on after short writes and signals; 0 or the errno.
int WriteParts(int fd, std::initializer_list<std::string_view> parts);

}  // namespace quillon
