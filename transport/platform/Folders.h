#pragma once
// The folders the program keeps its files in. Every folder comes with a trailing '/'.

#include <string>

namespace quillon {

// The settings folder: $XDG_CONFIG_HOME/Quillon/, or ~/.config/Quillon/ when that is unset.
std::string ConfigFolder();
// The folder of the running executable; "./" when /proc/self/exe cannot be read.
std::string ProgramFolder();
// Where read-only data lives (the model test files, the virtual printer's data): an
// installed program (<prefix>/bin/quillon) finds it in <prefix>/share/quillon/, that is
// the program folder's ../share/quillon/ when that folder exists; a program run from the
// build tree finds it in the program folder itself, where the build copies it.
std::string DataFolder();
// The same rule for a program in `programFolder` (given with its trailing '/').
std::string DataFolderFor(const std::string& programFolder);

}  // namespace quillon
