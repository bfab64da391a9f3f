// One pass over the ticked serial ports or network printers: open, write, close, next.

#include <cstdio>
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

// A record of the day file: the target, then the text that names it, then a line end.
void RecordInDayFile(const std::string& target, const std::string& text) {
    std::string reason;
    if (!AppendToDailyFile(target + text + "\n", &reason))
        LogWriteFormat("CycleSend::RecordInDayFile", kLogFileName, kSourceName, __LINE__,
                       "The day file cannot be written (%s): %s", reason.c_str(), text.c_str());
}

// Writes the pieces of one target's data in turn, counting what went out; once a piece
// does not go out whole the rest is not tried.
class TargetWrite {
  public:
    TargetWrite(const CycleContext& context, CycleDevice device, int fd, std::string target)
        : context_(context), device_(device), fd_(fd), target_(std::move(target)) {}

    bool Write(Piece piece) {
        total_ += piece.length;
        if (!complete_)
            return false;
        const std::size_t written =
            WriteEveryByte(device_, fd_, piece.data, piece.length, context_.cancel.fd());
        sent_ += written;
        complete_ = written == piece.length;
        return complete_;
    }

    // A target that did not take every byte goes to the log and the day file, with the
    // count that went out; cut short because the page has gone, it is not its failure.
    // Returns whether every byte went out.
    bool Report() const {
        if (complete_ || context_.closed)
            return complete_;
        LogWriteFormat("CycleSend::TargetWrite", kLogFileName, kSourceName, __LINE__,
                       "%s took %zu of %zu bytes.", target_.c_str(), sent_, total_);
        char count[160];
        std::snprintf(count, sizeof count, context_.texts.sentCount.c_str(),
                      static_cast<unsigned long long>(sent_),
                      static_cast<unsigned long long>(total_));
        RecordInDayFile(target_, WithName(context_.texts.sendFailed, target_) + " " + count);
        return false;
    }

  private:
    const CycleContext& context_;
    const CycleDevice device_;
    const int fd_;
    const std::string target_;
    std::size_t sent_ = 0;
    std::size_t total_ = 0;
    bool complete_ = true;
};

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
        TargetWrite write(context, CycleDevice::kTerminal, port.GetSerialHandle(), target.name);
        const Piece data{pass.buffer.data(), pass.buffer.size()};
        if (pass.chineseMode && !pass.hex) {
            write.Write({escpos::kChineseModeOn, sizeof escpos::kChineseModeOn});
            write.Write(data);
            write.Write({escpos::kChineseModeOff, sizeof escpos::kChineseModeOff});
        } else {
            write.Write(data);
        }
        write.Report();
        port.Close();
    }
    return true;
}

namespace {

// Sends the pass's bytes on a connected printer; false when some did not go out.
bool SendToPrinter(const CycleContext& context, const CyclePass& pass, int fd,
                   const std::string& address) {
    TargetWrite write(context, CycleDevice::kSocket, fd, address);
    const Piece data{pass.buffer.data(), pass.buffer.size()};
    if (!pass.chineseMode || pass.hex) {
        write.Write(data);
        return write.Report();
    }
    if (write.Write({escpos::kChineseModeOn, sizeof escpos::kChineseModeOn}) &&
        WaitStop(context.cancel.fd(), kChineseModeSettleMs))
        return false;
    write.Write(data);
    write.Write({escpos::kChineseModeOff, sizeof escpos::kChineseModeOff});
    return write.Report();
}

}  // namespace

bool RunNetworkPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass) {
    CommonUtils port;
    // Every printer took all of the pass's bytes.
    bool served = true;
    for (const CycleTarget& target : pass.targets) {
        if (context.closed)
            return false;
        const std::string& address = target.name;
        // Whatever a printer answers is dropped, so the connection reports to no window.
        if (port.OpenNetwork(nullptr, address.c_str(), pass.tcpPort)) {
            served = SendToPrinter(context, pass, port.GetSocket(), address) && served;
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
        served = false;
    }
    // Only a pass that served every printer makes the page tolerant of failures.
    if (served)
        context.stopAtFailure = false;
    return true;
}

}  // namespace quillon
