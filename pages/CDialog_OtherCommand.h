#pragma once
// The "Others" page: cut the paper and open the cash drawer, sent by the main window.

#include "framework/CDialog.h"

namespace quillon {

class PageHost;

class CDialog_OtherCommand : public CDialog {
  public:
    CDialog_OtherCommand(PageHost& host, Language language, QWidget* parent);
    ~CDialog_OtherCommand() override;

  protected:
    bool OnInitDialog() override;

  private:
    void EnableButtons(bool enabled);

    PageHost& host_;
};

}  // namespace quillon
