#pragma once
// The six model test files, one per printer family: where they are found and how they are
// read. Every non-empty line is sent: a line with a double quote as its bytes, any other
// line as hexadecimal text.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

namespace quillon {

constexpr int kModelTestFiles = 6;
// A model file larger than this is refused instead of being read.
constexpr qint64 kMaxModelTestFileBytes = 4 * 1024 * 1024;
// A run sends a line, then waits this long before the next, so that a slow printer keeps up.
constexpr int kModelLinePauseMs = 30;
// Feeds the last printed line out of the printer once the file is through (hexadecimal).
constexpr char kModelClosingFeedHex[] = "0D 0A 0D 0A";

// The file name of a model index 0 to 5 ("POS热敏机型.txt", ...); empty for any other.
QString ModelTestFileName(int model);

// The path of a model file: in the current folder when it is there, else in the program's
// data folder; empty when neither has it.
QString FindModelTestFile(int model);

// One model file opened for a run, read a line at a time.
class ModelTestFile {
  public:
    // Opens path when it is a regular file of at most kMaxModelTestFileBytes; null when
    // it is missing, unreadable, not a regular file or too large.
    static std::unique_ptr<ModelTestFile> Open(const QString& path);

    // The next line with its trailing white space cut (so "" for an empty line); false at
    // the end of the file.
    bool NextLine(QByteArray& line);

  private:
    QFile file_;
};

// Whether a model file line goes out as its bytes (it holds a double quote) rather than as
// hexadecimal text.
bool IsModelTextLine(const QByteArray& line);

}  // namespace quillon
