#pragma once
// Space in a list of rows with a tick box: the box of the current row changes whichever of
// the row's cells is current, as in a list whose rows are one item each.

class QTableWidget;

namespace quillon {

// `column` holds the row's tick box.
void TickRowOnSpace(QTableWidget* table, int column);

}  // namespace quillon
