#include "pages/CDialog_ComCirculateSend.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>
#include <vector>

#include "framework/Texts.h"
#include "framework/TickRowOnSpace.h"
#include "pages/CycleStartSettings.h"
#include "pages/PageHost.h"
#include "pages/cycle/CycleRunner.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {
constexpr int kIndexColumn = 0;
constexpr int kNameColumn = 1;
constexpr int kParameterColumn = 2;
}  // namespace

CDialog_ComCirculateSend::CDialog_ComCirculateSend(PageHost& host, Language language,
                                                   QWidget* parent)
    : CDialog(IDD_COM_CYCLE, language, parent, true),
      host_(host),
      runner_(std::make_unique<CycleRunner>(CycleKind::kSerial, Handle(), host.MainWindow(),
                                            CycleTextsFor(language, IDS_OPEN_FAILED))),
      defaultParameters_(Text(language, "D158.default")) {
    list_ = AddControl(IDC_COM_LIST, new QTableWidget(this));
    list_->setAccessibleName(Text(language, "D158.1102.name"));
    TickRowOnSpace(list_, kIndexColumn);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(list_);

    OnMessage(UM_CYCLE_UPDATE, [this](WPARAM w, LPARAM l) { return OnCycleUpdate(w, l); });
    OnMessage(UM_CYCLE_SEND, [this](WPARAM w, LPARAM l) { return OnCycleSend(w, l); });
    OnCommand(LVN_ITEMCHANGED, IDC_COM_LIST, [this] { OnItemChanged(); });
}

CDialog_ComCirculateSend::~CDialog_ComCirculateSend() {
    // A worker in its pass or pause ends by itself; it holds what it still needs.
    runner_->Shutdown();
    DestroyWindow();
}

bool CDialog_ComCirculateSend::OnInitDialog() {
    FillList(true);
    list_->setEnabled(false);
    return true;
}

void CDialog_ComCirculateSend::FillList(bool firstFill) {
    refilling_ = 1;
    if (firstFill) {
        // Report view with grid lines, check boxes and whole-row selection; the template
        // has single selection and no column header.
        const QStringList headings = TextList(language(), "D158.columns");
        list_->setColumnCount(headings.size());
        list_->setHorizontalHeaderLabels(headings);
        list_->horizontalHeader()->hide();
        list_->verticalHeader()->hide();
        list_->setShowGrid(true);
        list_->setSelectionBehavior(QAbstractItemView::SelectRows);
        list_->setSelectionMode(QAbstractItemView::SingleSelection);
        list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
        list_->setColumnWidth(kIndexColumn, 46);
        list_->setColumnWidth(kNameColumn, 58);
        list_->horizontalHeader()->setStretchLastSection(true);
        list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
    }
    list_->setRowCount(0);
    const QStringList& names = host_.SerialPortNames();
    list_->setRowCount(static_cast<int>(names.size()));
    for (int row = 0; row < names.size(); ++row) {
        const QString& name = names[row];
        auto* index = new QTableWidgetItem(QString::number(row + 1));
        index->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        index->setTextAlignment(Qt::AlignCenter);
        bool ticked = false;
        for (const auto& [position, tickedName] : tickedPorts_)
            ticked = ticked || tickedName == name;
        if (ticked)
            host_.SetSerialTargets(wanted_ ? 1 : 0);
        index->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
        list_->setItem(row, kIndexColumn, index);
        auto* nameItem = new QTableWidgetItem(name);
        nameItem->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list_->setItem(row, kNameColumn, nameItem);
        if (firstFill) {
            currentParameters_ = defaultParameters_;
            portParameters_[name] = defaultParameters_;
        } else {
            currentParameters_ = ParametersOf(name);
        }
        auto* parameters = new QTableWidgetItem(currentParameters_);
        parameters->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list_->setItem(row, kParameterColumn, parameters);
    }
    ScanTicksAndSelection();
    host_.RefreshControlStates();
    refilling_ = 0;
}

