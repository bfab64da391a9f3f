#pragma once
// A terminal layer for tests: configuration and flushes still reach the device (so a
// pseudo-terminal runs in raw mode), but each is recorded, and the modem lines are
// simulated: the test raises and drops CTS, DSR and DCD and reads what DTR and RTS were
// set to.

#include <memory>
#include <mutex>
#include <vector>

#include "transport/platform/TtyLayer.h"

namespace quillon {

class FakeTtyLayer : public TtyLayer {
  public:
    bool IsTerminal(int fd) override;
    bool Apply(int fd, const SerialLineSettings& settings) override;
    bool SetLines(int fd, bool dtr, bool rts) override;
    LineSupport GetLines(int fd, int* bits) override;
    bool Flush(int fd, TtyQueue queue) override;

    // The input lines the "device" shows from now on (kLineCts | kLineDsr | kLineDcd ...).
    void SetInputLines(int bits);
    // What GetLines answers from now on.
    void SetLineSupport(LineSupport support);

    std::vector<SerialLineSettings> Applied() const;
    // DTR and RTS as last set; -1 while never set.
    int dtr() const;
    int rts() const;
    int GetLinesCalls() const;
    std::vector<TtyQueue> Flushes() const;

  private:
    mutable std::mutex lock_;
    std::vector<SerialLineSettings> applied_;
    std::vector<TtyQueue> flushes_;
    int inputLines_ = 0;
    LineSupport support_ = LineSupport::kOk;
    int dtr_ = -1;
    int rts_ = -1;
    int getLinesCalls_ = 0;
};

// Puts a layer in place for the life of the object, then the one before it.
class ScopedTtyLayer {
  public:
    explicit ScopedTtyLayer(std::shared_ptr<TtyLayer> layer)
        : previous_(SetTtyLayer(std::move(layer))) {}
    ~ScopedTtyLayer() { SetTtyLayer(previous_); }
    ScopedTtyLayer(const ScopedTtyLayer&) = delete;
    ScopedTtyLayer& operator=(const ScopedTtyLayer&) = delete;

  private:
    std::shared_ptr<TtyLayer> previous_;
};

}  // namespace quillon
