#include "printer/app/PageWriter.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "printer/render/PageRenderer.h"
#include "transport/platform/SafeFiles.h"

namespace quillon {

PageWriter::PageWriter(QString dir, std::function<void(const DrawnPage&)> written)
    : dir_(std::move(dir)), written_(std::move(written)) {
    thread_ = std::thread([this] { Run(); });
}

PageWriter::~PageWriter() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PageWriter::Write(const printer::Page& page, QImage image) {
    const QString name =
        QString("job-%1-%2.png").arg(page.job, 4, 10, QChar('0')).arg(page.part, 2, 10, QChar('0'));
    {
        std::unique_lock<std::mutex> hold(lock_);
        room_.wait(hold, [this] { return waiting_.size() < kMaxWaiting; });
        waiting_.push_back({page.job, page.part, name, std::move(image)});
    }
    wake_.notify_one();
}

void PageWriter::Run() {
    std::unique_lock<std::mutex> hold(lock_);
    for (;;) {
        wake_.wait(hold, [this] { return stopping_ || !waiting_.empty(); });
        if (waiting_.empty())
            return;
        const Waiting page = std::move(waiting_.front());
        waiting_.pop_front();
        hold.unlock();
        room_.notify_one();
        const DrawnPage saved = Save(page);
        if (written_)
            written_(saved);
        hold.lock();
    }
}

DrawnPage PageWriter::Save(const Waiting& page) const {
    DrawnPage saved{page.job, page.part, printer::EncodePng(page.image), page.image.size(), {}, {}};
    const QString file = dir_ + "/" + page.name;
    const std::string path = QFile::encodeName(file).toStdString();
    if (saved.png.isEmpty()) {
        saved.error = "cannot encode the page as PNG";
        std::cerr << "quillon-printer: cannot encode " << path << " as PNG\n";
        return saved;
    }
    const std::string_view bytes(saved.png.constData(), static_cast<size_t>(saved.png.size()));
    int error = ReplaceFile(path, {bytes});
    // A folder removed while the printer runs (a script cleaning up between runs) is made again.
    if (error == ENOENT && QDir().mkpath(dir_))
        error = ReplaceFile(path, {bytes});
    if (error) {
        saved.error = QString::fromLocal8Bit(std::strerror(error));
        std::cerr << "quillon-printer: cannot write " << path << ": " << std::strerror(error)
                  << "\n";
    } else {
        saved.file = file;
    }
    return saved;
}

}  // namespace quillon
