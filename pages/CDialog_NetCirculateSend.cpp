#include "pages/CDialog_NetCirculateSend.h"

#include <QCheckBox>
#include <QGridLayout>

#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"

namespace quillon {

CDialog_NetCirculateSend::CDialog_NetCirculateSend(PageHost& host, Language language,
                                                   QWidget* parent)
    : CDialog(IDD_NET_CYCLE, language, parent, true), host_(host) {
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
    bool anyTicked = false;
    for (int row = 0; row < kRows; ++row) {
        checks_[row]->setEnabled(enabled);
        addresses_[row]->setEnabled(enabled && checks_[row]->isChecked());
        anyTicked = anyTicked || checks_[row]->isChecked();
    }
    host_.SetNetworkTargets(anyTicked && enabled ? 1 : 0);
    host_.RefreshControlStates();
}

LRESULT CDialog_NetCirculateSend::OnCycleSend(WPARAM, LPARAM) {
    // Cycle runs over the ticked addresses are not part of this window yet.
    return 0;
}

}  // namespace quillon
