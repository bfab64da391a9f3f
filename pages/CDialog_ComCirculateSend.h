#pragma once
// The "Com Cycle" page: every serial port of the main window with a tick box and its own
// line parameters, for sending the main window's data to several serial ports in turn.

#include <QString>
#include <map>
#include <memory>

#include "framework/CDialog.h"

class QTableWidget;

namespace quillon {

class CycleRunner;
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
    // Reads the ticked rows into the ticked ports, unticking rows that no longer stand for
    // the port the main window lists at their index, and hands them to the worker.
    void CollectTickedPorts();
    // Whether a row still shows the port the main window lists at its index.
    bool RowIsCurrent(int row) const;
    QString ParametersOf(const QString& name) const;
    // The list is usable while the main window asks for it and no repeating run goes.
    void ApplyListEnabled();
    LRESULT OnCycleUpdate(WPARAM wParam, LPARAM lParam);
    LRESULT OnCycleSend(WPARAM wParam, LPARAM lParam);
    void OnItemChanged();

    PageHost& host_;
    std::unique_ptr<CycleRunner> runner_;
    QTableWidget* list_ = nullptr;
    int anyTicked_ = 0;
    int rowSelected_ = 0;
    int selectedRow_ = -1;
    int refilling_ = 0;
    bool wanted_ = false;     // the main window's port kind and Multiple choice make it usable
    bool repeating_ = false;  // a repeating run goes: the rows are held still
    std::map<int, QString> tickedPorts_;
    std::map<QString, QString> portParameters_;
    const QString defaultParameters_;
    QString currentParameters_;
};

}  // namespace quillon
