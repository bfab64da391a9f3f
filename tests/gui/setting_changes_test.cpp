// Changing the serial lists and the network port: nothing until the next open with
// Multiple "NO"; with "YES" the selected row of the Com Cycle page takes the new
// parameters at once, and choosing a row shows its parameters in the lists.

#include <gtest/gtest.h>

#include <QTableWidget>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"

using namespace quillon;

namespace {

constexpr int kParameterColumn = 2;

class SettingChangesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dialog_ = OpenMainWindow(Language::English);
        dialog_->SetPortEntries({"COM1", "COM3"}, {}, {});
        Choose(*dialog_, IDC_PORT, 0);
        rows_ = dialog_->Page(kComCyclePage)->Item<QTableWidget>(IDC_COM_LIST);
    }
    QString RowParameters(int row) const { return rows_->item(row, kParameterColumn)->text(); }

    std::unique_ptr<CQuillonDlg> dialog_;
    QTableWidget* rows_ = nullptr;
};

TEST_F(SettingChangesTest, BaudChangeReachesTheSelectedRowOnlyInMultipleMode) {
    const QString before = dialog_->state().port.serialParameterText;
    Choose(*dialog_, IDC_BAUD, 4);  // 19200, Multiple "NO"
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "19200");
    EXPECT_EQ(dialog_->state().port.serialParameterText, before);
    EXPECT_EQ(RowParameters(0), "9600,N,8,1");
    EXPECT_EQ(RowParameters(1), "9600,N,8,1");

    Choose(*dialog_, IDC_MULTIPLE, 1);
    rows_->selectRow(1);
    // The row's own parameters come into the lists; its text has no fifth field, so the
    // stop bits stay and the fourth field is read as the flow control index.
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "9600");
    EXPECT_EQ(dialog_->CurSel(IDC_FLOW), 1);

    Choose(*dialog_, IDC_BAUD, 7);  // 115200
    EXPECT_EQ(RowParameters(1), "115200,N,8,1, 1");
    Choose(*dialog_, IDC_PARITY, 1);
    Choose(*dialog_, IDC_DATA_BITS, 1);
    Choose(*dialog_, IDC_STOP_BITS, 1);
    EXPECT_EQ(RowParameters(1), "115200,O,7,2, 1");
    EXPECT_EQ(RowParameters(0), "9600,N,8,1");

    // Choosing the other row and back shows each row's own parameters.
    rows_->selectRow(0);
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "9600");
    rows_->selectRow(1);
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "115200");
    EXPECT_EQ(dialog_->CurSel(IDC_PARITY), 1);
    EXPECT_EQ(dialog_->ItemText(IDC_DATA_BITS), "7");
    EXPECT_EQ(dialog_->ItemText(IDC_STOP_BITS), "2");
}

TEST_F(SettingChangesTest, ParameterTextsTheListsLackLeaveThemAsTheyWere) {
    dialog_->ShowSerialParameters("14400,X,5,3, 9");
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "9600");
    EXPECT_EQ(dialog_->CurSel(IDC_PARITY), 0);
    EXPECT_EQ(dialog_->ItemText(IDC_DATA_BITS), "8");
    EXPECT_EQ(dialog_->ItemText(IDC_STOP_BITS), "1");
    EXPECT_EQ(dialog_->CurSel(IDC_FLOW), 0);
    dialog_->ShowSerialParameters("4800,E,6,2, 2");
    EXPECT_EQ(dialog_->ItemText(IDC_BAUD), "4800");
    EXPECT_EQ(dialog_->CurSel(IDC_PARITY), 2);
    EXPECT_EQ(dialog_->ItemText(IDC_DATA_BITS), "6");
    EXPECT_EQ(dialog_->ItemText(IDC_STOP_BITS), "2");
    EXPECT_EQ(dialog_->CurSel(IDC_FLOW), 2);
}

TEST_F(SettingChangesTest, NetworkPortIsTheNumberOfTheChosenEntry) {
    Choose(*dialog_, IDC_PORT, 2);  // Ethernet
    EXPECT_EQ(dialog_->state().port.networkPort, 9100);
    Choose(*dialog_, IDC_NET_PORT, 0);
    EXPECT_EQ(dialog_->state().port.networkPort, 80);
    Choose(*dialog_, IDC_NET_PORT, 1);
    EXPECT_EQ(dialog_->state().port.networkPort, 4000);
}

}  // namespace
