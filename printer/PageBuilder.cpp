#include "printer/PageBuilder.h"

namespace quillon::printer {

PageBuilder::PageBuilder(int paperWidth, FontCells cells, std::function<void(Page&&)> done)
    : paperWidth_(paperWidth), cells_(cells), done_(std::move(done)) {
    page_.paperWidth = paperWidth_;
    page_.cells = cells_;
}

void PageBuilder::Add(Element element, int height) {
    page_.elements.push_back(std::move(element));
    ++version_;
    height_ += height;
    if (height_ >= kMaxPageDots || page_.elements.size() >= kMaxElements) {
        // So that an endless stream never grows one page without bound; said on the paper,
        // so that the break is not taken for a cut.
        page_.elements.push_back(Marker{"no cut yet: the page ends here and goes on"});
        Hand(false);
    }
}

void PageBuilder::EndJob() {
    if (!Empty())
        Hand(true);
}

void PageBuilder::Hand(bool jobEnd) {
    page_.job = job_;
    page_.part = ++part_;
    page_.jobEnd = jobEnd;
    Page done = std::move(page_);
    page_ = Page{};
    page_.paperWidth = paperWidth_;
    page_.cells = cells_;
    height_ = 0;
    ++version_;
    if (jobEnd) {
        ++job_;
        part_ = 0;
    }
    done_(std::move(done));
}

}  // namespace quillon::printer
