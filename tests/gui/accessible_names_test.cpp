// Every control of the window can be found by a name a user would say: a screen reader
// walking the accessibility tree finds each visible control under a name of its own, and
// a field with a label beside it under that label's text.

#include <gtest/gtest.h>

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QStackedWidget>
#include <QTabBar>
#include <QWidget>
#include <map>

#include "app/CQuillonDlg.h"
#include "resources/ResourceIds.h"
#include "tests/gui/GuiTestSupport.h"

using namespace quillon;

namespace {

// The name a screen reader announces. A drop-down list on Linux gives its current entry as
// its name and its label through the labelled-by relation, which is what is read for it.
QString SpokenName(QAccessibleInterface* control) {
    if (control->role() == QAccessible::ComboBox) {
        for (const auto& [other, relation] : control->relations(QAccessible::Label))
            return other->text(QAccessible::Name);
        return QString();
    }
    return control->text(QAccessible::Name);
}

// A control: something the user works (it takes focus), a line or picture of the window
// with a control id, or a tab page. Labels that name a field are the field's name, not
// controls of their own; a widget that hands its focus to another is that other one; the
// row of tabs is read as the page it has chosen, whose name is the tab's caption.
bool IsControl(const QWidget& widget) {
    if (!widget.isVisible() || widget.focusProxy() || qobject_cast<const QTabBar*>(&widget))
        return false;
    if (const auto* label = qobject_cast<const QLabel*>(&widget); label && label->buddy())
        return false;
    const bool page = qobject_cast<const QStackedWidget*>(widget.parentWidget()) != nullptr;
    return widget.focusPolicy() != Qt::NoFocus || widget.property("controlId").isValid() || page;
}

void Collect(QAccessibleInterface* node, std::vector<QAccessibleInterface*>& controls) {
    if (!node)
        return;
    if (auto* widget = qobject_cast<QWidget*>(node->object()); widget && IsControl(*widget))
        controls.push_back(node);
    for (int i = 0; i < node->childCount(); ++i)
        Collect(node->child(i), controls);
}

QString Describe(QAccessibleInterface* control) {
    const QObject* object = control->object();
    return QStringLiteral("%1 (id %2)")
        .arg(QString::fromLatin1(object->metaObject()->className()))
        .arg(object->property("controlId").toInt());
}

void ExpectUniqueNames(CQuillonDlg& dialog, const std::string& situation) {
    SCOPED_TRACE(situation);
    std::vector<QAccessibleInterface*> controls;
    Collect(QAccessible::queryAccessibleInterface(&dialog), controls);
    ASSERT_GT(controls.size(), 30u);
    std::map<QString, QString> owners;
    for (QAccessibleInterface* control : controls) {
        const QString name = SpokenName(control);
        EXPECT_FALSE(name.trimmed().isEmpty()) << Describe(control).toStdString() << " has no name";
        if (name.trimmed().isEmpty())
            continue;
        const auto [it, fresh] = owners.emplace(name, Describe(control));
        EXPECT_TRUE(fresh) << Describe(control).toStdString() << " and " << it->second.toStdString()
                           << " are both called \"" << name.toStdString() << '"';
    }
}

TEST(AccessibleNamesTest, EveryVisibleControlHasANameOfItsOwnOnEveryPage) {
    for (Language language : {Language::English, Language::Chinese}) {
        auto dialog = OpenMainWindow(language);
        dialog->SetPortEntries({"COM1"}, {"LPT1"}, {});
        const std::string lang = language == Language::English ? "English" : "Chinese";
        for (int port : {0, 2}) {  // a serial port, then the network entry
            Choose(*dialog, IDC_PORT, port);
            for (int tab = 0; tab < 4; ++tab) {
                ChooseTab(*dialog, IDC_TABS, tab);
                ExpectUniqueNames(*dialog, lang + ", port entry " + std::to_string(port) +
                                               ", tab " + std::to_string(tab));
            }
        }
        Click(*dialog, IDC_PAGE_AREA);
        ExpectUniqueNames(*dialog, lang + ", page area hidden");
    }
}

TEST(AccessibleNamesTest, FieldsAreNamedByTheLabelBesideThem) {
    auto dialog = OpenMainWindow(Language::English);
    auto spoken = [&](int id) {
        return SpokenName(QAccessible::queryAccessibleInterface(dialog->GetDlgItem(id)));
    };
    EXPECT_EQ(spoken(IDC_BAUD), "Baud Rate:");
    EXPECT_EQ(spoken(IDC_PARITY), "Check:");
    EXPECT_EQ(spoken(IDC_MULTIPLE), "Multiple:");
    EXPECT_EQ(spoken(IDC_IP_ADDRESS), "IP Address:");
    EXPECT_EQ(spoken(IDC_INTERVAL), "T=");
    // The port number has no visible label in English, but its label still names it.
    EXPECT_EQ(spoken(IDC_NET_PORT), "Port Num:");
    EXPECT_EQ(spoken(IDC_SEND), "Send");
    EXPECT_EQ(spoken(IDC_SEND_FILE), "Send file");
    EXPECT_EQ(spoken(IDC_CLEAR_SEND), "Clear send text");
    EXPECT_EQ(spoken(IDC_FILE_AUTO_SEND), "Auto send file");
    EXPECT_EQ(spoken(IDC_PUSH_PIN), "Keep on top");
    EXPECT_EQ(spoken(IDC_RECEIVE), "Show Receive Data");
    EXPECT_EQ(SpokenName(QAccessible::queryAccessibleInterface(dialog->Page(1))), "Net Cycle");
    EXPECT_EQ(SpokenName(QAccessible::queryAccessibleInterface(
                  dialog->Page(1)->GetDlgItem(IDC_NET_ADDRESS[2]))),
              "Printer 3 address");
    // A line whose text changes keeps its name and reads its text as its description.
    auto* state = QAccessible::queryAccessibleInterface(dialog->GetDlgItem(IDC_PORT_STATE));
    EXPECT_EQ(state->text(QAccessible::Name), "Port State:");
    EXPECT_EQ(state->text(QAccessible::Description), "Port closed.");
    // Naming changes nothing on screen.
    EXPECT_EQ(dialog->ItemText(IDC_SEND_FILE), "Send");
    EXPECT_EQ(dialog->ItemText(IDC_CLEAR_SEND), "Clear");
    EXPECT_EQ(dialog->ItemText(IDC_FILE_AUTO_SEND), "Auto Send");
}

TEST(AccessibleNamesTest, ChineseNames) {
    auto dialog = OpenMainWindow(Language::Chinese);
    auto spoken = [&](QWidget* widget) {
        return SpokenName(QAccessible::queryAccessibleInterface(widget));
    };
    EXPECT_EQ(spoken(dialog->GetDlgItem(IDC_BAUD)), "波特率:");
    EXPECT_EQ(spoken(dialog->GetDlgItem(IDC_NET_PORT)), "端口号:");
    EXPECT_EQ(spoken(dialog->GetDlgItem(IDC_PUSH_PIN)), "窗口置顶");
    EXPECT_EQ(spoken(dialog->Page(0)), "串口循环");
    EXPECT_EQ(spoken(dialog->Page(1)->GetDlgItem(IDC_NET_ADDRESS[7])), "打印机8地址");
}

}  // namespace
