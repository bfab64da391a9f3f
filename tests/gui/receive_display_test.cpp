// The receive display of the main window, fed by a pseudo-terminal registered as COM1:
// both views with their whole history, multi-byte characters split across reads, how
// Chinese text is drawn, pause, clear and recount, and the line limit of the receive area.

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QImage>
#include <QString>
#include <future>
#include <string>

#include "app/CQuillonDlg.h"
#include "framework/NarrowText.h"
#include "framework/WrappedTextView.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/support/FakeDevices.h"

using namespace quillon;

namespace {

class ReceiveDisplayTest : public ::testing::Test {
  protected:
    ReceiveDisplayTest()
        : mapEnv_("QUILLON_PORT_MAP", root_.path() + "/ports"),
          sysfsEnv_("QUILLON_SYSFS_ROOT", root_.MakeDirs("sys")),
          devEnv_("QUILLON_DEV_ROOT", root_.MakeDirs("dev")) {
        root_.WriteFile("ports", "COM1=" + pty_.slavePath() + "\n");
    }
    ~ReceiveDisplayTest() override {
        if (dialog_)
            dialog_->transport().Close();
    }

    CQuillonDlg& OpenWith(Language language) {
        dialog_ = OpenMainWindow(language);
        EXPECT_EQ(
            dialog_->transport().OpenSerial(dialog_->Handle(), 1, 9600, 'N', 8, 1, 0, 0x39, 1, 1),
            1);
        return *dialog_;
    }

    // The printer answers; returns once the window has counted every byte.
    void Answer(const std::string& bytes) {
        expected_ += static_cast<std::uint32_t>(bytes.size());
        // Written from another thread: a long answer fills the terminal's buffer, and the
        // window has to keep taking bytes for the rest to go in.
        auto printer = std::async(std::launch::async, [&] { pty_.WriteMaster(bytes); });
        const bool all = SpinUntil([&] { return dialog_->state().receive.count == expected_; });
        printer.get();
        ASSERT_TRUE(all) << dialog_->state().receive.count << " of " << expected_;
    }

    QString Shown() const { return dialog_->ItemText(IDC_RECEIVE); }
    std::string HexText() const { return dialog_->state().receive.hexText.toStdString(); }
    std::string CharText() const { return dialog_->state().receive.charText.toStdString(); }
    qsizetype ShownLines() const {
        return dialog_->Item<WrappedTextView>(IDC_RECEIVE)->LineCount();
    }

