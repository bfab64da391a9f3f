#include "printer/app/JobJournal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonDocument>

#include <cerrno>
#include <cstring>

namespace quillon {
namespace {

// Connections described at most; the oldest descriptions go first.
constexpr size_t kConnections = 1024;
// The most of one answer shown, in bytes.
constexpr size_t kAnswerShown = 256;

QString Now() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

QString Hex(const uint8_t* bytes, size_t size) {
    const QByteArray shown(reinterpret_cast<const char*>(bytes),
                           static_cast<qsizetype>(std::min(size, kAnswerShown)));
    QString hex = QString::fromLatin1(shown.toHex(' ').toUpper());
    if (size > kAnswerShown)
        hex += QString(" ... (%1 bytes)").arg(size);
    return hex;
}

// The items of the state that differ, in the words of GET /api/status.
QJsonObject Changes(const printer::PrinterState& before, const printer::PrinterState& after) {
    QJsonObject changed{{"time", Now()}};
    if (before.coverOpen != after.coverOpen)
        changed["cover"] = after.coverOpen ? "open" : "closed";
    if (before.paperEnd != after.paperEnd || before.paperNearEnd != after.paperNearEnd)
        changed["paper"] = after.paperEnd ? "out" : after.paperNearEnd ? "near-end" : "ok";
    if (before.drawerOpen != after.drawerOpen)
        changed["drawer"] = after.drawerOpen ? "open" : "closed";
    if (before.Online() != after.Online())
        changed["online"] = after.Online();
    return changed;
}

}  // namespace

void JobJournal::Listed::Into(QJsonObject& entry, const QString& name) const {
    entry[name] = items;
    if (count > items.size())
        entry[name + "NotListed"] = static_cast<qint64>(count - items.size());
}

JobJournal::~JobJournal() {
    if (fd_ >= 0)
        close(fd_);
}

bool JobJournal::OpenFile(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot write the journal " + path + ": " + std::strerror(errno);
        return false;
    }
    std::lock_guard<std::mutex> hold(lock_);
    if (fd_ >= 0)
        close(fd_);
    fd_ = fd;
    path_ = path;
    return true;
}

void JobJournal::OnNote(std::function<void(const std::string&)> note) {
    std::lock_guard<std::mutex> hold(lock_);
    note_ = std::move(note);
}

void JobJournal::Connected(int id, QJsonObject description) {
    std::lock_guard<std::mutex> hold(lock_);
    connections_[id] = std::move(description);
    if (connections_.size() > kConnections)
        connections_.erase(connections_.begin()->first == 0 ? std::next(connections_.begin())
                                                            : connections_.begin());
}

void JobJournal::Feeding(int source) {
    std::lock_guard<std::mutex> hold(lock_);
    if (open_.source >= 0)
        return;
    open_.source = source;
    open_.start = Now();
}

void JobJournal::Answered(int source, const uint8_t* bytes, size_t size) {
    std::lock_guard<std::mutex> hold(lock_);
    open_.answers.Add([&] {
        return QJsonObject{{"connection", source}, {"hex", Hex(bytes, size)}};
    });
}

void JobJournal::StateChanged(const printer::PrinterState& before,
                              const printer::PrinterState& after) {
    std::lock_guard<std::mutex> hold(lock_);
    open_.states.Add([&] { return Changes(before, after); });
}

void JobJournal::PageOut(const printer::Page& page, uint64_t bytesTaken) {
    std::lock_guard<std::mutex> hold(lock_);
    open_.job = page.job;
    if (open_.start.isEmpty())
        open_.start = Now();
    for (const printer::Element& e : page.elements) {
        const auto* marker = std::get_if<printer::Marker>(&e);
        if (!marker)
            continue;
        // The model marks a command it does not know with "?" and its bytes.
        if (marker->text.starts_with("? "))
            open_.unknown.Add([&] { return QString::fromStdString(marker->text.substr(2)); });
        else
            open_.notes.Add([&] { return QString::fromStdString(marker->text); });
    }
    ++open_.parts;
    if (static_cast<qsizetype>(open_.pages.size()) < kListed)
        open_.pages.push_back(QJsonObject{{"part", page.part}});
    if (!page.jobEnd)
        return;
    open_.ended = true;
    open_.end = Now();
    open_.bytes = bytesTaken - open_.firstByte;
    const int job = open_.job;
    ending_[job] = std::move(open_);
    open_ = Job{};
    open_.firstByte = bytesTaken;
}

void JobJournal::JobEnded(uint64_t bytesTaken) {
    std::lock_guard<std::mutex> hold(lock_);
    if (open_.parts > 0)
        return;
    // Nothing printed: no job. Its state changes wait for the next one.
    Job next;
    next.firstByte = bytesTaken;
    next.states = std::move(open_.states);
    open_ = std::move(next);
}

void JobJournal::PageDrawn(const DrawnPage& page) {
    QJsonObject done{
        {"part", page.part}, {"width", page.size.width()}, {"height", page.size.height()}};
    if (!page.file.isEmpty())
        done["file"] = page.file;
    if (!page.error.isEmpty())
        done["error"] = page.error;
    std::lock_guard<std::mutex> hold(lock_);
    if (!page.png.isEmpty())
        KeepImage(page.job, page.part, page.png);
    lastDrawnJob_ = std::max(lastDrawnJob_, page.job);
    PartDone(page.job, page.part, done);
}

