// The page area: collapsing and expanding, the page the toggle chooses, one visible page,
// the push-pin.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QWindow>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"

using namespace quillon;

namespace {

class PageAreaTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = OpenMainWindow(Language::English);
        dialog_->SetPortEntries({"COM1"}, {"LPT1"}, {});
        Choose(*dialog_, IDC_PORT, 0);
    }
    int ReceiveWidth() const { return dialog_->GetDlgItem(IDC_RECEIVE)->width(); }
    bool TabsShown() const { return !dialog_->GetDlgItem(IDC_TABS)->isHidden(); }
    std::vector<int> VisiblePages() const {
        std::vector<int> visible;
        for (int i = 0; i < 4; ++i)
            if (dialog_->Page(i)->isVisible())
                visible.push_back(i);
        return visible;
    }

    std::unique_ptr<CQuillonDlg> dialog_;
};

TEST_F(PageAreaTest, ToggleChangesTheReceiveWidthByTheTabWidthAndBack) {
    const int shown = ReceiveWidth();
    const int change = dialog_->state().tabClientRect.width();
    ASSERT_GT(change, 100);
    EXPECT_EQ(change, dialog_->GetDlgItem(IDC_TABS)->width());
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->state().pageArea, 0);
    EXPECT_FALSE(TabsShown());
    EXPECT_EQ(ReceiveWidth(), shown + change);
    EXPECT_EQ(dialog_->ItemText(IDC_PAGE_AREA), "More");
    // The wider receive box stays inside the window.
    const QRect inWindow = dialog_->GetDlgItem(IDC_RECEIVE)
                               ->geometry()
                               .translated(dialog_->GetDlgItem(IDC_RECEIVE)
                                               ->parentWidget()
                                               ->mapTo(dialog_.get(), QPoint(0, 0)));
    EXPECT_LE(inWindow.right(), dialog_->width());
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->state().pageArea, 1);
    EXPECT_TRUE(TabsShown());
    EXPECT_EQ(ReceiveWidth(), shown);
    EXPECT_EQ(dialog_->ItemText(IDC_PAGE_AREA), "Hidden");
    for (int i = 0; i < 3; ++i) {
        Click(*dialog_, IDC_PAGE_AREA);
        Click(*dialog_, IDC_PAGE_AREA);
    }
    EXPECT_EQ(ReceiveWidth(), shown);
}

// What the user sees of the shown window's layout: its size and frame, and where the
// receive group, the receive box and the page area sit in it.
struct WindowLayout {
    QRect frame;
    QSize window;
    QRect receiveGroup;
    QRect receive;
    QRect tabs;
    bool tabsShown;
    bool operator==(const WindowLayout&) const = default;
};

std::ostream& operator<<(std::ostream& out, const QRect& r) {
    return out << r.x() << ',' << r.y() << ' ' << r.width() << 'x' << r.height();
}

std::ostream& operator<<(std::ostream& out, const WindowLayout& l) {
    return out << "frame " << l.frame << ", window " << l.window.width() << 'x' << l.window.height()
               << ", receive group " << l.receiveGroup << ", receive " << l.receive << ", tabs "
               << l.tabs << (l.tabsShown ? " shown" : " hidden");
}

WindowLayout LayoutOf(const CQuillonDlg& dialog) {
    // Whatever the window has still queued (layout requests, moves) happens first.
    QApplication::sendPostedEvents();
    QApplication::processEvents();
    const QWidget* receive = dialog.GetDlgItem(IDC_RECEIVE);
    const QWidget* tabs = dialog.GetDlgItem(IDC_TABS);
    return {dialog.frameGeometry(), dialog.size(),    receive->parentWidget()->geometry(),
            receive->geometry(),    tabs->geometry(), tabs->isVisible()};
}

TEST(PageAreaWindowTest, CollapsingAndExpandingBringsTheWindowBackAsItWas) {
    for (Language language : {Language::English, Language::Chinese}) {
        SCOPED_TRACE(language == Language::English ? "English" : "Chinese");
        auto dialog = OpenMainWindow(language);
        dialog->SetPortEntries({"COM1"}, {}, {});
        Choose(*dialog, IDC_PORT, 0);
        ASSERT_TRUE(dialog->isVisible());
        const WindowLayout before = LayoutOf(*dialog);
        const Qt::WindowFlags flags = dialog->windowFlags();

        Click(*dialog, IDC_PAGE_AREA);  // "Hidden"
        const WindowLayout collapsed = LayoutOf(*dialog);
        EXPECT_EQ(collapsed.window, before.window);
        EXPECT_FALSE(collapsed.tabsShown);
        // The receive group takes the page area's place and ends where the tabs ended.
        EXPECT_EQ(collapsed.receiveGroup.left(), before.receiveGroup.left());
        EXPECT_EQ(collapsed.receiveGroup.right(), before.tabs.right());

        for (int round = 0; round < 3; ++round) {
            Click(*dialog, IDC_PAGE_AREA);  // "More"
            EXPECT_EQ(LayoutOf(*dialog), before) << "after More, round " << round;
            Click(*dialog, IDC_PAGE_AREA);
            EXPECT_EQ(LayoutOf(*dialog), collapsed) << "after Hidden, round " << round;
        }

        Choose(*dialog, IDC_MULTIPLE, 1);  // Multiple "YES" brings the area back
        EXPECT_EQ(LayoutOf(*dialog), before);
        EXPECT_EQ(dialog->windowFlags(), flags);
    }
}

