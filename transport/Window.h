#pragma once
// What the transport needs of the window that owns it: synchronous messages and a
// message box. The dialog layer implements it over Qt; tests implement it on a plain thread.

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
constexpr unsigned UM_TX_DONE = WM_USER + 9;       // wParam: bytes written by one send
constexpr unsigned UM_NET_CLOSED = WM_USER + 107;  // the network peer closed the connection

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
