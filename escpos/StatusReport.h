#pragma once
// What a printer's answers say, item by item, and the words that tell it; and what its
// GS I answers say of the printer itself.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "escpos/AnswerDecoder.h"

namespace quillon::escpos {

// Every item stays unknown until an answer tells it; a later answer overrides an earlier one.
struct PrinterReport {
    std::optional<bool> online;
    std::optional<bool> coverOpen;
    std::optional<bool> drawerOpen;
    std::optional<bool> paperNearEnd;
    std::optional<bool> paperOut;
    std::optional<bool> feedButtonPressed;
    std::optional<bool> feedingByButton;
    std::optional<bool> waitingForRecovery;
    std::optional<bool> stoppedByPaperEnd;
    std::optional<bool> errorOccurred;
    std::optional<bool> mechanicalError;
    std::optional<bool> cutterError;
    std::optional<bool> unrecoverableError;
    std::optional<bool> autoRecoverableError;
    std::optional<bool> inkNearEnd[2];  // ink A, ink B
    std::optional<bool> inkOut[2];
    std::optional<bool> waitingForLabelRemoval;

    // Takes in what an answer says of the printer's state; false for one that says nothing
    // of it (GS I, XON / XOFF, undecoded bytes).
    bool Apply(const Answer& answer);
};

enum class StatusWord : std::uint8_t {
    kOnline,
    kOffline,
    kCoverClosed,
    kCoverOpen,
    kPaperOk,
    kPaperNearEnd,
    kPaperOut,
    kDrawerClosed,
    kDrawerOpen,
    kFeedButtonPressed,
    kFeedingByButton,
    kWaitingForRecovery,
    kStoppedByPaperEnd,
    kMechanicalError,
    kCutterError,
    kUnrecoverableError,
    kAutoRecoverableError,
    kError,
    kInkNearEnd,
    kInkOut,
    kWaitingForLabelRemoval,
};

// The words for what is known: the printer, its cover, paper and drawer, then what is amiss.
std::vector<StatusWord> Words(const PrinterReport& report);
// A short name for each word ("online", "coverOpen"), by which a window finds its text.
const char* WordName(StatusWord word);

struct PrinterIdentity {
    std::optional<std::uint8_t> modelId;
    std::optional<std::uint8_t> typeId;
    std::optional<std::uint8_t> versionId;
    std::optional<std::string> firmware;
    std::optional<std::string> maker;
    std::optional<std::string> modelName;
    std::optional<std::string> serialNumber;
    std::optional<std::string> fonts;

    // Takes in a GS I answer; false for any other.
    bool Apply(const Answer& answer);
    bool Empty() const;
};

// What the GS I 2 type byte says.
inline bool MultiByteCharacters(std::uint8_t typeId) {
    return typeId & 0x01;
}
inline bool HasAutocutter(std::uint8_t typeId) {
    return typeId & 0x02;
}

}  // namespace quillon::escpos
