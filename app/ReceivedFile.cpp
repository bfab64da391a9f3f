#include "app/ReceivedFile.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cerrno>

#include "transport/platform/SafeFiles.h"

namespace quillon {

namespace {

QByteArray Stamp(const QDateTime& when) {
    return when.toString(QStringLiteral("yyyy-MM-dd..HH:mm:ss")).toLatin1() + "\r\n";
}

std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

}  // namespace

QString RecordFileName(int n) {
    return QStringLiteral("Rec%1.txt").arg(n, 2, 10, QLatin1Char('0'));
}

QString DefaultRecordFolder(const QString& programFolder) {
    if (access(QFile::encodeName(programFolder).constData(), W_OK | X_OK) == 0)
        return programFolder;
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) +
           QStringLiteral("/Quillon/");
}

QString MakeRecordFolder(const QString& folder) {
    // Taken as written: a name with backslashes, from a file of another system, is one name.
    QString absolute = QDir::current().absoluteFilePath(folder);
    if (!absolute.endsWith(u'/'))
        absolute += u'/';
    if (!QDir().mkpath(absolute))
        return {};
    if (access(QFile::encodeName(absolute).constData(), W_OK | X_OK) != 0)
        return {};
    return absolute;
}

RecordWrite WriteNewRecord(const QString& folder, const QDateTime& when, const QByteArray& data) {
    const QByteArray stamp = Stamp(when);
    for (int n = 0; n < kRecordFiles; ++n) {
        const QString name = RecordFileName(n);
        const std::string path = QFile::encodeName(folder + name).toStdString();
        const int error = CreateNewFile(path, {View(stamp), View(data)});
        if (error != EEXIST)
            return {name, error};
    }
    return {};
}

int ReplaceRecord(const QString& path, const QDateTime& when, const QByteArray& data) {
    return ReplaceFile(QFile::encodeName(path).toStdString(), {View(Stamp(when)), View(data)});
}

}  // namespace quillon
