// The page area at the top right: collapsing and expanding it, switching pages, the
// push-pin that keeps the window on top, and the colours of the receive box.

#include <QLayout>
#include <QTabWidget>
#include <QWindow>

#include "app/CPushPinButton.h"
#include "app/CQuillonDlg.h"
#include "app/MultipleChoice.h"
#include "framework/Texts.h"
#include "framework/WrappedTextView.h"
#include "resources/ResourceIds.h"

namespace quillon {

void CQuillonDlg::SetPageArea(int show) {
    const QRect receive = receive_->geometry();
    const int change = state_.tabClientRect.width();
    receive_->setFixedWidth(show ? receive.width() - change : receive.width() + change);
    // The receive group takes the box's new width before the tab control's visibility
    // changes: showing the tabs lays the window out at once, and a group still as wide as
    // before would stretch the window past its fixed size.
    receive_->parentWidget()->layout()->activate();
    SetItemText(IDC_PAGE_AREA, LoadString(language(), show ? IDS_HIDDEN : IDS_MORE));
    receive_->raise();
    receive_->show();
    state_.pageArea = show;
    tabs_->setVisible(show != 0);
    // Lay out now, so that the receive box has its new width before anything reads it.
    LayOutNow();
}

void CQuillonDlg::ShowSelectedPage() {
    state_.cyclePage = 0;
    const int index = CurSel(IDC_TABS);
    for (int page = 0; page < 4; ++page) {
        if (page != index)
            Page(page)->hide();
    }
    if (CDialog* shown = Page(index))
        shown->show();
    if (index == kComCyclePage || index == kNetCyclePage)
        state_.cyclePage = 1;
    RefreshControlStates();
}

void CQuillonDlg::OnTabSelChange() {
    ShowSelectedPage();
}

void CQuillonDlg::OnPageAreaToggle() {
    SetPageArea(state_.pageArea == 0 ? 1 : 0);
    // The page that fits what the user is doing: a cycle page in multiple mode while the
    // port is closed, else the model tests.
    const bool closed = state_.port.open == 0;
    const bool multiple = CurSel(IDC_MULTIPLE) == kMultipleYes;
    int tab = kTestPage;
    if (closed && state_.port.kind == kPortSerial && multiple)
        tab = kComCyclePage;
    else if (closed && state_.port.kind == kPortNetwork && multiple)
        tab = kNetCyclePage;
    SetCurSel(IDC_TABS, tab);
    ShowSelectedPage();
}

void CQuillonDlg::OnPushPin() {
    pushPin_->SetPinned(pushPin_->pinned() ? 0 : 1);
    state_.alwaysOnTop = state_.alwaysOnTop ? 0 : 1;
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, state_.alwaysOnTop != 0);
    if (QWindow* window = windowHandle()) {
        // Changed on the live window, which keeps its place, size and modal run.
        overrideWindowFlags(flags);
        window->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
    if (!state_.alwaysOnTop)
        raise();  // out of the topmost band, but in front of the ordinary windows
}

void CQuillonDlg::ApplyReceiveColours() {
    // Received text is blue on white whatever the desktop's colours are.
    QPalette palette = receive_->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        palette.setColor(group, QPalette::Text, QColor(0, 0, 255));
        palette.setColor(group, QPalette::Base, QColor(255, 255, 255));
    }
    receive_->setPalette(palette);
}

}  // namespace quillon
