#include "pages/CDialog_OtherCommand.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "framework/ControlNames.h"
#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {
// The commands the buttons ask the main window for (UM_PRINTER_COMMAND), two to a row.
constexpr int kButtons[][2] = {
    {IDC_CUT_PAPER, kCutPaperCommand},     {IDC_CASH_DRAWER, kCashDrawerCommand},
    {IDC_PRINTER_STATUS, kStatusCommand},  {IDC_IDENTIFY, kIdentifyCommand},
    {IDC_SESSION_LOG, kSessionLogCommand},
};
// Usable only while the port is open.
constexpr int kPortButtons[] = {IDC_CUT_PAPER, IDC_CASH_DRAWER, IDC_PRINTER_STATUS, IDC_IDENTIFY};
}  // namespace

CDialog_OtherCommand::CDialog_OtherCommand(PageHost& host, Language language, QWidget* parent)
    : CDialog(IDD_OTHER_COMMAND, language, parent, true), host_(host) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(10, 6, 10, 6);
    auto* grid = new QGridLayout;
    column->addLayout(grid);
    int place = 0;
    for (const auto& [id, command] : kButtons) {
        auto* button =
            AddControl(id, new QPushButton(Text(language, "D156." + std::to_string(id)), this));
        grid->addWidget(button, place / 2, place % 2);
        ++place;
        OnCommand(BN_CLICKED, id, [this, command = command] {
            if (const WindowRef main = host_.MainWindow())
                main->SendMessage(UM_PRINTER_COMMAND, 0, command);
        });
    }
    grid->setColumnStretch(2, 1);
    // What the printer answered, under the buttons; long answers wrap.
    auto* answer = AddControl(IDC_STATUS_LINE, new QLabel(this));
    answer->setWordWrap(true);
    answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    answer->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    NameLine(answer, Text(language, "D156.1099.name"));
    column->addWidget(answer);
    column->addStretch(1);

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
    for (const int id : kPortButtons)
        EnableItem(id, enabled);
}

void CDialog_OtherCommand::ShowPrinterAnswer(const QString& line, const QString& details) {
    SetItemNote(IDC_STATUS_LINE, details);
    SetItemText(IDC_STATUS_LINE, line);
}

}  // namespace quillon
