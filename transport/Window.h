#pragma once
// What the transport needs of the window that owns it: synchronous messages and a
// message box. The dialog layer implements it over Qt; tests implement it on a plain thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace quillon {

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

constexpr unsigned WM_USER = 0x0400;
// Messages a transport sends to its owner.
constexpr unsigned UM_LINE_STATUS = WM_USER + 2;   // a modem input line changed
constexpr unsigned UM_RX_BYTE = WM_USER + 7;       // wParam: one received byte (low 8 bits)
constexpr unsigned UM_RX_BLOCK = WM_USER + 8;      // wParam: const ReceivedBlock*, one read
constexpr unsigned UM_TX_DONE = WM_USER + 9;       // wParam: bytes written by one send;
                                                   // lParam: const SendReport*, its report
constexpr unsigned UM_TX_HELD = WM_USER + 10;      // wParam: ms the printer has taken nothing
                                                   // for while a block waits; 0: it takes again
constexpr unsigned UM_NET_CLOSED = WM_USER + 107;  // the network peer closed the connection
// A session log to its owner: it cannot be written any more (said once per log).
constexpr unsigned UM_SESSION_LOG_FAILED = WM_USER + 110;

// What one read returned, handed to the owner in one UM_RX_BLOCK. The bytes belong to the
// reader and stay valid only while the message is being handled. To the owner it stands for
// one UM_RX_BYTE per byte, handled in order while the reader still belongs to the open port:
// a Close or a reopen inside the handling of one byte ends the rest of the block.
struct ReceivedBlock {
    const std::uint8_t* bytes = nullptr;
    std::size_t count = 0;
    bool signWidened = false;  // as UM_RX_BYTE, a byte of 0x80 or more carries its sign
    const std::atomic<std::uint32_t>* runId = nullptr;
    std::uint32_t reader = 0;

    bool Live() const { return runId && reader != 0 && runId->load() == reader; }

    // The wParam of the UM_RX_BYTE that stands for byte i.
    WPARAM ByteParam(std::size_t i) const {
        if (signWidened)
            return static_cast<WPARAM>(static_cast<LPARAM>(static_cast<signed char>(bytes[i])));
        return static_cast<WPARAM>(bytes[i]);
    }
};

// Hands the bytes of a block to a one-byte handler, handle(wParam), in order, for as long
// as the block stays live and keepGoing() holds. Returns how many were handed.
template <class Handle, class KeepGoing>
std::size_t ForEachReceivedByte(const ReceivedBlock& block, Handle&& handle,
                                KeepGoing&& keepGoing) {
    std::size_t i = 0;
    for (; i < block.count && block.Live() && keepGoing(); ++i)
        handle(block.ByteParam(i));
    return i;
}

class Window {
  public:
    virtual ~Window() = default;

    // Delivers a message and returns only after the window's thread has handled it.
    // On the window's own thread the handler runs directly. Once the window is gone
    // the call does nothing and returns 0.
    virtual LRESULT SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) = 0;

    // Shows a message box with one OK button; called on the window's own thread.
    virtual void MessageBox(const std::string& text) = 0;
};

// Workers keep the window reference alive; the window itself decides when it is gone.
using WindowRef = std::shared_ptr<Window>;

}  // namespace quillon
