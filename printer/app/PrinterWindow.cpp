#include "printer/app/PrinterWindow.h"

#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

#include "printer/app/PrinterSession.h"
#include "printer/app/RenderWorker.h"
#include "printer/app/WindowTexts.h"
#include "printer/render/PageRenderer.h"

namespace quillon {

namespace {
constexpr int kPagesShown = 40;  // older pages leave the window (headless keeps all as PNG)

QLabel* BuddyLabel(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    buddy->setAccessibleName(text);
    return label;
}
}  // namespace

PrinterWindow::PrinterWindow(PrinterSession& session, const QString& portsText)
    : session_(session) {
    setWindowTitle(Tr(PrinterText::kTitle));

    roll_ = new QScrollArea;
    roll_->setAccessibleName(Tr(PrinterText::kPaper));
    rollPaper_ = new QWidget;
    rollLayout_ = new QVBoxLayout(rollPaper_);
    rollLayout_->setSpacing(0);
    rollLayout_->addStretch();
    roll_->setWidget(rollPaper_);
    roll_->setWidgetResizable(true);
    roll_->setMinimumWidth(620);

    stateValue_ = new QLabel;
    drawerValue_ = new QLabel;
    skippedLabel_ = new QLabel;
    skippedLabel_->hide();
    cover_ = new QPushButton;
    paper_ = new QPushButton;
    nearEnd_ = new QPushButton;
    drawer_ = new QPushButton;
    connect(cover_, &QPushButton::clicked, this, [this] { Toggle(0); });
    connect(paper_, &QPushButton::clicked, this, [this] { Toggle(1); });
    connect(nearEnd_, &QPushButton::clicked, this, [this] { Toggle(2); });
    connect(drawer_, &QPushButton::clicked, this, [this] { Toggle(3); });

    auto* ports = new QLabel(portsText);
    ports->setWordWrap(true);
    ports->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* form = new QFormLayout;
    form->addRow(BuddyLabel(Tr(PrinterText::kPorts), ports), ports);
    form->addRow(BuddyLabel(Tr(PrinterText::kState), stateValue_), stateValue_);
    form->addRow(BuddyLabel(Tr(PrinterText::kDrawer), drawerValue_), drawerValue_);
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {cover_, paper_, nearEnd_, drawer_})
        buttons->addWidget(b);

    log_ = new QPlainTextEdit;
    log_->setReadOnly(true);
    log_->setMaximumBlockCount(2000);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto* logBox = new QGroupBox(Tr(PrinterText::kLog));
    log_->setAccessibleName(Tr(PrinterText::kLog));
    (new QVBoxLayout(logBox))->addWidget(log_);

    auto* side = new QVBoxLayout;
    side->addLayout(form);
    side->addLayout(buttons);
    side->addWidget(skippedLabel_);
    side->addWidget(logBox, 1);
    auto* main = new QHBoxLayout(this);
    main->addWidget(roll_, 3);
    main->addLayout(side, 2);
    resize(1100, 760);

    ShowState();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, &PrinterWindow::Poll);
    timer->start(100);
}

void PrinterWindow::AddPage(const QImage& image) {
    // The page in progress may be this one, now cut: it goes, and the next look at the
    // printer shows it again if a page is still in progress.
    RemovePageInProgress();
    auto* page = new QLabel;
    page->setPixmap(QPixmap::fromImage(image));
    page->setAlignment(Qt::AlignHCenter);
    page->setStyleSheet("background: white; border-bottom: 1px solid #ccc;");
    rollLayout_->insertWidget(rollLayout_->count() - 1, page);
    while (rollLayout_->count() - 1 > kPagesShown) {
        QLayoutItem* oldest = rollLayout_->takeAt(0);
        delete oldest->widget();
        delete oldest;
    }
    ScrollToEnd();
}

void PrinterWindow::ScrollToEnd() {
    QTimer::singleShot(0, this, [this] {
        roll_->verticalScrollBar()->setValue(roll_->verticalScrollBar()->maximum());
    });
}

void PrinterWindow::RemovePageInProgress() {
    delete inProgress_;
    inProgress_ = nullptr;
    inProgressImage_ = nullptr;
    inProgressVersion_ = 0;
}

void PrinterWindow::ShowPageInProgress() {
    const std::optional<printer::Page> page = session_.PageInProgress(inProgressVersion_);
    if (!page)
        return;
    if (page->elements.empty()) {
        RemovePageInProgress();
        return;
    }
    if (!inProgress_) {
        inProgress_ = new QWidget;
        inProgress_->setAccessibleName(Tr(PrinterText::kNotCut));
        inProgressImage_ = new QLabel;
        inProgressImage_->setAlignment(Qt::AlignHCenter);
        inProgressImage_->setStyleSheet("background: white;");
        auto* caption = new QLabel(Tr(PrinterText::kNotCut));
        caption->setAlignment(Qt::AlignHCenter);
        caption->setStyleSheet("color: #666; font-style: italic;");
        auto* layout = new QVBoxLayout(inProgress_);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(2);
        layout->addWidget(inProgressImage_);
        layout->addWidget(caption);
        rollLayout_->insertWidget(rollLayout_->count() - 1, inProgress_);
    }
    // A page not yet cut is never long (a page is handed on at half a metre): drawing it
    // here takes a few milliseconds, and only when it has changed and the printer is idle.
    inProgressImage_->setPixmap(QPixmap::fromImage(pageRenderer_.Render(*page)));
    ScrollToEnd();
}

void PrinterWindow::Poll() {
    for (const std::string& line : session_.TakeLog())
        log_->appendPlainText(QString::fromStdString(line));
    if (renderer_ && renderer_->Skipped() > 0) {
        skippedLabel_->setText(Tr(PrinterText::kNotDrawn) + " " +
                               QString::number(renderer_->Skipped()));
        skippedLabel_->show();
    }
    ShowPageInProgress();
    ShowState();
}

void PrinterWindow::ShowState() {
    const printer::PrinterState s = session_.State();
    const QString state = s.coverOpen      ? Tr(PrinterText::kCoverOpen)
                          : s.paperEnd     ? Tr(PrinterText::kPaperEnd)
                          : s.paperNearEnd ? Tr(PrinterText::kPaperNearEnd)
                                           : Tr(PrinterText::kReady);
    stateValue_->setText(state);
    drawerValue_->setText(s.drawerOpen ? Tr(PrinterText::kDrawerOpen)
                                       : Tr(PrinterText::kDrawerClosed));
    auto label = [](QPushButton* b, const QString& text) {
        b->setText(text);
        b->setAccessibleName(text);
    };
    label(cover_, Tr(s.coverOpen ? PrinterText::kCloseCover : PrinterText::kOpenCover));
    label(paper_, Tr(s.paperEnd ? PrinterText::kPutInPaper : PrinterText::kTakeOutPaper));
    label(nearEnd_, Tr(s.paperNearEnd ? PrinterText::kNearEndOff : PrinterText::kNearEndOn));
    label(drawer_, Tr(s.drawerOpen ? PrinterText::kCloseDrawer : PrinterText::kOpenDrawer));
}

void PrinterWindow::Toggle(int which) {
    printer::PrinterState s = session_.State();
    switch (which) {
        case 0:
            s.coverOpen = !s.coverOpen;
            break;
        case 1:
            s.paperEnd = !s.paperEnd;
            break;
        case 2:
            s.paperNearEnd = !s.paperNearEnd;
            break;
        default:
            s.drawerOpen = !s.drawerOpen;
            break;
    }
    // The drawer button holds the drawer open until it is pressed again.
    session_.SetState(s, which == 3);
    ShowState();
}

}  // namespace quillon
