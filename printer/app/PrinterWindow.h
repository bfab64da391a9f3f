#pragma once
// The virtual printer's window: the paper roll growing as pages come out, the printer's
// state with buttons that change what its sensors report, and a log of the traffic.

#include <QWidget>

#include <cstdint>

#include "printer/render/PageRenderer.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace quillon {

class PrinterSession;
class RenderWorker;

class PrinterWindow : public QWidget {
    Q_OBJECT
  public:
    PrinterWindow(PrinterSession& session, const QString& portsText);
    void SetRenderWorker(const RenderWorker* worker) { renderer_ = worker; }

  public slots:
    // From the drawing thread, queued.
    void AddPage(const QImage& image);

  private:
    void Poll();
    // Shows the page printed since the last cut below the finished ones, so that text sent
    // without a cut is seen at once; it goes when the page is cut.
    void ShowPageInProgress();
    void RemovePageInProgress();
    void ScrollToEnd();
    void ShowState();
    void Toggle(int which);

    PrinterSession& session_;
    const RenderWorker* renderer_ = nullptr;
    QScrollArea* roll_;
    QWidget* rollPaper_;
    QVBoxLayout* rollLayout_;
    QLabel* stateValue_;
    QLabel* drawerValue_;
    QLabel* skippedLabel_;
    QPushButton* cover_;
    QPushButton* paper_;
    QPushButton* nearEnd_;
    QPushButton* drawer_;
    QPlainTextEdit* log_;
    QWidget* inProgress_ = nullptr;
    QLabel* inProgressImage_ = nullptr;
    uint64_t inProgressVersion_ = 0;
    printer::PageRenderer pageRenderer_;  // for the page in progress; finished pages come drawn
};

}  // namespace quillon
