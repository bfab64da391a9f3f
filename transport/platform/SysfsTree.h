#pragma once
// Reading the device tree below SysfsRoot(): folder listings and attribute files.

#include <string>
#include <vector>

namespace quillon {

// Names in a folder of the device tree, sorted so that "lp2" comes before "lp10".
// Empty when the folder is missing.
std::vector<std::string> ListSysfsFolder(const std::string& folder);
// The first line of an attribute file, without surrounding blanks; empty when missing.
std::string ReadSysfsAttribute(const std::string& file);
// The value of KEY=value in a uevent file; empty when missing.
std::string ReadUeventValue(const std::string& ueventFile, const std::string& key);
// True when the path exists as a file, folder or link (a link need not lead anywhere).
bool SysfsEntryExists(const std::string& path);
// Compares names by their letters, then by the number they end in.
bool NaturalNameLess(const std::string& a, const std::string& b);

}  // namespace quillon
