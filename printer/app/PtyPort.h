#pragma once
// The printer's serial side: a pseudo-terminal in raw mode. The printer keeps its own handle
// on the terminal side, so a client that closes it never leaves the printer's end hung up
// (which would make poll() report it ready forever).

#include <string>

namespace quillon {

class PtyPort {
  public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Opens the pair; false with the reason in `error`.
    bool Open(std::string& error);
    int fd() const { return master_; }                 // the printer's end, non-blocking
    const std::string& path() const { return path_; }  // what clients open

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};

}  // namespace quillon
