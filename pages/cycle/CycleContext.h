#pragma once
// What a cycle page shares with its workers. Owned jointly, so a worker still finishing a
// pass after its page has gone never touches freed memory.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "framework/Messages.h"  // header only, no Qt
#include "pages/cycle/CycleRunner.h"
#include "transport/TransportState.h"
#include "transport/platform/EventFd.h"

namespace quillon {

struct CycleContext {
    CycleContext(CycleKind kind, WindowRef page, WindowRef mainWindow, CycleTexts texts)
        : kind(kind),
          page(std::move(page)),
          mainWindow(std::move(mainWindow)),
          texts(std::move(texts)) {}

    const CycleKind kind;
    const WindowRef page;
    const WindowRef mainWindow;
    const CycleTexts texts;

    // The id of the worker a run is wanted from; 0 when none is.
    std::atomic<std::uint32_t> runId{0};
    // The page is gone: set once, with `cancel` signalled.
    std::atomic<bool> closed{false};
    EventFd cancel;
    // Network printers: a failed connection ends the run until one pass has been completed;
    // from then on, for the life of the page, it is recorded in the day file instead.
    std::atomic<bool> stopAtFailure{true};
    // One pass at a time: a worker started right after a stop waits for the stopped one to
    // finish its pass, so the two never open the same port at once.
    std::mutex passLock;

    // Guards what the window thread hands over; the window thread never waits on a worker
    // while it holds it, and a worker never sends a message while it holds it.
    std::mutex lock;
    std::condition_variable changed;
    CycleSettings settings;
    std::vector<CycleTarget> targets;
    // Single passes asked for while a run goes, oldest first, each with its own data.
    std::deque<CycleSettings> singlePasses;

    // The run still belongs to this worker and the page is still there.
    bool Wanted(std::uint32_t mine) const { return !closed && StillRunning(runId, mine); }
};

// What one pass sends, as the worker built it for this pass.
struct CyclePass {
    std::vector<std::uint8_t> buffer;  // count line and data bytes, or the data bytes alone
    std::vector<CycleTarget> targets;
    bool hex = false;
    bool chineseMode = false;
    bool onePass = true;
    int tcpPort = 9100;
};

// One pass over the targets in order. False when it ended at a target that could not be
// opened, or because the run was stopped or the page went. A target that did not take
// every byte is recorded in the day file with the count that went out, and is not served:
// a network page whose pass had one stays strict.
bool RunSerialPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass);
bool RunNetworkPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass);

// "%s" of a page text replaced by a port name or an address.
std::string WithName(const std::string& text, const std::string& name);

}  // namespace quillon
