#pragma once
// Reading a file to send it whole: never waits on a source that has nothing to give (a
// FIFO, a device) and never reads more than a limit (a device such as /dev/zero never ends).

#include <QByteArray>
#include <QFile>
#include <QString>

namespace quillon {

// The most a file send takes: far beyond any print job, small enough to hold in memory.
constexpr qint64 kFileSendLimit = 256ll << 20;

struct FileReadResult {
    enum Outcome {
        kRead,        // bytes holds the whole file (possibly nothing)
        kOpened,      // a regular file of `size` bytes, open for reading as `fd`
        kCannotOpen,  // error holds the reason
        kFolder,
        kTooLarge,   // more than the limit, or a source that did not end before it
        kReadError,  // error holds the reason
    };
    Outcome outcome = kRead;
    QByteArray bytes;
    int error = 0;
    int fd = -1;  // kOpened: the caller reads and closes it
    qint64 size = 0;
};

// Reads the whole file. With leaveRegularOpen a regular file is only opened and checked
// against the limit, and the caller reads it as it goes; anything else is still read whole.
FileReadResult ReadFileToSend(const QString& path, bool leaveRegularOpen = false,
                              qint64 limit = kFileSendLimit);

}  // namespace quillon
