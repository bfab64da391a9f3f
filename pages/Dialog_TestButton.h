#pragma once
// The "Test" page: one button per printer family; each asks the main window to send that
// family's model test file.

#include "framework/CDialog.h"

namespace quillon {

class PageHost;

class Dialog_TestButton : public CDialog {
  public:
    static constexpr int kModels = 6;

    Dialog_TestButton(PageHost& host, Language language, QWidget* parent);
    ~Dialog_TestButton() override;

  protected:
    bool OnInitDialog() override;

  private:
    void EnableButtons(bool enabled);

    PageHost& host_;
};

}  // namespace quillon
