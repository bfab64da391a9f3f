#include "app/CPushPinButton.h"

#include <QEvent>
#include <QPainter>

#include "resources/Icons.h"

namespace quillon {

CPushPinButton::CPushPinButton(QWidget* parent) : QAbstractButton(parent) {
    LoadPictures();
    setFocusPolicy(Qt::NoFocus);
    setFixedSize(pinnedPicture_.size());
}

void CPushPinButton::LoadPictures() {
    pinnedPicture_ = PinBitmap(true, palette());
    unpinnedPicture_ = PinBitmap(false, palette());
}

void CPushPinButton::SetPinned(int pinned) {
    pinned_ = pinned;
    update();
}

void CPushPinButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawPixmap(0, 0, pinned_ ? pinnedPicture_ : unpinnedPicture_);
}

void CPushPinButton::changeEvent(QEvent* event) {
    // The greys follow the palette, as the 3-D colours of the desktop.
    if (event->type() == QEvent::PaletteChange)
        LoadPictures();
    QAbstractButton::changeEvent(event);
}

}  // namespace quillon
