#include "resources/Icons.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace quillon {

namespace {

// A receipt printer: a body with a paper slot, a receipt coming out of the top and a green
// power lamp. Quillon's printer is dark grey, the virtual printer's blue.
QPixmap DrawPrinter(int size, bool virtualPrinter = false) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // Receipt with printed lines and a torn edge.
    QPainterPath paper;
    paper.moveTo(9, 14);
    paper.lineTo(9, 4);
    for (int x = 9; x < 23; x += 2) {
        paper.lineTo(x + 1, 2.5);
        paper.lineTo(x + 2, 4);
    }
    paper.lineTo(23, 14);
    paper.closeSubpath();
    p.setPen(QPen(QColor(120, 120, 120), 0.8));
    p.setBrush(QColor(252, 252, 248));
    p.drawPath(paper);
    p.setPen(QPen(QColor(70, 90, 160), 1.0));
    for (int y = 6; y <= 12; y += 2)
        p.drawLine(QPointF(11, y), QPointF(y == 12 ? 17 : 21, y));

    // Body.
    QLinearGradient body(0, 12, 0, 29);
    body.setColorAt(0, virtualPrinter ? QColor(84, 132, 204) : QColor(96, 104, 118));
    body.setColorAt(1, virtualPrinter ? QColor(28, 56, 110) : QColor(42, 46, 56));
    p.setPen(QPen(QColor(25, 28, 34), 1.0));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3, 12, 26, 17), 3, 3);
    // Paper slot.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(15, 16, 20));
    p.drawRect(QRectF(7.5, 13.5, 17, 2));
    // Front panel and lamp.
    p.setBrush(QColor(130, 138, 150));
    p.drawRoundedRect(QRectF(6, 21, 14, 4), 1, 1);
    QRadialGradient lamp(24.5, 23, 2.5);
    lamp.setColorAt(0, QColor(180, 255, 170));
    lamp.setColorAt(1, QColor(30, 170, 50));
    p.setBrush(lamp);
    p.drawEllipse(QPointF(24.5, 23), 2.2, 2.2);
    return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 32, 48})
        icon.addPixmap(DrawPrinter(size));
    return icon;
}

QPixmap ProgramPicture(Program program, int size) {
    return DrawPrinter(size, program == Program::kVirtualPrinter);
}

// A printer port (a D-sub connector shell with pins) and a lamp: red while closed,
// green while open.
QPixmap PortIcon(bool open) {
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QPainterPath shell;
    shell.moveTo(2, 7);
    shell.lineTo(26, 7);
    shell.lineTo(23, 20);
    shell.lineTo(5, 20);
    shell.closeSubpath();
    QLinearGradient metal(0, 7, 0, 20);
    metal.setColorAt(0, QColor(205, 210, 218));
    metal.setColorAt(1, QColor(140, 146, 156));
    p.setPen(QPen(QColor(70, 74, 82), 1.2));
    p.setBrush(metal);
    p.drawPath(shell);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(50, 54, 62));
    for (int i = 0; i < 5; ++i)
        p.drawEllipse(QPointF(6.5 + i * 3.75, 11.5), 1.1, 1.1);
    for (int i = 0; i < 4; ++i)
        p.drawEllipse(QPointF(8.4 + i * 3.75, 16), 1.1, 1.1);

    const QColor centre = open ? QColor(190, 255, 180) : QColor(255, 190, 180);
    const QColor rim = open ? QColor(20, 160, 45) : QColor(200, 30, 30);
    QRadialGradient lamp(24, 24, 7, 22.5, 22);
    lamp.setColorAt(0, centre);
    lamp.setColorAt(1, rim);
    p.setPen(QPen(rim.darker(150), 1.0));
    p.setBrush(lamp);
    p.drawEllipse(QPointF(24, 24), 6.5, 6.5);
    return pixmap;
}

// A drawing pin, lying on its side (unpinned) or pushed in and seen from the front (pinned),
// in the palette's light, face, mid, dark and shadow colours.
QPixmap PinBitmap(bool pinned, const QPalette& palette) {
    QPixmap pixmap(16, 15);
    pixmap.fill(palette.color(QPalette::Button));
    QPainter p(&pixmap);
    const QColor light = palette.color(QPalette::Light);
    const QColor mid = palette.color(QPalette::Mid);
    const QColor dark = palette.color(QPalette::Dark);
    const QColor shadow = palette.color(QPalette::Shadow);
    auto fill = [&](int x, int y, int w, int h, const QColor& c) { p.fillRect(x, y, w, h, c); };
    if (!pinned) {
        fill(1, 7, 5, 1, shadow);  // needle
        fill(6, 3, 2, 9, shadow);  // collar
        fill(6, 4, 1, 7, light);
        fill(8, 5, 5, 5, shadow);  // body outline
        fill(8, 6, 4, 3, light);
        fill(9, 8, 3, 1, mid);
        fill(12, 4, 3, 7, shadow);  // head
        fill(12, 5, 2, 5, mid);
        fill(12, 5, 1, 4, light);
    } else {
        fill(4, 1, 8, 3, shadow);  // head
        fill(5, 1, 6, 2, mid);
        fill(5, 1, 2, 2, light);
        fill(5, 4, 6, 5, shadow);  // body
        fill(6, 4, 3, 4, light);
        fill(9, 4, 1, 4, mid);
        fill(3, 9, 10, 2, shadow);  // collar
        fill(4, 9, 8, 1, dark);
        fill(7, 11, 2, 4, shadow);  // needle
    }
    return pixmap;
}

}  // namespace quillon
