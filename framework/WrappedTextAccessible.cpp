#include "framework/WrappedTextAccessible.h"

#include <QAccessibleWidget>
#include <algorithm>

#include "framework/WrappedTextView.h"

namespace quillon {

namespace {

class WrappedTextAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit WrappedTextAccessible(WrappedTextView* view)
        : QAccessibleWidget(view, QAccessible::EditableText) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.readOnly = true;
        state.multiLine = true;
        state.selectableText = true;
        return state;
    }

    // The selection: one at most, empty when anchor and caret meet.
    void selection(int index, int* start, int* end) const override {
        *start = *end = 0;
        const auto [from, to] = view()->Selection();
        if (index == 0 && from != to) {
            *start = static_cast<int>(from);
            *end = static_cast<int>(to);
        }
    }
    int selectionCount() const override {
        const auto [from, to] = view()->Selection();
        return from != to ? 1 : 0;
    }
    void addSelection(int start, int end) override { view()->Select(start, end); }
    void removeSelection(int index) override {
        if (index == 0)
            view()->Select(view()->Caret(), view()->Caret());
    }
    void setSelection(int index, int start, int end) override {
        if (index == 0)
            view()->Select(start, end);
    }

    int cursorPosition() const override { return static_cast<int>(view()->Caret()); }
    void setCursorPosition(int position) override { view()->Select(position, position); }

    QString text(int start, int end) const override { return view()->TextBetween(start, end); }
    QString text(QAccessible::Text kind) const override { return QAccessibleWidget::text(kind); }
    int characterCount() const override { return static_cast<int>(view()->Length()); }

    QRect characterRect(int offset) const override {
        const QRect rect = view()->CharacterRect(offset);
        if (rect.isNull())
            return {};
        return QRect(view()->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    int offsetAtPoint(const QPoint& point) const override {
        QWidget* area = view()->viewport();
        const QPoint local = area->mapFromGlobal(point);
        return area->rect().contains(local) ? static_cast<int>(view()->OffsetAtPoint(local)) : -1;
    }
    void scrollToSubstring(int start, int) override { view()->ScrollTo(start); }
    // The text is of one kind throughout.
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }

  private:
    WrappedTextView* view() const { return static_cast<WrappedTextView*>(widget()); }
};

QAccessibleInterface* Describe(const QString&, QObject* object) {
    if (auto* view = qobject_cast<WrappedTextView*>(object))
        return new WrappedTextAccessible(view);
    return nullptr;
}

}  // namespace

void InstallWrappedTextAccessible() {
    static const bool installed = [] {
        QAccessible::installFactory(Describe);
        return true;
    }();
    (void)installed;
}

}  // namespace quillon
