#include "app/ModelTestFile.h"

#include <QDir>
#include <QFileInfo>

#include "transport/platform/Folders.h"

namespace quillon {

namespace {

bool IsTrailingBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

QString ModelTestFileName(int model) {
    static const char* const kNames[kModelTestFiles] = {
        "POS热敏机型.txt",  "POS针打机型.txt",  "便携热敏机型.txt",
        "便携针打机型.txt", "微打热敏机型.txt", "微打针打机型.txt",
    };
    if (model < 0 || model >= kModelTestFiles)
        return {};
    return QString::fromUtf8(kNames[model]);
}

QString FindModelTestFile(int model) {
    const QString name = ModelTestFileName(model);
    if (name.isEmpty())
        return {};
    for (const QString& folder :
         {QDir::currentPath() + u'/', QString::fromStdString(DataFolder())}) {
        // The first one that is there is the one used, whatever it turns out to be.
        if (QFileInfo::exists(folder + name))
            return folder + name;
    }
    return {};
}

std::unique_ptr<ModelTestFile> ModelTestFile::Open(const QString& path) {
    // A folder, a FIFO or a device would block or never end; a huge file is not a test.
    const QFileInfo info(path);
    if (path.isEmpty() || !info.isFile() || info.size() > kMaxModelTestFileBytes)
        return nullptr;
    auto file = std::make_unique<ModelTestFile>();
    file->file_.setFileName(path);
    if (!file->file_.open(QIODevice::ReadOnly))
        return nullptr;
    return file;
}

bool ModelTestFile::NextLine(QByteArray& line) {
    if (file_.atEnd())
        return false;
    line = file_.readLine(kMaxModelTestFileBytes + 1);
    // A line always has a byte, its line feed at least; nothing means the read failed.
    if (line.isEmpty())
        return false;
    qsizetype end = line.size();
    while (end > 0 && IsTrailingBlank(line[end - 1]))
        --end;
    line.truncate(end);
    return true;
}

bool IsModelTextLine(const QByteArray& line) {
    return line.contains('"');
}

}  // namespace quillon
