#pragma once
// Gathers printed elements into pages: a page ends where a job ends (a cut, a pause in the
// data) or once it is long enough, so that an endless roll never grows without bound.

#include <cstdint>
#include <functional>

#include "printer/Paper.h"

namespace quillon::printer {

class PageBuilder {
  public:
    static constexpr int kMaxPageDots = 4000;  // about half a metre of paper
    static constexpr size_t kMaxElements = 2000;

    PageBuilder(int paperWidth, FontCells cells, std::function<void(Page&&)> done);
    // Adds an element expected to take about `height` dots of paper.
    void Add(Element element, int height);
    // Ends the job with what has been printed so far; nothing happens when nothing was.
    void EndJob();
    bool Empty() const { return page_.elements.empty(); }
    // The page being printed, not yet cut, and a number that changes whenever it does.
    const Page& Current() const { return page_; }
    uint64_t Version() const { return version_; }

  private:
    void Hand(bool jobEnd);

    int paperWidth_;
    FontCells cells_;
    std::function<void(Page&&)> done_;
    Page page_;
    int height_ = 0;
    int job_ = 1;
    int part_ = 0;
    uint64_t version_ = 0;
};

}  // namespace quillon::printer
