#include "printer/PageBuilder.h"

namespace quillon::printer {

PageBuilder::PageBuilder(int paperWidth, FontCells cells, std::function<void(Page&&)> done)
    : paperWidth_(paperWidth), cells_(cells), done_(std::move(done)) {}

void PageBuilder::Add(Element element, int height) {
    page_.elements.push_back(std::move(element));
    height_ += height;
    if (height_ >= kMaxPageDots || page_.elements.size() >= kMaxElements)
        Hand(false);
}

void PageBuilder::EndJob() {
    if (!Empty())
        Hand(true);
}

void PageBuilder::Hand(bool jobEnd) {
    page_.job = job_;
    page_.part = ++part_;
    page_.jobEnd = jobEnd;
    page_.paperWidth = paperWidth_;
    page_.cells = cells_;
    Page done = std::move(page_);
    page_ = Page{};
    height_ = 0;
    if (jobEnd) {
        ++job_;
        part_ = 0;
    }
    done_(std::move(done));
}

}  // namespace quillon::printer
