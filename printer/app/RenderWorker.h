#pragma once
// Draws finished pages on a thread of its own, so that receiving never waits for drawing.
// Whoever submits the pages bounds how many wait (the printer session stops taking data);
// or, when told to drop pages, the queue is bounded here and pages past the bound are counted
// as not drawn instead of piling up.

#include <QImage>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "printer/Paper.h"

namespace quillon {

class RenderWorker {
  public:
    static constexpr size_t kMaxWaiting = 64;
    using Drawn = std::function<void(const printer::Page& page, const QImage& image)>;

    using Dropped = std::function<void(const printer::Page& page)>;

    // `dropped` is told of each page not drawn because drawing fell behind.
    explicit RenderWorker(Drawn drawn, bool dropWhenBehind = false, Dropped dropped = {});
    ~RenderWorker();  // draws what is waiting, then stops
    RenderWorker(const RenderWorker&) = delete;
    RenderWorker& operator=(const RenderWorker&) = delete;

    // From any thread; never blocks for drawing.
    void Submit(printer::Page&& page);
    long long Skipped() const;

  private:
    void Run();

    Drawn drawn_;
    const bool dropWhenBehind_;
    Dropped dropped_;
    mutable std::mutex lock_;
    std::condition_variable wake_;
    std::deque<printer::Page> waiting_;
    long long skipped_ = 0;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace quillon
