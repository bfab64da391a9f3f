#pragma once
// The "Others" page: cut the paper, open the cash drawer, ask the printer for its status and
// who it is, all sent by the main window; a line under the buttons shows what the printer
// answered. "Session Log" shows the folder of the session logs.

#include "framework/CDialog.h"

namespace quillon {

class PageHost;

class CDialog_OtherCommand : public CDialog {
  public:
    CDialog_OtherCommand(PageHost& host, Language language, QWidget* parent);
    ~CDialog_OtherCommand() override;

    // The line under the buttons, and the details its tooltip adds.
    void ShowPrinterAnswer(const QString& line, const QString& details);

  protected:
    bool OnInitDialog() override;

  private:
    void EnableButtons(bool enabled);

    PageHost& host_;
};

}  // namespace quillon
