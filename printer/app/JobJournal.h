#pragma once
// The journal of the printer's jobs, for scripts that check what printed without reading a
// PNG: for each job the connection it came from, the bytes the printer took, the answers it
// sent meanwhile, the commands it did not understand, the state changes since the previous
// job and the pages it put out. A job's entry is finished once its last page has been drawn
// (and, headless, written); it is then appended as one JSON line to the journal file, if
// there is one, and kept among the recent jobs, with the page images of the last few jobs.
// Activity that prints nothing, such as a status check, is no job: what it did is
// forgotten at the job's end, except the state changes, which the next job lists.
// Every call may come from any thread.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QSize>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "printer/Paper.h"
#include "printer/VirtualPrinter.h"

namespace quillon {

// A page once drawn: its PNG, and where it was written (headless) or why it was not.
struct DrawnPage {
    int job = 0;
    int part = 0;
    QByteArray png;  // empty when it could not be encoded
    QSize size;
    QString file;   // empty when it is not written to a file
    QString error;  // why writing it failed
};

class JobJournal {
  public:
    static constexpr size_t kRecentJobs = 100;          // entries GET /api/jobs gives
    static constexpr size_t kImageJobs = 16;            // jobs whose page images are kept
    static constexpr qsizetype kImageBytes = 64 << 20;  // and at most this much PNG in all
    // Answers, commands, notes, state changes and pages listed in one entry; the rest are
    // counted in "<list>NotListed".
    static constexpr qsizetype kListed = 256;

    JobJournal() = default;
    ~JobJournal();
    JobJournal(const JobJournal&) = delete;
    JobJournal& operator=(const JobJournal&) = delete;

    // Appends each finished entry to `path` (made if missing); false with the reason when it
    // cannot be opened for writing.
    bool OpenFile(const std::string& path, std::string& error);
    // Told when the file cannot be written (once until it can again).
    void OnNote(std::function<void(const std::string&)> note);

    // The connection `id`: {"id":3,"kind":"tcp","port":9100,"peer":"127.0.0.1:40312"}.
    void Connected(int id, QJsonObject description);

    // From the printer session, as things happen to the printer. `bytesTaken` is the
    // printer's count of bytes carried out (VirtualPrinter::BytesTaken).
    void Feeding(int source);
    void Answered(int source, const uint8_t* bytes, size_t size);
    void StateChanged(const printer::PrinterState& before, const printer::PrinterState& after);
    void PageOut(const printer::Page& page, uint64_t bytesTaken);
    // The session ended the job; when nothing was printed there is no job to finish.
    void JobEnded(uint64_t bytesTaken);

    // From whoever draws and writes the pages, in the order they came out.
    void PageDrawn(const DrawnPage& page);
    void PageDropped(int job, int part);

    // The recent jobs' entries, oldest first.
    QJsonArray Recent() const;
    // The PNG of part `part` of `job`; false with the reason when there is none.
    bool Image(int job, int part, QByteArray& png, std::string& why) const;

  private:
    // A list that stops growing at kListed and counts on.
    struct Listed {
        QJsonArray items;
        long long count = 0;
        // `make` gives the item; it is called only while the list has room, so that a
        // client flooding the printer with requests costs the journal a count only.
        template <class Make>
        void Add(Make make) {
            if (items.size() < kListed)
                items.append(make());
            ++count;
        }
        void Into(QJsonObject& entry, const QString& name) const;
    };
    struct Job {
        int job = 0;
        int source = -1;  // the connection that sent its first byte; -1: none yet
        QString start;
        QString end;
        uint64_t firstByte = 0;  // the printer's byte count when it began
        uint64_t bytes = 0;
        Listed answers;
        Listed unknown;
        Listed notes;
        Listed states;
        std::vector<QJsonObject> pages;  // the first kListed parts
        int parts = 0;                   // that came out
        int partsDone = 0;               // drawn, or dropped
        bool ended = false;
    };

    Job* Find(int job);
    void PartDone(int job, int part, const QJsonObject& page);
    void Finish(Job& job);
    void Append(const QByteArray& line);
    void KeepImage(int job, int part, const QByteArray& png);

    mutable std::mutex lock_;
    Job open_;
    std::map<int, Job> ending_;  // ended, their pages still being drawn
    std::deque<QJsonObject> recent_;
    std::map<int, QJsonObject> connections_;
    std::map<std::pair<int, int>, QByteArray> images_;
    qsizetype imageBytes_ = 0;
    int lastDrawnJob_ = 0;
    int fd_ = -1;
    std::string path_;
    bool failing_ = false;
    std::function<void(const std::string&)> note_;
};

// Says what a connected socket is, for Connected.
QJsonObject DescribeSocket(int id, int fd);

}  // namespace quillon
