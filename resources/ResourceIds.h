#pragma once

// Identifiers of the dialogs, controls, icons, bitmaps and strings. Controls keep these
// numbers on every platform; each dialog has its own id space (pages reuse 1073, 1079, 1095).

namespace quillon {

// Dialog templates.
constexpr int IDD_QUILLON_DIALOG = 148;
constexpr int IDD_NET_CYCLE = 155;
constexpr int IDD_OTHER_COMMAND = 156;
constexpr int IDD_COM_CYCLE = 158;
constexpr int IDD_TEST_BUTTON = 164;

// Icons and bitmaps.
constexpr int IDR_MAINFRAME = 135;
constexpr int IDI_PORT_CLOSED = 137;
constexpr int IDI_PORT_OPEN = 138;
constexpr int IDB_PIN_PINNED = 142;
constexpr int IDB_PIN_UNPINNED = 143;

// Main dialog 148.
constexpr int IDC_PORT = 1000;
constexpr int IDC_BAUD = 1001;
constexpr int IDC_MULTIPLE = 1003;
constexpr int IDC_PORT_STATE = 1004;
constexpr int IDC_PORT_ICON = 1005;
constexpr int IDC_HEX_SHOW = 1006;
constexpr int IDC_CLEAR_RECEIVE = 1007;
constexpr int IDC_PAUSE = 1008;
constexpr int IDC_RECEIVE = 1009;
constexpr int IDC_SEND = 1010;
constexpr int IDC_INTERVAL = 1011;
constexpr int IDC_SEND_TEXT = 1012;
constexpr int IDC_HEX_SEND = 1013;
constexpr int IDC_AUTO_SEND = 1014;
constexpr int IDC_NET_PORT = 1015;
constexpr int IDC_PRINT_TEST = 1016;
constexpr int IDC_FILE_AUTO_SEND = 1017;
constexpr int IDC_CLEAR_SEND = 1018;
constexpr int IDC_PARITY = 1020;
constexpr int IDC_DATA_BITS = 1021;
constexpr int IDC_STOP_BITS = 1022;
constexpr int IDC_FLOW = 1023;
constexpr int IDC_SAVE = 1026;
constexpr int IDC_SAVE_DIR = 1027;
constexpr int IDC_MODIFY_DIR = 1028;
constexpr int IDC_BROWSE = 1030;
constexpr int IDC_FILE_LABEL = 1031;
constexpr int IDC_SEND_FILE = 1032;
constexpr int IDC_OPEN_CLOSE = 1035;
constexpr int IDC_AUTO_CLEAR = 1037;
constexpr int IDC_RX_COUNT = 1040;
constexpr int IDC_RECOUNT = 1041;
constexpr int IDC_TX_COUNT = 1049;
constexpr int IDC_MS_LABEL = 1052;
constexpr int IDC_PORT_LABEL = 1054;
constexpr int IDC_BAUD_LABEL = 1055;
constexpr int IDC_PARITY_LABEL = 1056;
constexpr int IDC_DATA_BITS_LABEL = 1057;
constexpr int IDC_STOP_BITS_LABEL = 1058;
constexpr int IDC_PUSH_PIN = 1059;
constexpr int IDC_FLOW_LABEL = 1060;
constexpr int IDC_PAGE_AREA = 1066;
constexpr int IDC_TABS = 1073;
constexpr int IDC_IP_ADDRESS = 1079;
constexpr int IDC_IP_LABEL = 1093;
constexpr int IDC_NET_PORT_LABEL = 1094;
constexpr int IDC_HELP = 1095;
constexpr int IDC_MULTIPLE_LABEL = 1096;
constexpr int IDC_CHINESE_MODE = 1097;
constexpr int IDC_SEND_NEWLINE = 1105;
constexpr int IDC_DTR = 1106;
constexpr int IDC_RTS = 1107;

// Serial cycle page 158.
constexpr int IDC_COM_LIST = 1102;

// Network cycle page 155: check boxes and address controls of rows 1 to 8.
constexpr int IDC_NET_CHECK[8] = {1071, 1074, 1072, 1075, 1073, 1076, 1077, 1078};
constexpr int IDC_NET_ADDRESS[8] = {1079, 1080, 1081, 1082, 1083, 1084, 1085, 1086};

// Test page 164: model buttons by model index.
constexpr int IDC_MODEL_BUTTON[6] = {1095, 1108, 1109, 1110, 1111, 1112};

// Others page 156.
constexpr int IDC_CUT_PAPER = 1089;
constexpr int IDC_PRINTER_STATUS = 1090;
constexpr int IDC_CASH_DRAWER = 1091;
constexpr int IDC_IDENTIFY = 1092;
constexpr int IDC_SESSION_LOG = 1098;
constexpr int IDC_STATUS_LINE = 1099;

// String table.
constexpr int IDS_OPEN_FAILED = 157;
constexpr int IDS_OPEN_PORT = 159;
constexpr int IDS_CLOSE_PORT = 160;
constexpr int IDS_PAUSE = 161;
constexpr int IDS_CONTINUE = 162;
constexpr int IDS_CYCLE_TIME = 164;
constexpr int IDS_CONNECT_FAILED = 165;
constexpr int IDS_CREATE_LOG_FAILED = 167;
constexpr int IDS_PORT_CLOSED = 172;
constexpr int IDS_SERIAL_OPENED = 173;
constexpr int IDS_PORT_OPENED = 174;
constexpr int IDS_HELP = 175;
constexpr int IDS_HEX_FAILED = 176;
constexpr int IDS_MORE = 177;
constexpr int IDS_HIDDEN = 178;
constexpr int IDS_NO_FILE = 179;
constexpr int IDS_COM_CYCLE = 180;
constexpr int IDS_NET_CYCLE = 181;
constexpr int IDS_OTHERS = 182;
constexpr int IDS_SENDING = 183;
constexpr int IDS_SEND_COMPLETED = 184;
constexpr int IDS_OPEN_FILE_FAILED = 185;
constexpr int IDS_CHOOSE_DIR = 186;
constexpr int IDS_FILE_FILTER = 188;
constexpr int IDS_ETHERNET = 189;
constexpr int IDS_CONNECTION_BROKEN = 190;
constexpr int IDS_TITLE = 191;
constexpr int IDS_TEST = 192;
constexpr int IDS_TEST_COMPLETED = 193;

}  // namespace quillon
