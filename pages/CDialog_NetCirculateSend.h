#pragma once
// The "Net Cycle" page: eight printer addresses with tick boxes, for sending the main
// window's data to several network printers in turn.

#include <memory>

#include "framework/CDialog.h"

class QCheckBox;

namespace quillon {

class CycleRunner;
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
    // A repeating run holds them still whatever is asked, its ticked rows still count.
    void EnableRefresh(bool enabled, bool defaults);
    // Hands the worker the addresses of the ticked rows, rows 1 to 8 in order.
    void CollectTargets();
    LRESULT OnCycleSend(WPARAM wParam, LPARAM lParam);

    PageHost& host_;
    std::unique_ptr<CycleRunner> runner_;
    IpAddressEdit* addresses_[kRows] = {};
    QCheckBox* checks_[kRows] = {};
    int enabled_ = 0;
    bool repeating_ = false;  // a repeating run goes
};

}  // namespace quillon