    TempDir root_;
    ScopedEnv mapEnv_;
    ScopedEnv sysfsEnv_;
    ScopedEnv devEnv_;
    PtyPair pty_;
    std::unique_ptr<CQuillonDlg> dialog_;
    std::uint32_t expected_ = 0;
};

TEST_F(ReceiveDisplayTest, BothViewsShowTheWholeHistoryInOrder) {
    CQuillonDlg& dialog = OpenWith(Language::English);
    EXPECT_EQ(dialog.GetDlgItem(IDC_RECEIVE)->accessibleName(), "Show Receive Data");
    // Text, a line end, a byte of the code page and control bytes, in the character view.
    Answer(std::string("OK\r\n\xE4\x00\x1b", 7));
    EXPECT_EQ(Shown(), QString::fromUtf8("OK\n\xC3\xA4\xE2\x90\x80\xE2\x90\x9B"));  // OK ä␀␛
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:7");

    Click(dialog, IDC_HEX_SHOW);
    EXPECT_EQ(Shown(), "4F 4B 0D 0A E4 00 1B ");
    // A byte of 0x80 or more shows as two digits, never with a widened sign.
    Answer("\xFF\x80\x81");
    EXPECT_EQ(Shown(), "4F 4B 0D 0A E4 00 1B FF 80 81 ");

    Click(dialog, IDC_HEX_SHOW);
    // ÿ and €; 0x81 has no character in the code page and shows as U+FFFD.
    EXPECT_EQ(Shown(), QString::fromUtf8("OK\n\xC3\xA4\xE2\x90\x80\xE2\x90\x9B\xC3\xBF\xE2\x82\xAC"
                                         "\xEF\xBF\xBD"));
    Answer("\rA\n\nB");  // a lone CR and a lone LF end lines too
    EXPECT_TRUE(Shown().endsWith("\nA\n\nB")) << Shown().toStdString();
    EXPECT_EQ(HexText(), "4F 4B 0D 0A E4 00 1B FF 80 81 0D 41 0A 0A 42 ");
    EXPECT_EQ(CharText(), std::string("OK\r\n\xE4\x00\x1b\xFF\x80\x81\rA\n\nB", 15));
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:15");
    // A byte handed to the window on its own is shown like the rest.
    dialog.SendMessage(UM_RX_BYTE, static_cast<WPARAM>(-28), 0);  // 0xE4 widened with its sign
    Click(dialog, IDC_HEX_SHOW);
    EXPECT_TRUE(Shown().endsWith("42 E4 ")) << Shown().toStdString();
}

TEST_F(ReceiveDisplayTest, ACharacterSplitAcrossReadsAppearsWhenComplete) {
    CQuillonDlg& dialog = OpenWith(Language::Chinese);
    Answer("\xD6");  // the lead byte of 中
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:1");
    Answer("\xD0");
    EXPECT_EQ(Shown(), QString::fromUtf8("中"));
    // A four-byte character (U+20000), two bytes at a time.
    Answer("\x95\x32");
    EXPECT_EQ(Shown(), QString::fromUtf8("中"));
    Answer("\x82\x36");
    EXPECT_EQ(Shown(), QString::fromUtf8("中\xF0\xA0\x80\x80"));
    // A lead byte that nothing can follow stands for nothing; the byte after it is read anew.
    Answer("\x81 x\xD6");
    const QString live = Shown();
    EXPECT_EQ(live, QString::fromUtf8("中\xF0\xA0\x80\x80\xEF\xBF\xBD x"));
    // Switching views reads the same bytes again and shows exactly the same text, with the
    // lead byte at the end still waiting for its trail byte.
    Click(dialog, IDC_HEX_SHOW);
    EXPECT_EQ(Shown(), "D6 D0 95 32 82 36 81 20 78 D6 ");
    Click(dialog, IDC_HEX_SHOW);
    EXPECT_EQ(Shown(), live);
    Answer("\xD0");
    EXPECT_EQ(Shown(), live + QString::fromUtf8("中"));
}

TEST_F(ReceiveDisplayTest, ChineseLinesWrapAtTheEdgeInTheFontsFoundAtTheStart) {
    OpenWith(Language::Chinese);
    std::string line;
    for (int i = 0; i < 100; ++i)
        line += "\xD6\xD0";  // 中
    // A long line, 中 on a line of its own, and U+E000, which no font has.
    Answer(line + "\r\n\xD6\xD0\r\n\xAA\xA1");
    auto* view = dialog_->Item<WrappedTextView>(IDC_RECEIVE);
    ASSERT_GE(ShownLines(), 4);
    ASSERT_LE(ShownLines(), view->viewport()->height() / QFontMetrics(view->font()).lineSpacing());

    const QImage image = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    auto inked = [&](const QRect& area) {
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x)
                count += image.pixel(x, y) != qRgb(255, 255, 255);
        return count;
    };
    // Nothing is drawn past the right margin: the rows were drawn where they were wrapped.
    EXPECT_EQ(inked(QRect(image.width() - 2, 0, 2, image.height())), 0);
    // The ideograph is drawn from a font that has it, not as the box U+E000 gets.
    const int height = QFontMetrics(view->font()).lineSpacing();
    const QRect ideograph(0, height * (ShownLines() - 2), height, height);
    const QRect box = ideograph.translated(0, height);
    EXPECT_GT(inked(ideograph), 0);
    EXPECT_GT(inked(box), 0);
    EXPECT_NE(image.copy(ideograph), image.copy(box));
}

