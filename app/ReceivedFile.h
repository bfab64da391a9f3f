#pragma once
// Files of received data: "Rec00.txt" to "Rec99.txt" in a folder, each a time stamp line
// followed by the received bytes exactly as they came.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace quillon {

constexpr int kRecordFiles = 100;

// "Rec%02d.txt" of n.
QString RecordFileName(int n);
// The first of Rec00.txt to Rec99.txt that does not exist in folder ("/"-terminated);
// empty when all of them do.
QString FreeRecordName(const QString& folder);
// Where saves go until the user chooses a folder: the program's own folder while it can be
// written to, else the user's documents folder followed by "Quillon/" (an installed program's
// folder, such as /usr/bin/, is not the user's to write in). Made at the first save.
QString DefaultRecordFolder(const QString& programFolder);
// The folder as an absolute path ending in '/', made with every folder above it. Empty
// when it cannot be made or written to.
QString MakeRecordFolder(const QString& folder);
// "%Y-%m-%d..%H:%M:%S" CR LF of the local time, then the data. The old file of that name,
// if any, stays whole unless the new one was written completely.
bool WriteRecordFile(const QString& path, const QDateTime& when, const QByteArray& data);

}  // namespace quillon
