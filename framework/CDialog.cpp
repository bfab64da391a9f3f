#include "framework/CDialog.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include "framework/DialogWindow.h"
#include "framework/WrappedTextView.h"

namespace quillon {

CDialog::CDialog(int templateId, Language language, QWidget* parent, bool child)
    : QDialog(parent),
      templateId_(templateId),
      language_(language),
      prompts_(DefaultPrompts()),
      window_(std::make_shared<DialogWindow>(this)) {
    if (child)
        setWindowFlags(Qt::Widget);
}

CDialog::~CDialog() {
    // Derived dialogs destroy themselves first; this only makes sure no worker reaches a
    // half-destroyed object.
    window_->Detach();
    messages_.clear();
    commands_.clear();
}

void CDialog::Create() {
    if (created_)
        return;
    created_ = true;
    OnInitDialog();
}

int CDialog::DoModal() {
    Create();
    const int result = exec();
    DestroyWindow();
    return result;
}

void CDialog::EndDialog(int result) {
    done(result);
}

void CDialog::DestroyWindow() {
    if (destroyed_)
        return;
    SendMessage(WM_DESTROY);
    destroyed_ = true;
    for (auto& [id, timer] : timers_)
        timer->stop();
    window_->Detach();
}

WindowRef CDialog::Handle() const {
    return window_;
}

void CDialog::Register(int id, QWidget* control) {
    controls_[id] = control;
    control->setProperty("controlId", id);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        connect(button, &QAbstractButton::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        connect(combo, &QComboBox::activated, this, [this, id] { Notify(id, CBN_SELCHANGE); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textChanged, this, [this, id] { Notify(id, EN_CHANGE); });
    } else if (auto* text = qobject_cast<QPlainTextEdit*>(control)) {
        connect(text, &QPlainTextEdit::textChanged, this, [this, id] { Notify(id, EN_CHANGE); });
    } else if (auto* tabs = qobject_cast<QTabWidget*>(control)) {
        connect(tabs, &QTabWidget::currentChanged, this, [this, id] { Notify(id, TCN_SELCHANGE); });
    } else if (auto* table = qobject_cast<QTableWidget*>(control)) {
        connect(table, &QTableWidget::itemChanged, this,
                [this, id] { Notify(id, LVN_ITEMCHANGED); });
        connect(table, &QTableWidget::itemSelectionChanged, this,
                [this, id] { Notify(id, LVN_ITEMCHANGED); });
    }
}

QWidget* CDialog::GetDlgItem(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

void CDialog::OnMessage(unsigned message, MessageHandler handler) {
    messages_[message] = std::move(handler);
}

void CDialog::OnCommand(int code, int id, std::function<void()> handler) {
    commands_[{code, id}] = std::move(handler);
}

void CDialog::Notify(int id, int code) {
    if (quietNotifications_ > 0)
        return;
    if (code < 0)
        SendMessage(WM_NOTIFY, static_cast<WPARAM>(id), code);
    else
        SendMessage(WM_COMMAND, MakeCommandParam(id, code), 0);
}

LRESULT CDialog::SendMessage(unsigned message, WPARAM wParam, LPARAM lParam) {
    if (destroyed_)
        return 0;
    if (message == WM_COMMAND || message == WM_NOTIFY) {
        const bool command = message == WM_COMMAND;
        const int id = command ? CommandId(wParam) : static_cast<int>(wParam);
        const int code = command ? CommandCode(wParam) : static_cast<int>(lParam);
        const auto it = commands_.find({code, id});
        if (it != commands_.end()) {
            const auto handler = it->second;
            handler();
        }
        return 0;
    }
    auto it = messages_.find(message);
    if (it == messages_.end() && message == UM_RX_BLOCK && wParam != 0) {
        // A dialog that takes received bytes one at a time gets them so: one UM_RX_BYTE per
        // byte, in order, until a handler closes the port or the dialog goes.
        it = messages_.find(UM_RX_BYTE);
        if (it == messages_.end())
            return 0;
        const auto handler = it->second;
        ForEachReceivedByte(
            *reinterpret_cast<const ReceivedBlock*>(wParam), [&](WPARAM byte) { handler(byte, 0); },
            [this] { return !destroyed_; });
        return 0;
    }
    if (it == messages_.end())
        return 0;
    const auto handler = it->second;
    return handler(wParam, lParam);
}

bool CDialog::IsChecked(int id) const {
    const auto* button = Item<QAbstractButton>(id);
    return button && button->isChecked();
}

void CDialog::SetChecked(int id, bool checked) {
    if (auto* button = Item<QAbstractButton>(id))
        button->setChecked(checked);
}

QString CDialog::ItemText(int id) const {
    const QWidget* control = GetDlgItem(id);
    if (const auto* button = dynamic_cast<const QAbstractButton*>(control))
        return button->text();
    if (const auto* label = dynamic_cast<const QLabel*>(control))
        return label->text();
    if (const auto* edit = dynamic_cast<const QLineEdit*>(control))
        return edit->text();
    if (const auto* text = dynamic_cast<const QPlainTextEdit*>(control))
        return text->toPlainText();
    if (const auto* view = dynamic_cast<const WrappedTextView*>(control))
        return view->Text();
    if (const auto* combo = dynamic_cast<const QComboBox*>(control))
        return combo->currentText();
    return QString();
}

void CDialog::SetItemText(int id, const QString& value) {
    QWidget* control = GetDlgItem(id);
    if (auto* button = dynamic_cast<QAbstractButton*>(control))
        button->setText(value);
    else if (auto* label = dynamic_cast<QLabel*>(control)) {
        label->setText(value);
        // A named line (a path, a state) reads its text out as its description, and shows
        // it whole in its tooltip where the window is too narrow for it.
        if (!label->accessibleName().isEmpty()) {
            label->setAccessibleDescription(value);
            const auto note = notes_.find(id);
            label->setToolTip(note == notes_.end() ? value : value + u'\n' + note->second);
        }
    } else if (auto* edit = dynamic_cast<QLineEdit*>(control))
        edit->setText(value);
    else if (auto* text = dynamic_cast<QPlainTextEdit*>(control))
        text->setPlainText(value);
    else if (auto* view = dynamic_cast<WrappedTextView*>(control))
        view->SetText(value);
}

void CDialog::SetItemNote(int id, const QString& note) {
    if (note.isEmpty())
        notes_.erase(id);
    else
        notes_[id] = note;
    SetItemText(id, ItemText(id));
}

void CDialog::EnableItem(int id, bool enabled) {
    if (QWidget* control = GetDlgItem(id))
        control->setEnabled(enabled);
}

bool CDialog::IsItemEnabled(int id) const {
    const QWidget* control = GetDlgItem(id);
    return control && control->isEnabled();
}

int CDialog::CurSel(int id) const {
    if (const auto* combo = Item<QComboBox>(id))
        return combo->currentIndex();
    if (const auto* tabs = Item<QTabWidget>(id))
        return tabs->currentIndex();
    return -1;
}

void CDialog::SetCurSel(int id, int index) {
    WithoutNotifications([&] {
        if (auto* combo = Item<QComboBox>(id))
            combo->setCurrentIndex(index);
        else if (auto* tabs = Item<QTabWidget>(id))
            tabs->setCurrentIndex(index);
    });
}

void CDialog::SelectString(int id, const QString& text) {
    if (auto* combo = Item<QComboBox>(id); combo && combo->findText(text) >= 0)
        SetCurSel(id, combo->findText(text));
}

void CDialog::SetTimer(int id, int milliseconds) {
    QTimer*& timer = timers_[id];
    if (!timer) {
        timer = new QTimer(this);
        timer->setSingleShot(true);
        connect(timer, &QTimer::timeout, this,
                [this, id] { SendMessage(WM_TIMER, static_cast<WPARAM>(id), 0); });
    }
    timer->start(milliseconds);
}

void CDialog::KillTimer(int id) {
    const auto it = timers_.find(id);
    if (it != timers_.end())
        it->second->stop();
}

bool CDialog::IsTimerRunning(int id) const {
    const auto it = timers_.find(id);
    return it != timers_.end() && it->second->isActive();
}

int CDialog::TimerInterval(int id) const {
    const auto it = timers_.find(id);
    return it == timers_.end() ? -1 : it->second->interval();
}

namespace {
void LayOutTree(QWidget* widget) {
    if (QLayout* layout = widget->layout()) {
        layout->activate();
        layout->setGeometry(widget->testAttribute(Qt::WA_LayoutOnEntireRect)
                                ? widget->rect()
                                : widget->contentsRect());
    }
    for (QObject* child : widget->children()) {
        auto* inner = qobject_cast<QWidget*>(child);
        if (inner && !inner->isWindow())
            LayOutTree(inner);
    }
}
}  // namespace

void CDialog::LayOutNow() {
    LayOutTree(this);
}

void CDialog::SetPrompts(std::shared_ptr<DialogPrompts> prompts) {
    prompts_ = prompts ? std::move(prompts) : DefaultPrompts();
}

int CDialog::MessageBox(const QString& text, const QString& caption, unsigned type) {
    return prompts_->MessageBox(this, text, caption, type);
}

void CDialog::closeEvent(QCloseEvent* event) {
    // The window's close box asks the dialog; only its WM_CLOSE handling ends it.
    event->ignore();
    if (messages_.count(WM_CLOSE))
        SendMessage(WM_CLOSE);
    else
        EndDialog(IDCANCEL);
}

}  // namespace quillon
