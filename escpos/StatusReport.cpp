#include "escpos/StatusReport.h"

namespace quillon::escpos {

namespace {

bool Bit(std::uint8_t b, std::uint8_t mask) {
    return (b & mask) != 0;
}

// The drawer's sensor (kick-out connector pin 3) reads high while the drawer is shut.
void ApplyRealTime(PrinterReport& r, Request request, std::uint8_t b) {
    switch (request) {
        case Request::kPrinter:
            r.drawerOpen = !Bit(b, 0x04);
            r.online = !Bit(b, 0x08);
            r.waitingForRecovery = Bit(b, 0x20);
            r.feedButtonPressed = Bit(b, 0x40);
            break;
        case Request::kOfflineCause:
            r.coverOpen = Bit(b, 0x04);
            r.feedingByButton = Bit(b, 0x08);
            r.stoppedByPaperEnd = Bit(b, 0x20);
            r.errorOccurred = Bit(b, 0x40);
            break;
        case Request::kErrorCause:
            r.mechanicalError = Bit(b, 0x04);
            r.cutterError = Bit(b, 0x08);
            r.unrecoverableError = Bit(b, 0x20);
            r.autoRecoverableError = Bit(b, 0x40);
            break;
        case Request::kRollPaper:
            r.paperNearEnd = Bit(b, 0x0C);
            r.paperOut = Bit(b, 0x60);
            break;
        case Request::kInkA:
        case Request::kInkB: {
            const int ink = request == Request::kInkA ? 0 : 1;
            r.inkNearEnd[ink] = Bit(b, 0x0C);
            r.inkOut[ink] = Bit(b, 0x60);
            break;
        }
        case Request::kPeeler:
            r.waitingForLabelRemoval = Bit(b, 0x04);
            break;
        default:
            break;
    }
}

}  // namespace

bool PrinterReport::Apply(const Answer& answer) {
    if (answer.kind == Answer::Kind::kAutomatic && answer.bytes.size() == 4) {
        const std::uint8_t first = answer.bytes[0];
        drawerOpen = !Bit(first, 0x04);
        online = !Bit(first, 0x08);
        coverOpen = Bit(first, 0x20);
        feedButtonPressed = Bit(first, 0x40);
        const std::uint8_t errors = answer.bytes[1];
        mechanicalError = Bit(errors, 0x04);
        cutterError = Bit(errors, 0x08);
        unrecoverableError = Bit(errors, 0x20);
        autoRecoverableError = Bit(errors, 0x40);
        paperNearEnd = Bit(answer.bytes[2], 0x03);
        paperOut = Bit(answer.bytes[2], 0x0C);
        return true;
    }
    if (answer.kind != Answer::Kind::kStatus || answer.bytes.size() != 1)
        return false;
    const std::uint8_t b = answer.bytes[0];
    if (IsRealTime(answer.request)) {
        ApplyRealTime(*this, answer.request, b);
        return true;
    }
    if (answer.request == Request::kPaperSensor) {
        paperNearEnd = Bit(b, 0x03);
        paperOut = Bit(b, 0x0C);
        return true;
    }
    if (answer.request == Request::kDrawer) {
        drawerOpen = !Bit(b, 0x01);
        return true;
    }
    return false;
}

std::vector<StatusWord> Words(const PrinterReport& r) {
    std::vector<StatusWord> words;
    auto either = [&words](const std::optional<bool>& item, StatusWord yes, StatusWord no) {
        if (item)
            words.push_back(*item ? yes : no);
    };
    auto when = [&words](const std::optional<bool>& item, StatusWord word) {
        if (item.value_or(false))
            words.push_back(word);
    };
    either(r.online, StatusWord::kOnline, StatusWord::kOffline);
    either(r.coverOpen, StatusWord::kCoverOpen, StatusWord::kCoverClosed);
    if (r.paperOut.value_or(false))
        words.push_back(StatusWord::kPaperOut);
    else if (r.paperNearEnd.value_or(false))
        words.push_back(StatusWord::kPaperNearEnd);
    else if (r.paperOut && r.paperNearEnd)
        words.push_back(StatusWord::kPaperOk);
    either(r.drawerOpen, StatusWord::kDrawerOpen, StatusWord::kDrawerClosed);
    when(r.feedButtonPressed, StatusWord::kFeedButtonPressed);
    when(r.feedingByButton, StatusWord::kFeedingByButton);
    when(r.waitingForRecovery, StatusWord::kWaitingForRecovery);
    when(r.stoppedByPaperEnd, StatusWord::kStoppedByPaperEnd);
    const std::size_t before = words.size();
    when(r.mechanicalError, StatusWord::kMechanicalError);
    when(r.cutterError, StatusWord::kCutterError);
    when(r.unrecoverableError, StatusWord::kUnrecoverableError);
    when(r.autoRecoverableError, StatusWord::kAutoRecoverableError);
    // An error whose cause is not known says just that.
    if (words.size() == before)
        when(r.errorOccurred, StatusWord::kError);
    if (r.inkOut[0].value_or(false) || r.inkOut[1].value_or(false))
        words.push_back(StatusWord::kInkOut);
    else if (r.inkNearEnd[0].value_or(false) || r.inkNearEnd[1].value_or(false))
        words.push_back(StatusWord::kInkNearEnd);
    when(r.waitingForLabelRemoval, StatusWord::kWaitingForLabelRemoval);
    return words;
}

const char* WordName(StatusWord word) {
    switch (word) {
        case StatusWord::kOnline:
            return "online";
        case StatusWord::kOffline:
            return "offline";
        case StatusWord::kCoverClosed:
            return "coverClosed";
        case StatusWord::kCoverOpen:
            return "coverOpen";
        case StatusWord::kPaperOk:
            return "paperOk";
        case StatusWord::kPaperNearEnd:
            return "paperNearEnd";
        case StatusWord::kPaperOut:
            return "paperOut";
        case StatusWord::kDrawerClosed:
            return "drawerClosed";
        case StatusWord::kDrawerOpen:
            return "drawerOpen";
        case StatusWord::kFeedButtonPressed:
            return "feedButtonPressed";
        case StatusWord::kFeedingByButton:
            return "feedingByButton";
        case StatusWord::kWaitingForRecovery:
            return "waitingForRecovery";
        case StatusWord::kStoppedByPaperEnd:
            return "stoppedByPaperEnd";
        case StatusWord::kMechanicalError:
            return "mechanicalError";
        case StatusWord::kCutterError:
            return "cutterError";
        case StatusWord::kUnrecoverableError:
            return "unrecoverableError";
        case StatusWord::kAutoRecoverableError:
            return "autoRecoverableError";
        case StatusWord::kError:
            return "error";
        case StatusWord::kInkNearEnd:
            return "inkNearEnd";
        case StatusWord::kInkOut:
            return "inkOut";
        case StatusWord::kWaitingForLabelRemoval:
            return "waitingForLabelRemoval";
    }
    return "";
}

bool PrinterIdentity::Apply(const Answer& answer) {
    if (answer.kind == Answer::Kind::kStatus && answer.bytes.size() == 1) {
        const std::uint8_t b = answer.bytes[0];
        switch (answer.request) {
            case Request::kModelId:
                modelId = b;
                return true;
            case Request::kTypeId:
                typeId = b;
                return true;
            case Request::kVersionId:
                versionId = b;
                return true;
            default:
                return false;
        }
    }
    if (answer.kind != Answer::Kind::kText)
        return false;
    // Only printable ASCII is taken as it stands.
    std::string text = answer.text;
    for (char& c : text)
        if (c < 0x20 || c > 0x7E)
            c = '?';
    switch (answer.request) {
        case Request::kFirmware:
            firmware = text;
            break;
        case Request::kMaker:
            maker = text;
            break;
        case Request::kModelName:
            modelName = text;
            break;
        case Request::kSerialNumber:
            serialNumber = text;
            break;
        case Request::kFonts:
            fonts = text;
            break;
        default:
            return false;
    }
    return true;
}

bool PrinterIdentity::Empty() const {
    return !modelId && !typeId && !versionId && !firmware && !maker && !modelName &&
           !serialNumber && !fonts;
}

}  // namespace quillon::escpos
