#include "pages/Dialog_TestButton.h"

#include <QPushButton>
#include <QVBoxLayout>

#include "framework/Texts.h"
#include "pages/PageHost.h"
#include "resources/ResourceIds.h"

namespace quillon {

Dialog_TestButton::Dialog_TestButton(PageHost& host, Language language, QWidget* parent)
    : CDialog(IDD_TEST_BUTTON, language, parent, true), host_(host) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(12, 6, 12, 6);
    column->setSpacing(4);
    for (int model = 0; model < kModels; ++model) {
        const int id = IDC_MODEL_BUTTON[model];
        auto* button =
            AddControl(id, new QPushButton(Text(language, "D164." + std::to_string(id)), this));
        button->setMinimumWidth(150);
        column->addWidget(button, 0, Qt::AlignHCenter);
        OnCommand(BN_CLICKED, id, [this, model] {
            if (const WindowRef main = host_.MainWindow())
                main->SendMessage(UM_MODEL_TEST, 0, model);
        });
    }
    column->addStretch(1);

    OnMessage(UM_ENABLE_TESTS, [this](WPARAM, LPARAM l) {
        EnableButtons(l != 0);
        return LRESULT{0};
    });
}

Dialog_TestButton::~Dialog_TestButton() {
    DestroyWindow();
}

bool Dialog_TestButton::OnInitDialog() {
    EnableButtons(false);
    return true;
}

void Dialog_TestButton::EnableButtons(bool enabled) {
    for (int id : IDC_MODEL_BUTTON)
        EnableItem(id, enabled);
}

}  // namespace quillon
