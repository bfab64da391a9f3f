// One pass over the ticked serial ports or network printers: open, write, close, next.

#include <cstdlib>
#include <string>

#include "escpos/Commands.h"
#include "pages/cycle/CycleContext.h"
#include "pages/cycle/CycleWrite.h"
#include "transport/CommonUtils.h"
#include "transport/Conversions.h"
#include "transport/DiagnosticLog.h"
#include "transport/platform/FdIo.h"

namespace quillon {

namespace {

constexpr const char* kSourceName = ".\\CycleSend";
constexpr int kPrinterTakesDataMs = 2000;  // a printer's time to take the data before the close
constexpr int kChineseModeSettleMs = 100;  // a printer's time to switch to its Chinese mode

struct Piece {
    const std::uint8_t* data;
    std::size_t length;
};

// Writes one piece and says whether every byte went out; a short write goes to the log.
bool WritePiece(const CycleContext& context, CycleDevice device, int fd, Piece piece,
                const std::string& target) {
    const std::size_t written =
        WriteEveryByte(device, fd, piece.data, piece.length, context.cancel.fd());
    if (written == piece.length)
        return true;
    // Cut short because the page has gone: not the printer's failure.
    if (context.closed)
        return false;
    LogWriteFormat("CycleSend::WritePiece", kLogFileName, kSourceName, __LINE__,
                   "%s took %zu of %zu bytes.", target.c_str(), written, piece.length);
    return false;
}

// A target that could not be opened while the run was still wanted: in a repeating run the
// main window is told first (it stops the run), then the page shows the text; the worker
// waits for both.
void ReportOpenFailure(const CycleContext& context, const CyclePass& pass,
                       const std::string& text) {
    if (!pass.onePass && context.mainWindow)
        context.mainWindow->SendMessage(UM_CYCLE_FAILED, 0, 0);
    if (context.page && !context.closed)
        context.page->MessageBox(text);
}

}  // namespace

std::string WithName(const std::string& text, const std::string& name) {
    std::string result = text;
    const std::size_t at = result.find("%s");
    if (at != std::string::npos)
        result.replace(at, 2, name);
    return result;
}

bool RunSerialPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass) {
    CommonUtils port;
    for (const CycleTarget& target : pass.targets) {
        if (context.closed)
            return false;
        // The digits after "COM".
        const int number = target.name.size() > 3 ? std::atoi(target.name.c_str() + 3) : 0;
        if (!port.OpenSerialByText(number, target.parameters.c_str())) {
            port.Close();
            if (!context.Wanted(mine))
                return false;
            const std::string text = WithName(context.texts.openFailed, target.name);
            ReportOpenFailure(context, pass, text);
            return false;
        }
        const int fd = port.GetSerialHandle();
        const Piece data{pass.buffer.data(), pass.buffer.size()};
        if (pass.chineseMode && !pass.hex) {
            WritePiece(context, CycleDevice::kTerminal, fd,
                       {escpos::kChineseModeOn, sizeof escpos::kChineseModeOn}, target.name);
            WritePiece(context, CycleDevice::kTerminal, fd, data, target.name);
            WritePiece(context, CycleDevice::kTerminal, fd,
                       {escpos::kChineseModeOff, sizeof escpos::kChineseModeOff}, target.name);
        } else {
            WritePiece(context, CycleDevice::kTerminal, fd, data, target.name);
        }
        port.Close();
    }
    return true;
}

namespace {

// Sends the pass's bytes on a connected printer; false when some did not go out.
bool SendToPrinter(const CycleContext& context, const CyclePass& pass, int fd,
                   const std::string& address) {
    const Piece data{pass.buffer.data(), pass.buffer.size()};
    if (!pass.chineseMode || pass.hex)
        return WritePiece(context, CycleDevice::kSocket, fd, data, address);
    bool complete = WritePiece(context, CycleDevice::kSocket, fd,
                               {escpos::kChineseModeOn, sizeof escpos::kChineseModeOn}, address);
    if (WaitStop(context.cancel.fd(), kChineseModeSettleMs))
        return false;
    complete = WritePiece(context, CycleDevice::kSocket, fd, data, address) && complete;
    return WritePiece(context, CycleDevice::kSocket, fd,
                      {escpos::kChineseModeOff, sizeof escpos::kChineseModeOff}, address) &&
           complete;
}

// A record of the day file: the address, then the text that names it, then a line end.
void RecordInDayFile(const std::string& address, const std::string& text) {
    if (!AppendToDailyFile(address + text + "\n"))
        LogWriteFormat("CycleSend::RecordInDayFile", kLogFileName, kSourceName, __LINE__,
                       "The day file cannot be written: %s", text.c_str());
}

}  // namespace

bool RunNetworkPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass) {
    CommonUtils port;
    for (const CycleTarget& target : pass.targets) {
        if (context.closed)
            return false;
        const std::string& address = target.name;
        // Whatever a printer answers is dropped, so the connection reports to no window.
        if (port.OpenNetwork(nullptr, address.c_str(), pass.tcpPort)) {
            const bool complete = SendToPrinter(context, pass, port.GetSocket(), address);
            if (!complete && !context.closed)
                RecordInDayFile(address, WithName(context.texts.sendFailed, address));
            WaitStop(context.cancel.fd(), kPrinterTakesDataMs);
            port.Close();
            continue;
        }
        port.Close();
        if (!context.Wanted(mine))
            return false;
        const std::string text = WithName(context.texts.openFailed, address);
        if (context.stopAtFailure) {
            ReportOpenFailure(context, pass, text);
            return false;
        }
        RecordInDayFile(address, text);
    }
    context.stopAtFailure = false;
    return true;
}

}  // namespace quillon