TEST_F(PageAreaTest, ChineseTextsOfTheToggle) {
    auto dialog = OpenMainWindow(Language::Chinese);
    Click(*dialog, IDC_PAGE_AREA);
    EXPECT_EQ(dialog->ItemText(IDC_PAGE_AREA), "更多");
    Click(*dialog, IDC_PAGE_AREA);
    EXPECT_EQ(dialog->ItemText(IDC_PAGE_AREA), "隐藏");
}

TEST_F(PageAreaTest, ExactlyOnePageIsVisible) {
    EXPECT_EQ(VisiblePages(), std::vector<int>{0});
    EXPECT_EQ(dialog_->state().cyclePage, 1);
    const int order[] = {2, 0, 3, 1, 2, 1};
    for (int tab : order) {
        ChooseTab(*dialog_, IDC_TABS, tab);
        EXPECT_EQ(VisiblePages(), std::vector<int>{tab});
        EXPECT_EQ(dialog_->state().cyclePage, tab <= 1 ? 1 : 0) << tab;
    }
}

TEST_F(PageAreaTest, ToggleChoosesThePageForTheSituation) {
    // Serial entry, Multiple "NO": the Test page.
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 2);
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 2);
    EXPECT_EQ(VisiblePages(), std::vector<int>{2});
    EXPECT_EQ(dialog_->state().cyclePage, 0);

    // Serial entry, Multiple "YES", port closed: Com Cycle.
    Choose(*dialog_, IDC_MULTIPLE, 1);
    ChooseTab(*dialog_, IDC_TABS, 3);
    Click(*dialog_, IDC_PAGE_AREA);
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 0);

    // Network entry, Multiple "YES": Net Cycle.
    Choose(*dialog_, IDC_PORT, 2);
    Choose(*dialog_, IDC_MULTIPLE, 1);
    ChooseTab(*dialog_, IDC_TABS, 3);
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 1);
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(VisiblePages(), std::vector<int>{1});

    // With the port open, More always brings up Test.
    dialog_->state().port.open = 1;
    Click(*dialog_, IDC_PAGE_AREA);
    Click(*dialog_, IDC_PAGE_AREA);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 2);
    EXPECT_EQ(VisiblePages(), std::vector<int>{2});
}

TEST_F(PageAreaTest, MultipleExpandsTheCollapsedArea) {
    Click(*dialog_, IDC_PAGE_AREA);
    const int collapsed = ReceiveWidth();
    Choose(*dialog_, IDC_MULTIPLE, 1);
    EXPECT_EQ(dialog_->state().pageArea, 1);
    EXPECT_TRUE(TabsShown());
    EXPECT_LT(ReceiveWidth(), collapsed);
    EXPECT_EQ(dialog_->CurSel(IDC_TABS), 0);
    EXPECT_EQ(VisiblePages(), std::vector<int>{0});

    Choose(*dialog_, IDC_MULTIPLE, 0);
    Click(*dialog_, IDC_PAGE_AREA);
    Choose(*dialog_, IDC_PORT, 2);  // Ethernet
    Choose(*dialog_, IDC_MULTIPLE, 1);
    EXPECT_TRUE(TabsShown());
    EXPECT_EQ(VisiblePages(), std::vector<int>{1});
}

TEST_F(PageAreaTest, PushPinKeepsTheWindowOnTopAndBack) {
    QWidget* pin = dialog_->GetDlgItem(IDC_PUSH_PIN);
    EXPECT_EQ(pin->size(), QSize(16, 15));
    const QImage unpinned = pin->grab().toImage();
    Click(*dialog_, IDC_PUSH_PIN);
    EXPECT_EQ(dialog_->state().alwaysOnTop, 1);
    EXPECT_TRUE(dialog_->windowFlags() & Qt::WindowStaysOnTopHint);
    ASSERT_NE(dialog_->windowHandle(), nullptr);
    EXPECT_TRUE(dialog_->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog_->isVisible());
    const QImage pinned = pin->grab().toImage();
    EXPECT_NE(pinned, unpinned);
    Click(*dialog_, IDC_PUSH_PIN);
    EXPECT_EQ(dialog_->state().alwaysOnTop, 0);
    EXPECT_FALSE(dialog_->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(dialog_->windowHandle()->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(dialog_->isVisible());
    EXPECT_EQ(pin->grab().toImage(), unpinned);
}

}  // namespace
