// Model test runs: the Test page asks for a printer family and the window sends that
// family's test file, a line every 30 ms, from the event loop so that the window stays
// alive. The six buttons wait until the run ends; closing the port or the window ends it.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "app/ModelTestFile.h"
#include "framework/Texts.h"
#include "pages/Dialog_TestButton.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {
constexpr int kModelLinePauseMs = 30;
// Feeds the last printed line out of the printer once the file is through.
const QByteArray kClosingFeed = QByteArrayLiteral("0D 0A 0D 0A");
}  // namespace

LRESULT CQuillonDlg::OnModelTest(LPARAM model) {
    return RunModelTest(static_cast<int>(model));
}

LRESULT CQuillonDlg::RunModelTest(int model) {
    // One run at a time, and only to an open port.
    if (modelTestRunning_ || !state_.port.open)
        return 0;
    modelTestFile_ = ModelTestFile::Open(FindModelTestFile(model));
    if (!modelTestFile_) {
        MessageBox(QString::fromUtf8("open data file error！"), QStringLiteral("error"),
                   MB_ICONERROR);
        return 1;
    }
    modelTestRunning_ = 1;
    testPage_->SendMessage(UM_ENABLE_TESTS, 0, 0);
    ContinueModelTest();
    return 0;
}

void CQuillonDlg::ContinueModelTest() {
    if (!modelTestRunning_)
        return;
    if (!state_.port.open) {
        EndModelTest();
        return;
    }
    if (!modelTestFile_) {
        // The closing feed has gone out and had its pause.
        EndModelTest();
        MessageBox(LoadString(language(), IDS_TEST_COMPLETED));
        return;
    }
    QByteArray line;
    if (modelTestFile_->NextLine(line)) {
        if (!line.isEmpty()) {
            // The file's lines are not counted as sent; the closing feed is.
            transport_.setQuietSend(1);
            SendData(line, IsModelTextLine(line) ? 0 : 1, 0, 1);
            transport_.setQuietSend(0);
        }
    } else {
        modelTestFile_.reset();
        SendData(kClosingFeed, 1, 0, 1);
    }
    // A line that did not convert has shown its message by now; the run goes on after it.
    if (modelTestRunning_)
        SetTimer(kModelTestTimer, kModelLinePauseMs);
}

void CQuillonDlg::EndModelTest() {
    if (!modelTestRunning_)
        return;
    modelTestRunning_ = 0;
    KillTimer(kModelTestTimer);
    modelTestFile_.reset();
    if (testPage_)
        testPage_->SendMessage(UM_ENABLE_TESTS, 0, state_.port.open);
}

}  // namespace quillon