TEST_F(ReceiveDisplayTest, PauseKeepsCountingAndClearIsNotRecount) {
    CQuillonDlg& dialog = OpenWith(Language::English);
    Answer("a");
    Click(dialog, IDC_PAUSE);
    EXPECT_EQ(dialog.ItemText(IDC_PAUSE), "Continue");
    Answer("bc");
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:3");
    EXPECT_EQ(Shown(), "a");
    EXPECT_EQ(CharText(), "a");
    EXPECT_EQ(HexText(), "61 ");
    Click(dialog, IDC_PAUSE);
    EXPECT_EQ(dialog.ItemText(IDC_PAUSE), "Pause");
    Answer("d");
    EXPECT_EQ(Shown(), "ad");
    Click(dialog, IDC_HEX_SHOW);
    EXPECT_EQ(Shown(), "61 64 ");

    Click(dialog, IDC_CLEAR_RECEIVE);
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(CharText(), "");
    EXPECT_EQ(HexText(), "");
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:4");
    Answer("e");
    EXPECT_EQ(Shown(), "65 ");

    dialog.state().send.transmitCount = 9;
    dialog.SetItemText(IDC_TX_COUNT, "TX:9");
    Click(dialog, IDC_RECOUNT);
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:0");
    EXPECT_EQ(dialog.ItemText(IDC_TX_COUNT), "TX:0");
    EXPECT_EQ(dialog.state().send.transmitCount, 0u);
    EXPECT_EQ(Shown(), "65 ") << "recounting leaves the received data";
    expected_ = 0;
    Answer("f");
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), "RX:1");

    // Chinese captions.
    dialog_->transport().Close();
    CQuillonDlg& chinese = OpenWith(Language::Chinese);
    Click(chinese, IDC_PAUSE);
    EXPECT_EQ(chinese.ItemText(IDC_PAUSE), "继续");
    Click(chinese, IDC_PAUSE);
    EXPECT_EQ(chinese.ItemText(IDC_PAUSE), "暂停");
}

TEST_F(ReceiveDisplayTest, TheByteAfterFiftyThousandLinesEmptiesTheAreaFirst) {
    CQuillonDlg& dialog = OpenWith(Language::English);
    std::string lines;
    for (int i = 0; i < 49999; ++i)
        lines += "x\r\n";
    Answer(lines + "x");
    EXPECT_EQ(ShownLines(), 50000);
    Answer("\r\n");  // 50000 lines do not trip the limit: the line end is still shown
    EXPECT_EQ(ShownLines(), 50001);
    EXPECT_EQ(CharText().size(), lines.size() + 3);

    Answer("Z!");
    const QString message = "***The Length of the Text is too long, Emptied Automatically !!!***";
    EXPECT_EQ(Shown(), message + "\nZ!");
    EXPECT_EQ(CharText(), "Z!");
    EXPECT_EQ(HexText(), "5A 21 ");
    EXPECT_EQ(dialog.ItemText(IDC_RX_COUNT), QString("RX:%1").arg(lines.size() + 5));

    // The hexadecimal view counts the lines it shows: one long line, wrapped.
    Click(dialog, IDC_HEX_SHOW);
    auto* view = dialog.Item<WrappedTextView>(IDC_RECEIVE);
    const double pairWidth = 3 * QFontMetricsF(view->font()).horizontalAdvance(u'0');
    const auto pairsPerLine = static_cast<std::size_t>(view->viewport()->width() / pairWidth) + 1;
    std::string bytes;
    while (bytes.size() < pairsPerLine * 50001)
        bytes += "0123456789";
    Answer(bytes);
    EXPECT_EQ(Shown().left(message.size()), message);
    EXPECT_EQ(HexText().size(), static_cast<std::size_t>(Shown().size() - message.size() - 1));
    EXPECT_LT(ShownLines(), 50002);
}

}  // namespace
