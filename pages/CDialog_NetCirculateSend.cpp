#include "pages/CDialog_NetCirculateSend.h"

#include <QCheckBox>
#include <QGridLayout>
#include <vector>

#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "pages/CycleStartSettings.h"
#include "pages/PageHost.h"
#include "pages/cycle/CycleRunner.h"
#include "resources/ResourceIds.h"

namespace quillon {

CDialog_NetCirculateSend::CDialog_NetCirculateSend(PageHost& host, Language language,
                                                   QWidget* parent)
    : CDialog(IDD_NET_CYCLE, language, parent, true),
      host_(host),
      runner_(std::make_unique<CycleRunner>(CycleKind::kNetwork, Handle(), host.MainWindow(),
                                            CycleTextsFor(language, IDS_CONNECT_FAILED))) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(2);
    for (int row = 0; row < kRows; ++row) {
        const std::string key = "D155." + std::to_string(IDC_NET_CHECK[row]);
        checks_[row] = AddControl(IDC_NET_CHECK[row], new QCheckBox(Text(language, key), this));
        addresses_[row] = AddControl(IDC_NET_ADDRESS[row], new IpAddressEdit(this));
        addresses_[row]->setAccessibleName(Text(language, "D155.address.name").arg(row + 1));
        grid->addWidget(checks_[row], row, 0);
        grid->addWidget(addresses_[row], row, 1);
        OnCommand(BN_CLICKED, IDC_NET_CHECK[row], [this] { EnableRefresh(true, false); });
    }
    grid->setColumnStretch(2, 1);
    grid->setRowStretch(kRows, 1);

    OnMessage(UM_CYCLE_UPDATE, [this](WPARAM, LPARAM l) {
        EnableRefresh(l == 1, false);
        return LRESULT{0};
    });
    OnMessage(UM_CYCLE_SEND, [this](WPARAM w, LPARAM l) { return OnCycleSend(w, l); });
}

CDialog_NetCirculateSend::~CDialog_NetCirculateSend() {
    // A worker in a connection, a write or a pause ends by itself; it holds what it needs.
    runner_->Shutdown();
    DestroyWindow();
}

bool CDialog_NetCirculateSend::OnInitDialog() {
    EnableRefresh(false, true);
    return true;
}

void CDialog_NetCirculateSend::EnableRefresh(bool enabled, bool defaults) {
    enabled_ = enabled ? 1 : 0;
    if (defaults) {
        const QStringList table = TextList(language(), "D155.addresses");
        for (int row = 0; row < kRows; ++row)
            addresses_[row]->SetAddress(table.value(row));
    }
    const bool usable = enabled && !repeating_;
    bool anyTicked = false;
    for (int row = 0; row < kRows; ++row) {
        checks_[row]->setEnabled(usable);
        addresses_[row]->setEnabled(usable && checks_[row]->isChecked());
        anyTicked = anyTicked || checks_[row]->isChecked();
    }
    host_.SetNetworkTargets(anyTicked && enabled ? 1 : 0);
    host_.RefreshControlStates();
}

void CDialog_NetCirculateSend::CollectTargets() {
    std::vector<CycleTarget> targets;
    for (int row = 0; row < kRows; ++row)
        if (checks_[row]->isChecked())
            targets.push_back({addresses_[row]->Address().toStdString(), {}});
    runner_->SetTargets(std::move(targets));
}

LRESULT CDialog_NetCirculateSend::OnCycleSend(WPARAM wParam, LPARAM lParam) {
    const bool repeating = lParam != 0;
    if (wParam == 1) {
        CollectTargets();
        runner_->Start(CycleSettingsFrom(host_.SendStateForCycle(), language(), !repeating));
    } else {
        runner_->Stop();
    }
    // A repeating run holds the rows still; a single pass leaves them as they are.
    if (repeating) {
        repeating_ = wParam == 1;
        EnableRefresh(enabled_ != 0, false);
    }
    return 0;
}

}  // namespace quillon
