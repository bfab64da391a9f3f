// The help text in the receive box, and the receive box as a one-key terminal: while a
// port is open a letter or digit typed there is sent at once; nothing typed, pasted or
// dropped ever changes what was received.

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>

#include "app/CQuillonDlg.h"
#include "framework/Texts.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

// Hands the events of one widget to a function that says whether to stop them.
class InputFilter : public QObject {
  public:
    InputFilter(std::function<bool(QEvent*)> filter, QObject* parent)
        : QObject(parent), filter_(std::move(filter)) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override { return filter_(event); }

  private:
    std::function<bool(QEvent*)> filter_;
};

// Keys that only move the caret, select or copy: they leave the received text as it is.
bool LooksOnly(const QKeyEvent* key) {
    static const QKeySequence::StandardKey kAllowed[] = {
        QKeySequence::Copy,
        QKeySequence::SelectAll,
        QKeySequence::MoveToNextChar,
        QKeySequence::MoveToPreviousChar,
        QKeySequence::MoveToNextLine,
        QKeySequence::MoveToPreviousLine,
        QKeySequence::MoveToNextPage,
        QKeySequence::MoveToPreviousPage,
        QKeySequence::MoveToStartOfLine,
        QKeySequence::MoveToEndOfLine,
        QKeySequence::MoveToStartOfDocument,
        QKeySequence::MoveToEndOfDocument,
        QKeySequence::SelectNextChar,
        QKeySequence::SelectPreviousChar,
        QKeySequence::SelectNextLine,
        QKeySequence::SelectPreviousLine,
        QKeySequence::SelectNextPage,
        QKeySequence::SelectPreviousPage,
        QKeySequence::SelectStartOfDocument,
        QKeySequence::SelectEndOfDocument,
        QKeySequence::SelectStartOfLine,
        QKeySequence::SelectEndOfLine,
    };
    for (const auto standard : kAllowed) {
        if (key->matches(standard))
            return true;
    }
    // Tab and the modifier keys themselves move the focus or do nothing.
    switch (key->key()) {
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_Meta:
            return true;
        default:
            return false;
    }
}

bool IsLetterOrDigit(QChar c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
}

}  // namespace

void CQuillonDlg::OnHelp() {
    if (state_.helpShown) {
        // The received data, in the view "HEX Show" chooses.
        ShowReceivedData();
        state_.helpShown = 0;
    } else {
        SetItemText(IDC_RECEIVE, LoadString(language(), IDS_HELP));
        state_.helpShown = 1;
    }
}

void CQuillonDlg::FilterReceiveInput() {
    QWidget* box = GetDlgItem(IDC_RECEIVE);
    const auto filter = [this](QEvent* event) { return OnReceiveInput(event); };
    box->installEventFilter(new InputFilter(filter, box));
    box->setContextMenuPolicy(Qt::NoContextMenu);
    box->setAcceptDrops(false);
    // Mouse events of a scrolling box go to its viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(box)) {
        area->viewport()->installEventFilter(new InputFilter(filter, area->viewport()));
        area->viewport()->setContextMenuPolicy(Qt::NoContextMenu);
        area->viewport()->setAcceptDrops(false);
    }
}

bool CQuillonDlg::OnReceiveInput(QEvent* event) {
    switch (event->type()) {
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::Drop:
        case QEvent::InputMethod:
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            // The right button opens no menu; the middle button pastes no selection.
            const auto button = static_cast<QMouseEvent*>(event)->button();
            return button == Qt::RightButton || button == Qt::MiddleButton;
        }
        case QEvent::ShortcutOverride:
        case QEvent::KeyPress:
            break;
        default:
            return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    // Escape goes on to the window, which never closes for it.
    if (key->key() == Qt::Key_Escape || LooksOnly(key))
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Keep the window's shortcuts from taking keys the box swallows.
        event->accept();
        return true;
    }
    const QString text = key->text();
    if (state_.port.open && text.size() == 1 && IsLetterOrDigit(text[0]) &&
        !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        SendData(text.toLatin1(), 0, 0, 0);
    }
    return true;
}

}  // namespace quillon
