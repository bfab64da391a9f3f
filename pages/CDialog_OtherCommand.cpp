#include "pages/CDialog_OtherCommand.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"

namespace quillon {

CDialog_OtherCommand::CDialog_OtherCommand(PageHost& host, Language language, QWidget* parent)
    : CDialog(IDD_OTHER_COMMAND, language, parent, true), host_(host) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 6, 10, 6);
    auto* row = new QHBoxLayout;
    column->addLayout(row);
    column->addStretch(1);
    // Command 1 cuts the paper, command 2 opens the cash drawer.
    const int commands[][2] = {{IDC_CUT_PAPER, 1}, {IDC_CASH_DRAWER, 2}};
    for (const auto& [id, command] : commands) {
        auto* button =
            AddControl(id, new QPushButton(Text(language, "D156." + std::to_string(id)), this));
        row->addWidget(button);
        OnCommand(BN_CLICKED, id, [this, command = command] {
            if (const WindowRef main = host_.MainWindow())
                main->SendMessage(UM_PRINTER_COMMAND, 0, command);
        });
    }
    row->addStretch(1);

    OnMessage(UM_ENABLE_COMMANDS, [this](WPARAM, LPARAM l) {
        EnableButtons(l != 0);
        return LRESULT{0};
    });
}

CDialog_OtherCommand::~CDialog_OtherCommand() {
    DestroyWindow();
}

bool CDialog_OtherCommand::OnInitDialog() {
    EnableButtons(false);
    return true;
}

void CDialog_OtherCommand::EnableButtons(bool enabled) {
    EnableItem(IDC_CUT_PAPER, enabled);
    EnableItem(IDC_CASH_DRAWER, enabled);
}

}  // namespace quillon
