#pragma once
// Window messages and control notifications the dialogs exchange. The numbers are those
// of the classic window messages (WM_USER is 1024), so handlers and tests speak one language.

#include <cstdint>

#include "transport/Window.h"

namespace quillon {

// Framework messages.
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_NOTIFY = 0x004E;
constexpr unsigned WM_COMMAND = 0x0111;
constexpr unsigned WM_TIMER = 0x0113;
constexpr unsigned WM_DEVICECHANGE = 0x0219;
constexpr WPARAM DBT_DEVNODES_CHANGED = 0x0007;

// Messages between the main window and its pages.
constexpr unsigned UM_ENABLE_COMMANDS = WM_USER + 100;  // lParam: port open flag
constexpr unsigned UM_PRINTER_COMMAND = WM_USER + 101;  // lParam: a PrinterCommand
constexpr unsigned UM_CYCLE_UPDATE = WM_USER + 102;     // wParam: refill or apply; lParam: enable
constexpr unsigned UM_CYCLE_SEND = WM_USER + 105;       // wParam: 1 start, 0 stop; lParam: repeat
constexpr unsigned UM_CYCLE_FAILED = WM_USER + 106;     // a repeating cycle run failed
constexpr unsigned UM_MODEL_TEST = WM_USER + 108;       // lParam: model index 0 to 5
constexpr unsigned UM_ENABLE_TESTS = WM_USER + 109;     // lParam: port open flag

// What UM_PRINTER_COMMAND asks the main window for.
enum PrinterCommand : int {
    kPrintTestCommand = 0,  // "Print test OK!"
    kCutPaperCommand = 1,
    kCashDrawerCommand = 2,
    kStatusCommand = 3,      // ask the printer's status (DLE EOT 1 to 4) and show it
    kIdentifyCommand = 4,    // ask who the printer is (GS I) and show it
    kSessionLogCommand = 5,  // show the session logs' folder
};

// Notification codes carried by WM_COMMAND (high word of wParam) and WM_NOTIFY.
constexpr int BN_CLICKED = 0;
constexpr int CBN_SELCHANGE = 1;
constexpr int CBN_DROPDOWN = 7;
constexpr int EN_SETFOCUS = 0x0100;
constexpr int EN_CHANGE = 0x0300;
constexpr int LVN_ITEMCHANGED = -101;
constexpr int TCN_SELCHANGE = -551;

// WM_COMMAND packs the control id into the low and the notification into the high word.
constexpr WPARAM MakeCommandParam(int id, int code) {
    return (static_cast<WPARAM>(static_cast<std::uint16_t>(code)) << 16) |
           static_cast<std::uint16_t>(id);
}
constexpr int CommandId(WPARAM wParam) {
    return static_cast<std::uint16_t>(wParam & 0xFFFF);
}
constexpr int CommandCode(WPARAM wParam) {
    return static_cast<std::int16_t>((wParam >> 16) & 0xFFFF);
}

// Message box styles and results.
constexpr unsigned MB_OK = 0x0000;
constexpr unsigned MB_YESNO = 0x0004;
constexpr unsigned MB_ICONERROR = 0x0010;
constexpr unsigned MB_ICONQUESTION = 0x0020;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

}  // namespace quillon
