// Open, send, close and reopen in a loop while bytes flow both ways, with closes and
// reopens from inside the message handlers and transports destroyed under their workers.
// Run under ThreadSanitizer and AddressSanitizer by scripts/test.sh.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <random>
#include <thread>

#include "tests/support/PortFixture.h"
#include "transport/WorkerThreads.h"

using namespace quillon;

namespace {

using namespace std::chrono_literals;

class TransportStressTest : public PortFixture {};

TEST_F(TransportStressTest, OpenSendCloseReopenWhileDataFlows) {
    std::atomic<bool> running{true};
    // The printer side: keeps sending and keeps reading, whatever the program does.
    std::thread printer([&] {
        char in[4096];
        const char out[] = "0123456789abcdef";
        while (running) {
            (void)write(usb_.master(), out, sizeof out - 1);
            (void)read(usb_.master(), in, sizeof in);
            (void)read(parallel_.master(), in, sizeof in);
            std::this_thread::sleep_for(1ms);
        }
    });

    auto port = std::make_unique<CommonUtils>();
    std::mt19937 random(7);
    int handlerReopens = 0;
    window_->SetHandler([&](unsigned message, WPARAM, LPARAM) -> LRESULT {
        if (!port)
            return 0;
        switch (random() % 40) {
            case 0:  // close and reopen from inside the handler
                port->Close();
                handlerReopens +=
                    static_cast<bool>(message == UM_TX_DONE ? port->OpenParallel(window_, "LPT1")
                                                            : port->OpenUsb(window_, kUsbPath));
                break;
            case 1:
                port->Close();
                break;
            case 2:  // the transport dies while its worker waits in this very message
                port = std::make_unique<CommonUtils>();
                break;
            case 3:
                port->Send("in handler", 10);
                break;
            default:
                break;
        }
        return 0;
    });

    const std::string block(6000, 'z');
    for (int round = 0; round < 300; ++round) {
        window_->Invoke([&] {
            if (!port)
                port = std::make_unique<CommonUtils>();
            if (port->portKind() == kPortNone) {
                if (round % 3 == 0)
                    port->OpenParallel(window_, "LPT1");
                else
                    port->OpenUsb(window_, round % 5 == 0 ? kWriteOnlyUsbPath : kUsbPath);
            }
            port->Send(block.data(), 1 + static_cast<int>(random() % block.size()));
            if (round % 7 == 0)
                port->Close();
            if (round % 11 == 0)
                port.reset();
        });
        std::this_thread::sleep_for(2ms);
    }
    window_->Invoke([&] { port.reset(); });
    running = false;
    printer.join();

    for (int i = 0; i < 2000 && LiveWorkerCount() != 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(LiveWorkerCount(), 0);
    EXPECT_GT(window_->Count(UM_TX_DONE), 0u);
    EXPECT_GT(window_->Count(UM_RX_BYTE), 0u);
    RecordProperty("handlerReopens", handlerReopens);

    // After all that, a fresh open still carries bytes both ways.
    usb_.DrainMaster(50);
    window_->SetHandler(nullptr);
    CommonUtils fresh;
    ASSERT_TRUE(OpenUsbOnWindow(fresh, kUsbPath));
    const std::size_t before = window_->Count(UM_RX_BYTE);
    SendOnWindow(fresh, "final");
    EXPECT_EQ(usb_.ReadMaster(5), "final");
    usb_.WriteMaster("back");
    EXPECT_TRUE(window_->WaitUntil([&] { return window_->Count(UM_RX_BYTE) >= before + 4; }));
    window_->Invoke([&] { fresh.Close(); });
}

}  // namespace
