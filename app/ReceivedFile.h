#pragma once
// Files of received data: "Rec00.txt" to "Rec99.txt" in a folder, each a time stamp line
// followed by the received bytes exactly as they came. A file is there complete or not at
// all, and a symlink standing at one of the names is never written through.

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace quillon {

constexpr int kRecordFiles = 100;

// "Rec%02d.txt" of n.
QString RecordFileName(int n);
// Where saves go until the user chooses a folder: the program's own folder while it can be
// written to, else the user's documents folder followed by "Quillon/" (an installed program's
// folder, such as /usr/bin/, is not the user's to write in). Made at the first save.
QString DefaultRecordFolder(const QString& programFolder);
// The folder as an absolute path ending in '/', made with every folder above it. Empty
// when it cannot be made or written to.
QString MakeRecordFolder(const QString& folder);

struct RecordWrite {
    QString name;   // the file's name in its folder; empty when every name is taken
    int error = 0;  // errno when the file could not be written
};
// Writes "%Y-%m-%d..%H:%M:%S" CR LF of the local time, then the data, into the first of
// Rec00.txt to Rec99.txt that nothing in folder ("/"-terminated) has the name of. The name
// is taken by creating the file, never by looking first.
RecordWrite WriteNewRecord(const QString& folder, const QDateTime& when, const QByteArray& data);
// The same record in place of the file at path, in one step: the old file stays whole unless
// the new one was written completely. 0, or errno.
int ReplaceRecord(const QString& path, const QDateTime& when, const QByteArray& data);

}  // namespace quillon
