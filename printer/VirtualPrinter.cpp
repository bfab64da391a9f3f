#include "printer/VirtualPrinter.h"

namespace quillon::printer {

VirtualPrinter::VirtualPrinter(const PrinterOptions& options, AnswerSink answers, PageSink pages)
    : options_(options),
      answers_(std::move(answers)),
      pages_(std::move(pages)),
      model_(options.paperWidth, options.family, state_, *this),
      tokenizer_(model_),
      scanner_(*this) {}

void VirtualPrinter::Feed(const uint8_t* data, size_t size) {
    if (state_.Online() && held_.empty())
        tokenizer_.Feed(data, size);
    else
        held_.insert(held_.end(), data, data + size);
}

void VirtualPrinter::SetState(const PrinterState& state) {
    const PrinterState before = state_;
    state_ = state;
    if (ChangedItems(before, state_) & model_.AsbMask()) {
        const auto asb = AutomaticStatus(state_);
        answers_(asb.data(), asb.size());
    }
    if (state_.Online() && !held_.empty()) {
        std::vector<uint8_t> held;
        held.swap(held_);
        tokenizer_.Feed(held.data(), held.size());
    }
}

void VirtualPrinter::StatusRequest(int n) {
    const uint8_t answer = RealTimeStatus(state_, n);
    answers_(&answer, 1);
}

void VirtualPrinter::DrawerPulse(int pin, int onMs) {
    model_.MarkDrawerKick(pin, onMs);
    DrawerKicked();
}

void VirtualPrinter::DrawerKicked() {
    if (state_.drawerOpen)
        return;
    PrinterState opened = state_;
    opened.drawerOpen = true;
    SetState(opened);
}

}  // namespace quillon::printer
