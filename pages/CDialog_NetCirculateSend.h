#pragma once
// The "Net Cycle" page: eight printer addresses with tick boxes, for sending the main
// window's data to several network printers in turn.

#include "framework/CDialog.h"
#include "transport/CommonUtils.h"

class QCheckBox;

namespace quillon {

class IpAddressEdit;
class PageHost;

class CDialog_NetCirculateSend : public CDialog {
  public:
    static constexpr int kRows = 8;

    CDialog_NetCirculateSend(PageHost& host, Language language, QWidget* parent);
    ~CDialog_NetCirculateSend() override;

  protected:
    bool OnInitDialog() override;

  private:
    // Makes the rows usable or not; with defaults the addresses are set to the table's.
    void EnableRefresh(bool enabled, bool defaults);
    LRESULT OnCycleSend(WPARAM wParam, LPARAM lParam);

    PageHost& host_;
    CommonUtils transport_;
    IpAddressEdit* addresses_[kRows] = {};
    QCheckBox* checks_[kRows] = {};
    int enabled_ = 0;
};

}  // namespace quillon
