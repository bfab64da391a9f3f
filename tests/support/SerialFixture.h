#pragma once
// A pseudo-terminal registered as COM1 through a port map file, discovery pointed at an
// empty device tree, an owner window on its own thread, and the fake terminal layer.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/FakeDevices.h"
#include "tests/support/FakeTtyLayer.h"
#include "tests/support/TestWindow.h"
#include "transport/CommonUtils.h"
#include "transport/SerialLines.h"

namespace quillon {

class SerialFixture : public ::testing::Test {
  protected:
    static constexpr int kAllEvents = EV_RXCHAR | EV_CTS | EV_DSR | EV_RLSD;  // 0x39

    SerialFixture()
        : devRootEnv_("QUILLON_DEV_ROOT", root_.path() + "/dev"),
          sysfsEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          tty_(std::make_shared<FakeTtyLayer>()),
          ttyScope_(tty_),
          window_(std::make_shared<TestWindow>()) {
        WriteMap("COM1=" + pty_.slavePath() + "\n");
    }

    void WriteMap(const std::string& content) { root_.WriteFile("ports", content); }

    // Opens on the window's thread, as the real window does.
    OpenOutcome Open(CommonUtils& port, int number, int baud = 9600, char parity = 'N',
                     int data = 8, int stop = 1, int flow = 0, int mask = kAllEvents, int dtr = 1,
                     int rts = 1) {
        OpenOutcome result;
        window_->Invoke([&] {
            result =
                port.OpenSerial(window_, number, baud, parity, data, stop, flow, mask, dtr, rts);
        });
        return result;
    }
    void SendOnWindow(CommonUtils& port, const std::string& bytes) {
        window_->Invoke([&] { port.Send(bytes.data(), static_cast<int>(bytes.size())); });
    }
    void CloseOnWindow(CommonUtils& port) {
        window_->Invoke([&] { port.Close(); });
    }

    TempDir root_;
    ScopedEnv devRootEnv_;
    ScopedEnv sysfsEnv_;
    ScopedEnv mapEnv_;
    PtyPair pty_;
    std::shared_ptr<FakeTtyLayer> tty_;
    ScopedTtyLayer ttyScope_;
    std::shared_ptr<TestWindow> window_;
};

}  // namespace quillon
