// Model test runs: the Test page asks for a printer family and the window sends that
// family's test file, a line every 30 ms, from the event loop so that the window stays
// alive. The run holds the port until its closing feed has been written and the user has
// dismissed "Test completed"; closing the port or the window ends it.

#include "app/CQuillonDlg.h"
#include "app/DialogTimers.h"
#include "app/ModelTestFile.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

LRESULT CQuillonDlg::OnModelTest(LPARAM model) {
    return RunModelTest(static_cast<int>(model));
}

LRESULT CQuillonDlg::RunModelTest(int model) {
    // Only to an open port that no other send holds.
    if (!SendMayStart() || !state_.port.open)
        return 0;
    modelTestFile_ = ModelTestFile::Open(FindModelTestFile(model));
    if (!modelTestFile_) {
        MessageBox(QString::fromUtf8("open data file error！"), QStringLiteral("error"),
                   MB_ICONERROR);
        return 1;
    }
    modelTestRunning_ = 1;
    modelTestFed_ = false;
    RefreshControlStates();
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
    if (modelTestFed_) {
        // The closing feed has gone out and had its pause. The run holds the port until
        // the box is dismissed, so nothing lands between the test and its end.
        MessageBox(LoadString(language(), IDS_TEST_COMPLETED));
        EndModelTest();
        return;
    }
    if (!modelTestFile_)
        return;  // the closing feed is on its way; its report goes on from here
    QByteArray line;
    const bool more = modelTestFile_->NextLine(line);
    if (!more) {
        modelTestFile_.reset();
        line = QByteArray(kModelClosingFeedHex);
    }
    if (!line.isEmpty()) {
        const bool text = more && IsModelTextLine(line);
        if (const std::optional<QByteArray> bytes = BytesToSend(line, text ? 0 : 1, 1)) {
            // The file's lines are not counted as sent; the closing feed is.
            transport_.setQuietSend(more ? 1 : 0);
            HandOver(bytes->constData(), bytes->size(),
                     more ? SendState::Role::kModelLine : SendState::Role::kModelFeed);
            transport_.setQuietSend(0);
        }
    }
    // A line that did not convert has shown its message by now; the run goes on after it.
    if (modelTestRunning_ && modelTestFile_)
        SetTimer(kModelTestTimer, kModelLinePauseMs);
}

void CQuillonDlg::ModelBlockWritten(SendState::Role role, const SendReport& report) {
    if (!modelTestRunning_)
        return;
    if (report.outcome.failed()) {
        // A port that fails ends the run: the rest of the file would fail too.
        EndModelTest();
        ReportSendFailure(report.outcome.count, report.length, report.outcome.error);
        return;
    }
    if (role == SendState::Role::kModelFeed) {
        modelTestFed_ = true;
        SetTimer(kModelTestTimer, kModelLinePauseMs);
    }
}

void CQuillonDlg::EndModelTest() {
    if (!modelTestRunning_)
        return;
    modelTestRunning_ = 0;
    modelTestFed_ = false;
    KillTimer(kModelTestTimer);
    modelTestFile_.reset();
    std::erase_if(state_.send.handedOver, [](const auto& block) {
        return block.second == SendState::Role::kModelLine ||
               block.second == SendState::Role::kModelFeed;
    });
    ExclusiveSendEnded();
}

}  // namespace quillon
