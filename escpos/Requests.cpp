#include "escpos/Requests.h"

#include "escpos/CommandTable.h"

namespace quillon::escpos {

namespace {

// GS r n and GS I n take the number or its digit ('1' is 49).
int Selector(std::uint8_t n) {
    return n >= '0' && n <= '9' ? n - '0' : n;
}

}  // namespace

bool IsRealTime(Request request) {
    return request <= Request::kPeeler;
}

bool AnswersWithText(Request request) {
    return request >= Request::kFirmware;
}

std::vector<std::uint8_t> RequestBytes(Request request) {
    switch (request) {
        case Request::kPrinter:
            return {kDle, 0x04, 1};
        case Request::kOfflineCause:
            return {kDle, 0x04, 2};
        case Request::kErrorCause:
            return {kDle, 0x04, 3};
        case Request::kRollPaper:
            return {kDle, 0x04, 4};
        case Request::kInkA:
            return {kDle, 0x04, 7, 1};
        case Request::kInkB:
            return {kDle, 0x04, 7, 2};
        case Request::kPeeler:
            return {kDle, 0x04, 8, 3};
        case Request::kPaperSensor:
            return {kGs, 'r', 1};
        case Request::kDrawer:
            return {kGs, 'r', 2};
        case Request::kModelId:
            return {kGs, 'I', 1};
        case Request::kTypeId:
            return {kGs, 'I', 2};
        case Request::kVersionId:
            return {kGs, 'I', 3};
        case Request::kFirmware:
            return {kGs, 'I', 65};
        case Request::kMaker:
            return {kGs, 'I', 66};
        case Request::kModelName:
            return {kGs, 'I', 67};
        case Request::kSerialNumber:
            return {kGs, 'I', 68};
        case Request::kFonts:
            return {kGs, 'I', 69};
    }
    return {};
}

const char* RequestName(Request request) {
    static constexpr const char* kNames[] = {
        "DLE EOT 1",   "DLE EOT 2",      "DLE EOT 3", "DLE EOT 4", "DLE EOT 7 1", "DLE EOT 7 2",
        "DLE EOT 8 3", "GS r 1 / ESC v", "GS r 2",    "GS I 1",    "GS I 2",      "GS I 3",
        "GS I 65",     "GS I 66",        "GS I 67",   "GS I 68",   "GS I 69",
    };
    return kNames[static_cast<int>(request)];
}

void RequestScanner::Scan(const std::uint8_t* data, std::size_t size) {
    realTime_.Scan(data, size);
    tokenizer_.Feed(data, size);
}

void RequestScanner::StatusRequest(int n) {
    sink_.Asked(static_cast<Request>(static_cast<int>(Request::kPrinter) + n - 1));
}

void RequestScanner::ArgumentStatusRequest(int n, int a) {
    sink_.Asked(n == 8 ? Request::kPeeler : a == 1 ? Request::kInkA : Request::kInkB);
}

void RequestScanner::OnToken(const Token& token) {
    if (token.kind != TokenKind::kCommand || token.size < 2)
        return;
    const std::uint8_t prefix = token.data[0];
    const std::uint8_t code = token.data[1];
    if (prefix == kEsc && code == 'v') {
        sink_.Asked(Request::kPaperSensor);
        return;
    }
    if (prefix == kEsc && code == '@') {
        sink_.AutomaticStatusItems(0);
        return;
    }
    if (prefix != kGs || token.size < 3)
        return;
    const std::uint8_t n = token.data[2];
    switch (code) {
        case 'r':
            if (Selector(n) == 1)
                sink_.Asked(Request::kPaperSensor);
            else if (Selector(n) == 2)
                sink_.Asked(Request::kDrawer);
            break;
        case 'I':
            if (Selector(n) >= 1 && Selector(n) <= 3)
                sink_.Asked(
                    static_cast<Request>(static_cast<int>(Request::kModelId) + Selector(n) - 1));
            else if (n >= 65 && n <= 69)
                sink_.Asked(static_cast<Request>(static_cast<int>(Request::kFirmware) + n - 65));
            break;
        case 'a':
            // Only the low four bits choose items; the printer ignores the rest.
            sink_.AutomaticStatusItems(n & 0x0F);
            break;
        default:
            break;
    }
}

}  // namespace quillon::escpos
