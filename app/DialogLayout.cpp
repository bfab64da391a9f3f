// The controls of dialog 148 and how they sit: the receive area with the tab pages to its
// right at the top, the save line, the port settings beside the network, multiple and
// send-mode settings, the send box, the file line, the counters and buttons, and the port
// state line at the bottom.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/CPushPinButton.h"
#include "app/CQuillonDlg.h"
#include "framework/ControlNames.h"
#include "framework/IpAddressEdit.h"
#include "framework/Texts.h"
#include "framework/WrappedTextView.h"
#include "resources/ResourceIds.h"

namespace quillon {

namespace {

std::string Key(int id) {
    return "D148." + std::to_string(id);
}

// The key of the name a screen reader gives a control that has no label of its own.
std::string NameKey(int id) {
    return Key(id) + ".name";
}

}  // namespace

void CQuillonDlg::CreateControls() {
    const Language lang = language();
    auto text = [lang](const std::string& key) { return Text(lang, key); };
    auto label = [&](int id) { return AddControl(id, new QLabel(text(Key(id)), this)); };
    auto button = [&](int id) { return AddControl(id, new QPushButton(text(Key(id)), this)); };
    auto check = [&](int id) { return AddControl(id, new QCheckBox(text(Key(id)), this)); };
    auto combo = [&](int id) {
        auto* box = AddControl(id, new QComboBox(this));
        box->addItems(TextList(lang, Key(id) + ".items"));
        return box;
    };
    // A label for a line that shows changing text (a path, a state): it never widens the
    // window, whatever it is given.
    auto line = [&](int id, const QString& initial, const QString& name) {
        auto* shown = AddControl(id, new QLabel(initial, this));
        shown->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        shown->setMinimumWidth(60);
        NameLine(shown, name);
        return shown;
    };
    // Names a control whose visible text another control shares, or that has none.
    auto named = [&](QWidget* control, int id) {
        control->setAccessibleName(text(NameKey(id)));
        return control;
    };
    auto frame = [this](const QString& title) {
        auto* group = new QGroupBox(title, this);
        return group;
    };

    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(10, 8, 10, 6);
    page->setSpacing(6);

    // Receive area and page area.
    auto* top = new QHBoxLayout;
    top->setSpacing(8);
    auto* receiveGroup = frame(text("D148.receive"));
    auto* receiveColumn = new QVBoxLayout(receiveGroup);
    receiveColumn->setContentsMargins(8, 4, 8, 6);
    receive_ = AddControl(IDC_RECEIVE, new WrappedTextView(this));
    receive_->setAccessibleName(receiveGroup->title());
    receive_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    receive_->setMinimumHeight(200);
    receive_->UseFontsOf(ReceivedCharacters::Sample(language()));
    ApplyReceiveColours();
    receiveColumn->addWidget(receive_, 1);
    auto* receiveButtons = new QHBoxLayout;
    receiveButtons->addWidget(check(IDC_HEX_SHOW));
    check(IDC_AUTO_CLEAR)->hide();  // kept for its id, never shown
    receiveButtons->addStretch(1);
    receiveButtons->addWidget(button(IDC_PAUSE));
    receiveButtons->addWidget(button(IDC_CLEAR_RECEIVE));
    receiveColumn->addLayout(receiveButtons);
    top->addWidget(receiveGroup, 1);
    tabs_ = AddControl(IDC_TABS, new QTabWidget(this));
    tabs_->setUsesScrollButtons(false);
    top->addWidget(tabs_, 0);
    page->addLayout(top, 1);

    // Saving received data.
    auto* saveGroup = frame(text("D148.save"));
    auto* saveRow = new QHBoxLayout(saveGroup);
    saveRow->setContentsMargins(8, 2, 8, 4);
    saveRow->addWidget(new QLabel(text("D148.path"), this));
    saveRow->addWidget(line(IDC_SAVE_DIR, QString(), text(NameKey(IDC_SAVE_DIR))), 1);
    saveRow->addWidget(button(IDC_MODIFY_DIR));
    saveRow->addWidget(button(IDC_SAVE));
    page->addWidget(saveGroup);

    // Port settings on the left; network, multiple and send modes on the right.
    auto* middle = new QHBoxLayout;
    middle->setSpacing(8);
    auto* serialGroup = frame(QString());
    auto* serial = new QGridLayout(serialGroup);
    serial->setContentsMargins(8, 6, 8, 6);
    serial->setHorizontalSpacing(6);
    serial->setVerticalSpacing(4);
    const int serialCells[][2] = {
        {IDC_PORT_LABEL, IDC_PORT},           {IDC_BAUD_LABEL, IDC_BAUD},
        {IDC_PARITY_LABEL, IDC_PARITY},       {IDC_DATA_BITS_LABEL, IDC_DATA_BITS},
        {IDC_STOP_BITS_LABEL, IDC_STOP_BITS}, {IDC_FLOW_LABEL, IDC_FLOW}};
    for (int i = 0; i < 6; ++i) {
        const int row = i / 2;
        const int column = (i % 2) * 2;
        QLabel* name = label(serialCells[i][0]);
        QComboBox* list = combo(serialCells[i][1]);
        LabelField(name, list);
        list->setMinimumWidth(96);
        serial->addWidget(name, row, column);
        serial->addWidget(list, row, column + 1);
    }
    serial->setColumnStretch(1, 1);
    serial->setColumnStretch(3, 1);
    auto* lines = new QHBoxLayout;
    lines->addWidget(check(IDC_DTR));
    lines->addWidget(check(IDC_RTS));
    lines->addStretch(1);
    serial->addLayout(lines, 3, 0, 1, 2);
    auto* openRow = new QHBoxLayout;
    openRow->addStretch(1);
    auto* icon = AddControl(IDC_PORT_ICON, new QLabel(this));
    named(icon, IDC_PORT_ICON);
    icon->setFixedSize(32, 32);
    openRow->addWidget(icon);
    auto* openClose = button(IDC_OPEN_CLOSE);
    openClose->setMinimumSize(84, 44);
    openRow->addWidget(openClose);
    serial->addLayout(openRow, 3, 2, 1, 2);
    middle->addWidget(serialGroup, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(6);
    auto* netGroup = frame(QString());
    auto* net = new QGridLayout(netGroup);
    net->setContentsMargins(8, 6, 8, 6);
    net->setHorizontalSpacing(6);
    net->setVerticalSpacing(4);
    QLabel* multipleLabel = label(IDC_MULTIPLE_LABEL);
    QComboBox* multiple = combo(IDC_MULTIPLE);
    LabelField(multipleLabel, multiple);
    net->addWidget(multipleLabel, 0, 0);
    net->addWidget(multiple, 0, 1, Qt::AlignLeft);
    QLabel* addressLabel = label(IDC_IP_LABEL);
    auto* address = AddControl(IDC_IP_ADDRESS, new IpAddressEdit(this));
    LabelField(addressLabel, address);
    net->addWidget(addressLabel, 1, 0);
    net->addWidget(address, 1, 1);
    QLabel* portNumber = label(IDC_NET_PORT_LABEL);
    // The English window leaves the port number unlabelled, beside the address; the label
    // still names the list for a screen reader.
    portNumber->setVisible(lang == Language::Chinese);
    QComboBox* netPort = combo(IDC_NET_PORT);
    LabelField(portNumber, netPort);
    net->addWidget(portNumber, 1, 2);
    net->addWidget(netPort, 1, 3);
    net->setColumnStretch(4, 1);
    right->addWidget(netGroup);

    auto* autoGroup = frame(QString());
    auto* modes = new QGridLayout(autoGroup);
    modes->setContentsMargins(8, 6, 8, 6);
    modes->setVerticalSpacing(4);
    auto* timing = new QHBoxLayout;
    timing->addWidget(check(IDC_AUTO_SEND));
    timing->addSpacing(12);
    auto* intervalLabel = new QLabel(text("D148.interval"), this);
    timing->addWidget(intervalLabel);
    auto* interval = AddControl(IDC_INTERVAL, new QLineEdit(this));
    LabelField(intervalLabel, interval);
    interval->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), interval));
    interval->setMaxLength(9);
    interval->setFixedWidth(interval->fontMetrics().horizontalAdvance(QStringLiteral("000000000")));
    timing->addWidget(interval);
    timing->addSpacing(2);
    timing->addWidget(label(IDC_MS_LABEL));
    timing->addStretch(1);
    modes->addLayout(timing, 0, 0, 1, 3);
    modes->addWidget(check(IDC_HEX_SEND), 1, 0);
    modes->addWidget(check(IDC_SEND_NEWLINE), 1, 1);
    modes->addWidget(check(IDC_CHINESE_MODE), 1, 2);
    right->addWidget(autoGroup);
    right->addStretch(1);
    middle->addLayout(right, 0);
    page->addLayout(middle);

    // Send box.
    auto* sendRow = new QHBoxLayout;
    auto* sendText = AddControl(IDC_SEND_TEXT, new QPlainTextEdit(this));
    named(sendText, IDC_SEND_TEXT);
    // Lines break at any character: looking for word breaks in a long unbroken line (a
    // pasted megabyte without blanks) would hold the window for minutes.
    sendText->setWordWrapMode(QTextOption::WrapAnywhere);
    sendText->setFixedHeight(sendText->fontMetrics().lineSpacing() * 4 + 12);
    sendRow->addWidget(sendText, 1);
    auto* sendButtons = new QVBoxLayout;
    sendButtons->addWidget(button(IDC_SEND));
    sendButtons->addWidget(named(button(IDC_CLEAR_SEND), IDC_CLEAR_SEND));
    sendButtons->addStretch(1);
    sendRow->addLayout(sendButtons);
    page->addLayout(sendRow);

    // Sending a file.
    auto* fileGroup = frame(text("D148.file"));
    auto* fileRow = new QHBoxLayout(fileGroup);
    fileRow->setContentsMargins(8, 2, 8, 4);
    fileRow->addWidget(new QLabel(text("D148.path"), this));
    fileRow->addWidget(line(IDC_FILE_LABEL, QString(), text(NameKey(IDC_FILE_LABEL))), 1);
    fileRow->addWidget(button(IDC_BROWSE));
    fileRow->addWidget(named(button(IDC_SEND_FILE), IDC_SEND_FILE));
    fileRow->addWidget(named(check(IDC_FILE_AUTO_SEND), IDC_FILE_AUTO_SEND));
    page->addWidget(fileGroup);

    // The push-pin, the counters and the buttons; under them the port state line.
    auto* status = new QHBoxLayout;
    status->setSpacing(8);
    pushPin_ = AddControl(IDC_PUSH_PIN, new CPushPinButton(this));
    named(pushPin_, IDC_PUSH_PIN);
    status->addWidget(pushPin_, 0, Qt::AlignVCenter);
    status->addStretch(1);
    for (int id : {IDC_RX_COUNT, IDC_TX_COUNT}) {
        QLabel* counter = label(id);
        NameLine(counter, text(NameKey(id)));
        counter->setMinimumWidth(
            counter->fontMetrics().horizontalAdvance(QStringLiteral("RX:0000000")));
        status->addWidget(counter);
    }
    for (int id : {IDC_RECOUNT, IDC_PAGE_AREA, IDC_HELP, IDC_PRINT_TEST})
        status->addWidget(button(id));
    page->addLayout(status);
    // The port state line has the window's whole width, so that an open port's settings and
    // modem lines show whole. It starts with its name, "Port State:", as its text.
    page->addWidget(line(IDC_PORT_STATE, text(Key(IDC_PORT_STATE)), text(Key(IDC_PORT_STATE))));
}

}  // namespace quillon
