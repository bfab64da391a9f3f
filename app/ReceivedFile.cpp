#include "app/ReceivedFile.h"

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace quillon {

QString RecordFileName(int n) {
    return QStringLiteral("Rec%1.txt").arg(n, 2, 10, QLatin1Char('0'));
}

QString FreeRecordName(const QString& folder) {
    for (int n = 0; n < kRecordFiles; ++n) {
        const QString name = RecordFileName(n);
        if (!QFileInfo::exists(folder + name))
            return name;
    }
    return {};
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

bool WriteRecordFile(const QString& path, const QDateTime& when, const QByteArray& data) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray stamp =
        when.toString(QStringLiteral("yyyy-MM-dd..HH:mm:ss")).toLatin1() + "\r\n";
    if (file.write(stamp) != stamp.size() || file.write(data) != data.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace quillon