bool CDialog_ComCirculateSend::RowIsCurrent(int row) const {
    const QStringList& names = host_.SerialPortNames();
    const QTableWidgetItem* name = list_->item(row, kNameColumn);
    return row >= 0 && row < names.size() && name && name->text() == names[row];
}

QString CDialog_ComCirculateSend::ParametersOf(const QString& name) const {
    const auto known = portParameters_.find(name);
    return known != portParameters_.end() ? known->second : defaultParameters_;
}

void CDialog_ComCirculateSend::CollectTickedPorts() {
    tickedPorts_.clear();
    anyTicked_ = 0;
    std::vector<CycleTarget> targets;
    int n = 0;
    for (int row = 0; row < list_->rowCount(); ++row) {
        QTableWidgetItem* index = list_->item(row, kIndexColumn);
        if (!index || index->checkState() != Qt::Checked)
            continue;
        // The main window's port list changed under the rows: a row that no longer stands
        // for its port is never opened.
        if (!RowIsCurrent(row)) {
            WithoutNotifications([&] { index->setCheckState(Qt::Unchecked); });
            continue;
        }
        const QString& name = host_.SerialPortNames()[row];
        anyTicked_ = 1;
        tickedPorts_[n++] = name;
        targets.push_back({name.toStdString(), ParametersOf(name).toStdString()});
    }
    runner_->SetTargets(std::move(targets));
}

void CDialog_ComCirculateSend::ScanTicksAndSelection() {
    rowSelected_ = 0;
    CollectTickedPorts();
    for (int row = 0; row < list_->rowCount(); ++row) {
        const QTableWidgetItem* index = list_->item(row, kIndexColumn);
        if (index && index->isSelected()) {
            selectedRow_ = row;
            rowSelected_ = 1;
        }
    }
    if (host_.SerialTargets() == anyTicked_ && !rowSelected_)
        return;
    host_.SetSerialTargets(anyTicked_ && wanted_ ? 1 : 0);
    host_.SetSerialRowSelected(rowSelected_);
    if (rowSelected_ && RowIsCurrent(selectedRow_)) {
        currentParameters_ = ParametersOf(host_.SerialPortNames()[selectedRow_]);
        host_.ShowSerialParameters(currentParameters_);
    }
    host_.RefreshControlStates();
}

void CDialog_ComCirculateSend::ApplyListEnabled() {
    const bool enable = wanted_ && !repeating_;
    if (list_->isEnabled() != enable)
        list_->setEnabled(enable);
}

LRESULT CDialog_ComCirculateSend::OnCycleUpdate(WPARAM wParam, LPARAM lParam) {
    // A refresh (a device came or went) never lets rows join a repeating run.
    wanted_ = lParam == 1;
    ApplyListEnabled();
    if (wParam == 1) {
        FillList(false);
    } else if (selectedRow_ >= 0) {
        // The main window's serial lists changed: the row selected last takes them.
        const QString text = host_.SerialParameterText();
        if (QTableWidgetItem* item = list_->item(selectedRow_, kParameterColumn))
            WithoutNotifications([&] { item->setText(text); });
        if (RowIsCurrent(selectedRow_)) {
            portParameters_[host_.SerialPortNames()[selectedRow_]] = text;
            // A running worker opens the port with them from its next pass on.
            CollectTickedPorts();
        }
    }
    return 0;
}

LRESULT CDialog_ComCirculateSend::OnCycleSend(WPARAM wParam, LPARAM lParam) {
    const bool repeating = lParam != 0;
    if (wParam == 1) {
        CollectTickedPorts();
        runner_->Start(CycleSettingsFrom(host_.SendStateForCycle(), language(), !repeating));
    } else {
        runner_->Stop();
    }
    // A repeating run holds the rows still; a single pass leaves them as they are.
    if (repeating) {
        repeating_ = wParam == 1;
        ApplyListEnabled();
    }
    return 0;
}

void CDialog_ComCirculateSend::OnItemChanged() {
    if (!refilling_ && list_->isEnabled())
        ScanTicksAndSelection();
}

}  // namespace quillon
