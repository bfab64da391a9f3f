#include "framework/TickRowOnSpace.h"

#include <QKeyEvent>
#include <QTableWidget>

namespace quillon {

namespace {

class SpaceFilter : public QObject {
  public:
    SpaceFilter(QTableWidget* table, int column) : QObject(table), table_(table), column_(column) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_Space || key->modifiers() != Qt::NoModifier)
            return false;
        QTableWidgetItem* box = table_->item(table_->currentRow(), column_);
        if (!box || !(box->flags() & Qt::ItemIsUserCheckable) ||
            !(box->flags() & Qt::ItemIsEnabled))
            return false;
        box->setCheckState(box->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
        return true;
    }

  private:
    QTableWidget* table_;
    int column_;
};

}  // namespace

void TickRowOnSpace(QTableWidget* table, int column) {
    table->installEventFilter(new SpaceFilter(table, column));
}

}  // namespace quillon
