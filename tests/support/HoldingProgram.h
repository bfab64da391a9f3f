#pragma once
// Another program, as a port's other user: `sleep` in a process of its own that, when given
// a device, opens it and holds a flock on it for as long as it lives, as a serial terminal
// program does.

#include <sys/types.h>

#include <string>

namespace quillon {

class HoldingProgram {
  public:
    explicit HoldingProgram(const std::string& device = {});
    ~HoldingProgram();
    HoldingProgram(const HoldingProgram&) = delete;
    HoldingProgram& operator=(const HoldingProgram&) = delete;

    pid_t pid() const { return pid_; }
    // Ends the program and waits for it, so that its pid names no live process.
    void End();

  private:
    pid_t pid_ = -1;
};

}  // namespace quillon