void JobJournal::PageDropped(int job, int part) {
    std::lock_guard<std::mutex> hold(lock_);
    lastDrawnJob_ = std::max(lastDrawnJob_, job);
    PartDone(job, part, QJsonObject{{"part", part}, {"error", "not drawn: drawing fell behind"}});
}

JobJournal::Job* JobJournal::Find(int job) {
    if (auto it = ending_.find(job); it != ending_.end())
        return &it->second;
    return open_.job == job ? &open_ : nullptr;
}

void JobJournal::PartDone(int job, int part, const QJsonObject& page) {
    Job* j = Find(job);
    if (!j)
        return;
    if (part >= 1 && part <= static_cast<int>(j->pages.size()))
        j->pages[static_cast<size_t>(part - 1)] = page;
    ++j->partsDone;
    if (j->ended && j->partsDone >= j->parts) {
        Finish(*j);
        ending_.erase(job);
    }
}

void JobJournal::Finish(Job& j) {
    QJsonObject entry{{"job", j.job},
                      {"start", j.start},
                      {"end", j.end},
                      {"bytesIn", static_cast<qint64>(j.bytes)}};
    if (j.source < 0) {
        entry["connection"] = QJsonValue::Null;
    } else {
        const auto known = connections_.find(j.source);
        entry["connection"] =
            known != connections_.end() ? known->second : QJsonObject{{"id", j.source}};
    }
    j.answers.Into(entry, "answers");
    j.unknown.Into(entry, "unknown");
    j.notes.Into(entry, "notes");
    j.states.Into(entry, "stateChanges");
    QJsonArray pages;
    for (const QJsonObject& page : j.pages)
        pages.append(page);
    entry["pages"] = pages;
    if (j.parts > static_cast<int>(j.pages.size()))
        entry["pagesNotListed"] = j.parts - static_cast<int>(j.pages.size());
    recent_.push_back(entry);
    if (recent_.size() > kRecentJobs)
        recent_.pop_front();
    if (fd_ >= 0)
        Append(QJsonDocument(entry).toJson(QJsonDocument::Compact) + "\n");
}

void JobJournal::Append(const QByteArray& line) {
    // One write per line on a file opened for appending: lines of two printers sharing a
    // journal do not mix.
    const ssize_t n = write(fd_, line.constData(), static_cast<size_t>(line.size()));
    if (n == line.size()) {
        if (failing_ && note_)
            note_("the journal " + path_ + " is written again");
        failing_ = false;
        return;
    }
    const std::string why = n < 0 ? std::strerror(errno) : "only part of a line was written";
    if (!failing_ && note_)
        note_("cannot write the journal " + path_ + ": " + why +
              "; jobs go unrecorded there until it can be written");
    failing_ = true;
}

void JobJournal::KeepImage(int job, int part, const QByteArray& png) {
    QByteArray& kept = images_[{job, part}];
    imageBytes_ += png.size() - kept.size();
    kept = png;
    // The oldest jobs go first, never the page just drawn.
    auto jobs = [this] {
        return images_.empty() ? 0
                               : images_.rbegin()->first.first - images_.begin()->first.first + 1;
    };
    while (images_.begin()->first.first != job &&
           (static_cast<size_t>(jobs()) > kImageJobs || imageBytes_ > kImageBytes)) {
        imageBytes_ -= images_.begin()->second.size();
        images_.erase(images_.begin());
    }
}

QJsonArray JobJournal::Recent() const {
    std::lock_guard<std::mutex> hold(lock_);
    QJsonArray jobs;
    for (const QJsonObject& entry : recent_)
        jobs.append(entry);
    return jobs;
}

bool JobJournal::Image(int job, int part, QByteArray& png, std::string& why) const {
    std::lock_guard<std::mutex> hold(lock_);
    const std::string name = "job " + std::to_string(job);
    if (const auto it = images_.find({job, part}); it != images_.end()) {
        png = it->second;
        return true;
    }
    if (job > lastDrawnJob_) {
        why = name + " has not been printed (yet)";
        return false;
    }
    const auto any = images_.lower_bound({job, 0});
    if (any != images_.end() && any->first.first == job) {
        why = name + " has no part " + std::to_string(part);
        return false;
    }
    if (!images_.empty() && job >= images_.begin()->first.first) {
        why = name + " has no image: it was not drawn";
        return false;
    }
    why = name + " is no longer kept: the page images of the last " + std::to_string(kImageJobs) +
          " jobs are";
    return false;
}

QJsonObject DescribeSocket(int id, int fd) {
    QJsonObject description{{"id", id}, {"kind", "tcp"}};
    sockaddr_in local{}, peer{};
    socklen_t size = sizeof local;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) == 0 &&
        local.sin_family == AF_INET)
        description["port"] = ntohs(local.sin_port);
    size = sizeof peer;
    char address[INET_ADDRSTRLEN] = {};
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &size) == 0 &&
        peer.sin_family == AF_INET && inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address))
        description["peer"] = QString("%1:%2").arg(address).arg(ntohs(peer.sin_port));
    return description;
}

}  // namespace quillon
