#pragma once
// The paper and the resident fonts of each printer family: how wide the printable area is in
// dots, how many dots to the inch, and the cells of fonts A and B and of Chinese characters.
// Thermal heads print 203 dots to the inch; the impact families' cells are chosen so that
// their fonts give the column counts of such printers (40 / 42 on 76 mm, 33 / 35 on 58 mm).

#include <string>

#include "printer/Paper.h"
#include "printer/PrinterStatus.h"

namespace quillon::printer {

struct Geometry {
    int widthMm = 80;  // the paper roll
    bool impact = false;
    int dots = 576;  // the printable width
    int dpi = 203;
    FontCells cells;
};

// True for a width some family takes: 44, 58, 76 or 80 mm.
bool IsPaperWidth(int widthMm);
// The geometry of `family` on paper `widthMm` wide (0: its usual paper). A width the family
// does not take gets the geometry of the family's kind of printer (thermal or impact) on that
// paper, or of the other kind where its own kind has none.
Geometry GeometryOf(Family family, int widthMm = 0);
// What to tell a user who asks for paper `widthMm` wide on `family`: empty when the family
// takes it, else a line that names the widths it takes.
std::string PaperWidthWarning(Family family, int widthMm);

}  // namespace quillon::printer
