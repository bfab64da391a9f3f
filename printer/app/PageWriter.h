#pragma once
// Writes drawn pages as PNG files on a thread of its own, so that encoding and writing one
// page overlaps drawing the next.

#include <QImage>
#include <QString>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "printer/Paper.h"
#include "printer/app/JobJournal.h"

namespace quillon {

class PageWriter {
  public:
    // `written` is called, from the writer's thread, after each page, written or not, with
    // its PNG and where it went or why it did not.
    PageWriter(QString dir, std::function<void(const DrawnPage&)> written);
    ~PageWriter();  // writes what is waiting, then stops
    PageWriter(const PageWriter&) = delete;
    PageWriter& operator=(const PageWriter&) = delete;

    static constexpr size_t kMaxWaiting = 64;

    // From any thread; waits while kMaxWaiting pages wait to be written.
    void Write(const printer::Page& page, QImage image);

  private:
    struct Waiting {
        int job;
        int part;
        QString name;
        QImage image;
    };
    void Run();
    // Through a temporary file of its own, so a reader never sees half a page and a symlink
    // planted in the folder is never written through.
    DrawnPage Save(const Waiting& page) const;

    const QString dir_;
    const std::function<void(const DrawnPage&)> written_;
    std::mutex lock_;
    std::condition_variable wake_;
    std::condition_variable room_;
    std::deque<Waiting> waiting_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace quillon
