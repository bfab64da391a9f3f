// The canned printer commands: the print test line, and the Others page's cut and cash
// drawer kick, all through the one send routine.

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
        case 0:
            SendData(QByteArrayLiteral("Print test OK!\r\n"), 0, 0, 0);
            break;
        case 1:
            SendData(QByteArray(escpos::kCutPaperHex), 1, 0, 0);
            break;
        case 2:
            SendData(QByteArray(escpos::kOpenCashDrawerHex), 1, 0, 0);
            break;
        default:
            break;
    }
    return 0;
}

}  // namespace quillon
