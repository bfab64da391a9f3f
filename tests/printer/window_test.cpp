// The printer window: its buttons change what the printer reports, pages join the roll, and
// the traffic shows in the log.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include "printer/app/PrinterSession.h"
#include "printer/app/PrinterWindow.h"
#include "printer/app/RenderWorker.h"
#include "tests/printer/EngineHarness.h"
#include "tests/printer/SessionAnswers.h"

using namespace quillon;

namespace {

QPushButton* Button(QWidget& window, const QString& name) {
    for (auto* b : window.findChildren<QPushButton*>())
        if (b->accessibleName() == name && b->text() == name)
            return b;
    return nullptr;
}

// Runs the event loop for `ms` milliseconds.
void Wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// Sends `hex` as connection 7 and collects what comes back until `count` bytes are there:
// answers from the printer model come from its own thread a moment later.
std::string Ask(PrinterSession& session, const std::string& hex, size_t count) {
    const std::string bytes = Bytes(hex);
    session.Receive(7, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return TakeAnswersFrom(session, 7, count);
}

}  // namespace

TEST(PrinterWindow, ButtonsChangeTheStatusAnswersAndPagesJoinTheRoll) {
    std::atomic<int> drawn{0};
    PrinterWindow* window = nullptr;
    RenderWorker renderer([&](const printer::Page&, const QImage& image) {
        QMetaObject::invokeMethod(window, "AddPage", Qt::QueuedConnection, Q_ARG(QImage, image));
        ++drawn;
    });
    PrinterSession session(printer::PrinterOptions{},
                           [&](printer::Page&& page) { renderer.Submit(std::move(page)); });
    PrinterWindow w(session, "COM9 = /dev/pts/99");
    window = &w;
    w.show();

    EXPECT_EQ(Ask(session, "1D 61 0F", 4), Bytes("14 00 00 00"));
    QPushButton* cover = Button(w, "Open cover");
    ASSERT_NE(cover, nullptr);
    cover->click();
    // The change is reported at once; offline, only real-time requests are answered.
    EXPECT_EQ(Ask(session, "10 04 01 1B 76", 5), Bytes("3C 00 00 00 1E"));
    ASSERT_NE(Button(w, "Close cover"), nullptr);
    Button(w, "Close cover")->click();
    EXPECT_EQ(Ask(session, "", 5), Bytes("14 00 00 00 00"));  // the change, then ESC v held

    Button(w, "Take out paper")->click();
    EXPECT_EQ(Ask(session, "10 04 04", 5), Bytes("1C 00 0C 00 72"));
    Button(w, "Put in paper")->click();
    Button(w, "Open drawer")->click();
    EXPECT_EQ(Ask(session, "10 04 01 1D 72 02", 10), Bytes("14 00 00 00 10 00 00 00 12 00"));
    Button(w, "Close drawer")->click();

    // A line sent without a cut shows at once, as the page in progress; the cut makes it a
    // page of the roll, and the page in progress goes.
    Ask(session, "'on the roll' 0A", 0);
    auto inProgress = [&w] {
        for (auto* widget : w.findChildren<QWidget*>())
            if (widget->accessibleName() == "Printing, not cut yet")
                return widget;
        return static_cast<QWidget*>(nullptr);
    };
    for (int i = 0; i < 250 && !inProgress(); ++i)
        Wait(20);
    ASSERT_NE(inProgress(), nullptr);
    EXPECT_FALSE(inProgress()->findChild<QLabel*>()->pixmap().isNull());
    EXPECT_EQ(drawn, 0);
    Ask(session, "1D 56 00", 0);
    for (int i = 0; i < 250 && (drawn == 0 || inProgress()); ++i)
        Wait(20);
    EXPECT_EQ(inProgress(), nullptr);
    QCoreApplication::processEvents();
    int pages = 0;
    for (auto* label : w.findChildren<QLabel*>())
        pages += !label->pixmap().isNull();
    EXPECT_EQ(pages, 1);
    // The window looks at the log every 100 ms.
    QString log;
    for (int i = 0; i < 250 && !log.contains("<- 72"); ++i) {
        Wait(20);
        log = w.findChild<QPlainTextEdit*>()->toPlainText();
    }
    EXPECT_TRUE(log.contains("-> 10 04 04")) << log.toStdString();
    EXPECT_TRUE(log.contains("<- 72")) << log.toStdString();
}
