// The canned printer commands: the print test line, and the Others page's cut, cash drawer
// kick, status and identity requests, all through the one send routine; and the page's way
// to the session logs' folder.

#include "app/CQuillonDlg.h"
#include "escpos/Commands.h"

namespace quillon {

void CQuillonDlg::OnPrintTest() {
    // Raw: neither the line end nor the Chinese-mode wrapper is added.
    const QByteArray printTest = QByteArrayLiteral("Print test OK!\r\n\r\n\r\n");
    if (state_.port.open) {
        SendData(printTest, 0, 0, 1);
        return;
    }
    // With the port closed it goes to the cycle page's targets, as Send does.
    CycleSendState pass = SendStateForCycle();
    pass.lastSendText = QString::fromLatin1(printTest);
    pass.hexSend = pass.sendNewLine = pass.chineseMode = false;
    cycleSendOverride_ = pass;
    SendToCyclePage(1, 0);
    cycleSendOverride_.reset();
}

LRESULT CQuillonDlg::OnPrinterCommand(LPARAM command) {
    // The commands take the ordinary path, so a ticked "Send NewLine" adds its line end.
    switch (command) {
        case kPrintTestCommand:
            SendData(QByteArrayLiteral("Print test OK!\r\n"), 0, 0, 0);
            break;
        case kCutPaperCommand:
            SendData(QByteArray(escpos::kCutPaperHex), 1, 0, 0);
            break;
        case kCashDrawerCommand:
            SendData(QByteArray(escpos::kOpenCashDrawerHex), 1, 0, 0);
            break;
        case kStatusCommand:
            AskPrinter(PrinterQuery::kStatus);
            break;
        case kIdentifyCommand:
            AskPrinter(PrinterQuery::kIdentity);
            break;
        case kSessionLogCommand:
            ShowSessionLogs();
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace quillon
