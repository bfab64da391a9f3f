#include "printer/app/RenderWorker.h"

#include <sys/resource.h>
#include <unistd.h>

#include "printer/render/PageRenderer.h"

namespace quillon {

RenderWorker::RenderWorker(Drawn drawn, bool dropWhenBehind, Dropped dropped)
    : drawn_(std::move(drawn)), dropWhenBehind_(dropWhenBehind), dropped_(std::move(dropped)) {
    thread_ = std::thread([this] { Run(); });
}

RenderWorker::~RenderWorker() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void RenderWorker::Submit(printer::Page&& page) {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!dropWhenBehind_ || waiting_.size() < kMaxWaiting) {
            waiting_.push_back(std::move(page));
            wake_.notify_one();
            return;
        }
        ++skipped_;
    }
    if (dropped_)
        dropped_(page);
}

long long RenderWorker::Skipped() const {
    std::lock_guard<std::mutex> hold(lock_);
    return skipped_;
}

void RenderWorker::Run() {
    // Drawing gives way to receiving whenever the two compete for a processor.
    setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
    printer::PageRenderer renderer;
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;
        printer::Page page = std::move(waiting_.front());
        waiting_.pop_front();
        hold.unlock();
        const QImage image = renderer.Render(page);
        drawn_(page, image);
        hold.lock();
    }
}

}  // namespace quillon
