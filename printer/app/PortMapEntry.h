#pragma once
// The printer's line "COM<n>=<path> # quillon-printer pid <pid>" in a port map file, there
// for as long as the object lives. Other lines of the file are kept as they are, except the
// lines of printers that have ended, which go the next time a printer registers. Every
// change holds the map's lock from reading to writing, and replaces the file in one step,
// so printers that start and stop together neither lose nor double a line, and a failed
// write (a full disk) leaves the map as it was. A map that is a symlink is written where
// the link leads.

#include <string>

namespace quillon {

class PortMapEntry {
  public:
    PortMapEntry() = default;
    ~PortMapEntry();  // removes the line, quietly
    PortMapEntry(const PortMapEntry&) = delete;
    PortMapEntry& operator=(const PortMapEntry&) = delete;

    // Writes the line for `device` as COM<number>, or the first number from 9 on that no
    // live line uses when number is 0. A number a live printer holds is refused. False with
    // the reason in `error`.
    bool Register(const std::string& file, int number, const std::string& device,
                  std::string& error);
    int number() const { return number_; }
    // Takes the line out again; false with the reason in `error` when the map could not
    // be written.
    bool Remove(std::string& error);

  private:
    std::string file_;  // where the map really is, its symlinks followed
    std::string line_;
    int number_ = 0;
};

}  // namespace quillon
