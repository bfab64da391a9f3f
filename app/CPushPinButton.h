#pragma once
// The push-pin at the bottom left of the main window: a button exactly the size of its
// picture, showing a pinned or an unpinned drawing pin.

#include <QAbstractButton>
#include <QPixmap>

namespace quillon {

class CPushPinButton : public QAbstractButton {
  public:
    explicit CPushPinButton(QWidget* parent = nullptr);

    int pinned() const { return pinned_; }
    // Switches the picture and repaints.
    void SetPinned(int pinned);
    QSize sizeHint() const override { return pinnedPicture_.size(); }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    void LoadPictures();

    int pinned_ = 0;
    QPixmap pinnedPicture_;    // bitmap 142
    QPixmap unpinnedPicture_;  // bitmap 143
};

}  // namespace quillon
