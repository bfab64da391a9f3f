#include "pages/cycle/CycleRunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>
#include <string_view>

#include "pages/cycle/CycleContext.h"
#include "transport/Conversions.h"
#include "transport/WorkerThreads.h"

namespace quillon {

namespace {

// "--->current count is: %d, time is: %s<---\n" with the local time of the pass.
std::string CountLine(int count) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char time[16];
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    char line[96];
    std::snprintf(line, sizeof line, "--->current count is: %d, time is: %s<---\n", count, time);
    return line;
}

// The data bytes of a run, built once when its worker starts; nothing when the text is
// not valid hexadecimal.
std::optional<std::vector<std::uint8_t>> DataBytes(const CycleSettings& settings) {
    const std::string& text = settings.dataText;
    if (!settings.dataValid)
        return std::nullopt;
    if (!settings.hex)
        return std::vector<std::uint8_t>(text.begin(), text.end());
    std::vector<std::uint8_t> bytes(text.size() + 1);
    const int count = HexTextToBytes(std::string_view(text), bytes.data());
    if (count < 0)
        return std::nullopt;
    bytes.resize(static_cast<std::size_t>(count));
    return bytes;
}

enum class AfterPass { kNextPass, kSinglePasses, kEnd };

// Pauses for the interval after a pass. A stop, the page going or a change to a single
// pass ends the pause at once, and single passes asked for meanwhile interrupt it; a new
// interval counts from the pause's start. Says whether the run goes on, and ends the
// worker's claim on the run when it does not (under the lock, so a start that comes in now
// either reaches this worker or starts a new one).
AfterPass PauseAndDecide(CycleContext& context, std::uint32_t mine, bool passCompleted,
                         std::chrono::steady_clock::time_point start) {
    std::unique_lock lock(context.lock);
    for (;;) {
        if (!context.closed && !context.singlePasses.empty())
            return AfterPass::kSinglePasses;
        if (!passCompleted || !context.Wanted(mine) || context.settings.onePass) {
            ClearRunId(context.runId, mine);
            return AfterPass::kEnd;
        }
        // At least a millisecond, so an interval of 0 cannot make the worker spin.
        const auto interval = std::chrono::milliseconds(std::max(1, context.settings.intervalMs));
        if (std::chrono::steady_clock::now() >= start + interval)
            return AfterPass::kNextPass;
        context.changed.wait_until(lock, start + interval);
    }
}

bool RunPass(CycleContext& context, std::uint32_t mine, const CyclePass& pass) {
    std::lock_guard passing(context.passLock);
    return context.kind == CycleKind::kSerial ? RunSerialPass(context, mine, pass)
                                              : RunNetworkPass(context, mine, pass);
}

// The single passes asked for while the run went, each with its own data and no count line.
void RunSinglePasses(CycleContext& context, std::uint32_t mine) {
    for (;;) {
        CycleSettings settings;
        CyclePass pass;
        {
            std::lock_guard lock(context.lock);
            if (context.closed || context.singlePasses.empty())
                return;
            settings = std::move(context.singlePasses.front());
            context.singlePasses.pop_front();
            pass.targets = context.targets;
        }
        const std::optional<std::vector<std::uint8_t>> data = DataBytes(settings);
        if (!data) {
            if (context.page && !context.closed)
                context.page->MessageBox(context.texts.hexFailed);
            continue;
        }
        pass.buffer = *data;
        pass.hex = settings.hex;
        pass.chineseMode = settings.chineseMode;
        pass.tcpPort = settings.tcpPort;
        RunPass(context, mine, pass);
    }
}

void CycleWorker(const std::shared_ptr<CycleContext>& shared, std::uint32_t mine) {
    CycleContext& context = *shared;
    CycleSettings settings;
    {
        std::lock_guard lock(context.lock);
        settings = context.settings;
        // A network run serves the printers ticked when it starts, and none is an empty run.
        if (context.kind == CycleKind::kNetwork && context.targets.empty()) {
            ClearRunId(context.runId, mine);
            return;
        }
    }
    if (!context.Wanted(mine))
        return;
    const std::optional<std::vector<std::uint8_t>> data = DataBytes(settings);
    if (!data) {
        if (!settings.onePass && context.mainWindow)
            context.mainWindow->SendMessage(UM_CYCLE_FAILED, 0, 0);
        if (context.page && !context.closed)
            context.page->MessageBox(context.texts.hexFailed);
        std::lock_guard lock(context.lock);
        ClearRunId(context.runId, mine);
        return;
    }
    int count = 0;
    for (;;) {
        CyclePass pass;
        {
            std::lock_guard lock(context.lock);
            pass.targets = context.targets;
            pass.hex = context.settings.hex;
            pass.chineseMode = context.settings.chineseMode;
            pass.onePass = context.settings.onePass;
            pass.tcpPort = context.settings.tcpPort;
        }
        if (!pass.onePass) {
            const std::string line = CountLine(++count);
            pass.buffer.assign(line.begin(), line.end());
        }
        pass.buffer.insert(pass.buffer.end(), data->begin(), data->end());
        const bool completed = RunPass(context, mine, pass);
        const auto pauseStart = std::chrono::steady_clock::now();
        for (;;) {
            const AfterPass next = PauseAndDecide(context, mine, completed, pauseStart);
            if (next == AfterPass::kEnd)
                return;
            if (next == AfterPass::kNextPass)
                break;
            RunSinglePasses(context, mine);
        }
    }
}

}  // namespace

CycleRunner::CycleRunner(CycleKind kind, WindowRef page, WindowRef mainWindow, CycleTexts texts)
    : context_(std::make_shared<CycleContext>(kind, std::move(page), std::move(mainWindow),
                                              std::move(texts))) {}

CycleRunner::~CycleRunner() {
    Shutdown();
}

void CycleRunner::SetTargets(std::vector<CycleTarget> targets) {
    std::lock_guard lock(context_->lock);
    context_->targets = std::move(targets);
}

void CycleRunner::Start(const CycleSettings& settings) {
    {
        std::lock_guard lock(context_->lock);
        if (context_->closed)
            return;
        // A run goes: a single pass waits for its turn between the run's passes.
        if (settings.onePass && context_->runId != 0) {
            context_->singlePasses.push_back(settings);
            context_->changed.notify_all();
            return;
        }
        context_->settings = settings;
        if (context_->runId == 0) {
            const std::shared_ptr<CycleContext> shared = context_;
            LaunchWorker(context_->runId, [shared](std::uint32_t id) { CycleWorker(shared, id); });
        }
    }
    context_->changed.notify_all();
}

void CycleRunner::Stop() {
    {
        std::lock_guard lock(context_->lock);
        context_->runId = 0;
    }
    context_->changed.notify_all();
}

void CycleRunner::Shutdown() {
    {
        std::lock_guard lock(context_->lock);
        context_->closed = true;
        context_->runId = 0;
    }
    context_->cancel.Signal();
    context_->changed.notify_all();
}

bool CycleRunner::Running() const {
    return context_->runId != 0;
}

bool CycleRunner::StopsAtFailure() const {
    return context_->stopAtFailure;
}

}  // namespace quillon
