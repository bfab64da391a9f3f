#pragma once
// A fake device root with pseudo-terminals standing in for a USB printer (usb/lp0) and a
// parallel port (lp0), and an owner window on its own thread.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/FakeDevices.h"
#include "tests/support/TestWindow.h"
#include "transport/CommonUtils.h"

namespace quillon {

class PortFixture : public ::testing::Test {
  protected:
    PortFixture()
        : env_("QUILLON_DEV_ROOT", root_.path()), window_(std::make_shared<TestWindow>()) {
        LinkNode(root_.path() + "/usb/lp0", usb_.slavePath());
        LinkNode(root_.path() + "/lp0", parallel_.slavePath());
    }

    // Opens on the window's thread, as the real window does.
    OpenOutcome OpenUsbOnWindow(CommonUtils& port, const std::string& path) {
        OpenOutcome result;
        window_->Invoke([&] { result = port.OpenUsb(window_, path.c_str()); });
        return result;
    }
    OpenOutcome OpenParallelOnWindow(CommonUtils& port, const char* name = "LPT1") {
        OpenOutcome result;
        window_->Invoke([&] { result = port.OpenParallel(window_, name); });
        return result;
    }
    void SendOnWindow(CommonUtils& port, const std::string& bytes) {
        window_->Invoke([&] { port.Send(bytes.data(), static_cast<int>(bytes.size())); });
    }

    static constexpr const char* kUsbPath = "/dev/usb/lp0#usb#vid_0416&pid_5011#1-2:1.0";
    static constexpr const char* kWriteOnlyUsbPath = "/dev/usb/lp0#usb#vid_067b&pid_2305#1-3:1.0";

    TempDir root_;
    ScopedEnv env_;
    PtyPair usb_;
    PtyPair parallel_;
    std::shared_ptr<TestWindow> window_;
};

}  // namespace quillon
