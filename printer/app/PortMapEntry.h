#pragma once
// The printer's line "COM<n>=<path>" in a port map file, there for as long as the object
// lives. Other lines of the file are kept as they are.

#include <string>

namespace quillon {

class PortMapEntry {
  public:
    PortMapEntry() = default;
    ~PortMapEntry();
    PortMapEntry(const PortMapEntry&) = delete;
    PortMapEntry& operator=(const PortMapEntry&) = delete;

    // Writes the line for `device` as COM<number>, or the first number from 9 on that the
    // file does not use when number is 0. False with the reason in `error`.
    bool Register(const std::string& file, int number, const std::string& device,
                  std::string& error);
    int number() const { return number_; }
    // Takes the line out again.
    void Remove();

  private:
    std::string file_;
    std::string line_;
    int number_ = 0;
};

}  // namespace quillon
