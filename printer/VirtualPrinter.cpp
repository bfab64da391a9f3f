#include "printer/VirtualPrinter.h"

#include <algorithm>

namespace quillon::printer {

VirtualPrinter::VirtualPrinter(const PrinterOptions& options, AnswerSink answers, PageSink pages)
    : options_(options),
      answers_(std::move(answers)),
      pages_(std::move(pages)),
      model_(options.geometry, options.family, state_, *this) {}

void VirtualPrinter::Scan(int source, const uint8_t* data, size_t size) {
    scanners_.try_emplace(source, RealTime()).first->second.Scan(data, size);
}

void VirtualPrinter::Feed(int source, const uint8_t* data, size_t size) {
    if (state_.Online() && held_.empty()) {
        FeedNow(source, data, size);
        return;
    }
    if (held_.empty() || held_.back().source != source || held_.back().end)
        held_.push_back(Held{source, {}});
    held_.back().bytes.insert(held_.back().bytes.end(), data, data + size);
    heldBytes_ += size;
}

void VirtualPrinter::FeedNow(int source, const uint8_t* data, size_t size) {
    tokenizers_.try_emplace(source, static_cast<TokenSink&>(*this)).first->second.Feed(data, size);
}

void VirtualPrinter::EndConnection(int source) {
    // A request in pieces ends at once; the command only in its place among the bytes.
    scanners_.erase(source);
    if (state_.Online() && held_.empty())
        tokenizers_.erase(source);
    else
        held_.push_back(Held{source, {}, true});
}

void VirtualPrinter::OnToken(const Token& token) {
    bytesTaken_ += token.declared > token.size ? token.declared : token.size;
    model_.OnToken(token);
}

void VirtualPrinter::SetState(const PrinterState& state, bool drawerByHand) {
    PrinterState next = state;
    if (drawerByHand || state.drawerOpen != state_.drawerOpen) {
        drawerHeld_ = state.drawerOpen;
        drawerShuts_ = Clock::time_point::max();
    } else {
        next.drawerOpen = state_.drawerOpen;
    }
    ApplyState(next);
}

void VirtualPrinter::Tick(Clock::time_point now) {
    if (now < drawerShuts_)
        return;
    drawerShuts_ = Clock::time_point::max();
    PrinterState shut = state_;
    shut.drawerOpen = false;
    ApplyState(shut);
}

void VirtualPrinter::ApplyState(const PrinterState& state) {
    const PrinterState before = state_;
    state_ = state;
    if (stateChanged_ && before != state_)
        stateChanged_(before, state_);
    if (ChangedItems(before, state_) & model_.AsbMask()) {
        const auto asb = AutomaticStatus(state_);
        answers_(asb.data(), asb.size());
    }
    if (state_.Online() && !held_.empty()) {
        std::deque<Held> held;
        held.swap(held_);
        heldBytes_ = 0;
        for (const Held& h : held) {
            if (h.end)
                tokenizers_.erase(h.source);
            else
                FeedNow(h.source, h.bytes.data(), h.bytes.size());
        }
    }
}

void VirtualPrinter::StatusRequest(int n) {
    const uint8_t answer = RealTimeStatus(state_, n);
    answers_(&answer, 1);
}

void VirtualPrinter::DrawerPulse(int pin, int onMs) {
    model_.MarkDrawerKick(pin, onMs);
    DrawerKicked(onMs);
}

void VirtualPrinter::DrawerKicked(int onMs) {
    if (drawerHeld_)
        return;
    // A second kick while it stands open keeps it open for the longer of the two.
    const auto shuts =
        Clock::now() + std::chrono::milliseconds(std::max(onMs, options_.drawerOpenMs));
    drawerShuts_ = drawerShuts_ == Clock::time_point::max() ? shuts : std::max(drawerShuts_, shuts);
    if (state_.drawerOpen)
        return;
    PrinterState opened = state_;
    opened.drawerOpen = true;
    ApplyState(opened);
}

}  // namespace quillon::printer
