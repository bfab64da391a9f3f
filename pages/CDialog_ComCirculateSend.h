#pragma once
// The "Com Cycle" page: every serial port of the main window with a tick box and its own
// line parameters, for sending the main window's data to several serial ports in turn.

#include <QString>
#include <map>

#include "framework/CDialog.h"
#include "transport/CommonUtils.h"

class QTableWidget;

namespace quillon {

class PageHost;

class CDialog_ComCirculateSend : public CDialog {
  public:
    CDialog_ComCirculateSend(PageHost& host, Language language, QWidget* parent);
    ~CDialog_ComCirculateSend() override;

  protected:
    bool OnInitDialog() override;

  private:
    // Rebuilds the rows from the main window's serial port names; a rebuild keeps the
    // ticks of ports still listed and every port's parameters.
    void FillList(bool firstFill);
    // Reads the ticks and the selection of the rows into the main window's cycle flags.
    void ScanTicksAndSelection();
    LRESULT OnCycleUpdate(WPARAM wParam, LPARAM lParam);
    LRESULT OnCycleSend(WPARAM wParam, LPARAM lParam);
    void OnItemChanged();

    PageHost& host_;
    CommonUtils transport_;
    QTableWidget* list_ = nullptr;
    int anyTicked_ = 0;
    int rowSelected_ = 0;
    int selectedRow_ = -1;
    int refilling_ = 0;
    std::map<int, QString> tickedPorts_;
    std::map<QString, QString> portParameters_;
    const QString defaultParameters_;
    QString currentParameters_;
};

}  // namespace quillon
