#include "app/SettingsFile.h"

#include <iconv.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

#include "framework/NarrowText.h"
#include "transport/platform/Folders.h"

namespace quillon {

namespace {

const QByteArray kCharMarker = QByteArrayLiteral("SendData_ASC");
const QByteArray kHexMarker = QByteArrayLiteral("SendData_HEX");
const QString kFileName = QStringLiteral("Quillon.ini");
constexpr int kPositionalLines = 12;

// Bytes of another code page, through iconv; nothing when they do not convert.
std::optional<QString> FromCodePage(const QByteArray& bytes, const char* codePage) {
    iconv_t converter = iconv_open("UTF-8", codePage);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::nullopt;
    QByteArray in = bytes;
    QByteArray out(in.size() * 4 + 4, Qt::Uninitialized);
    char* inPtr = in.data();
    std::size_t inLeft = static_cast<std::size_t>(in.size());
    char* outPtr = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    const std::size_t result = iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(converter);
    if (result == static_cast<std::size_t>(-1) || inLeft != 0)
        return std::nullopt;
    out.truncate(static_cast<qsizetype>(outPtr - out.data()));
    return QString::fromUtf8(out);
}

// A file written by this program is UTF-8; one carried over from an older system holds
// its lines in the code page the printers are spoken to in.
QString DecodeLine(const QByteArray& line, Language language) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(line);
    if (!utf8.hasError())
        return text;
    if (auto narrow = FromCodePage(line, NarrowCodePage(language)))
        return *narrow;
    return text;  // what UTF-8 makes of it, with replacement characters
}

// Line breaks of a send text as CR LF, whichever form the text holds them in.
QString WithCrLf(const QString& text) {
    QString out;
    out.reserve(text.size() + text.size() / 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            out += u'\r';
        out += text[i];
    }
    return out;
}

// What a text-mode writer puts on disk: every line feed as CR LF.
QByteArray TextModeBytes(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace("\n", "\r\n");
    return bytes;
}

}  // namespace

QString SettingsFilePath() {
    const QString folder = QString::fromStdString(ConfigFolder());
    if (!QDir().mkpath(folder))
        return kFileName;
    if (access(QFile::encodeName(folder).constData(), W_OK) != 0)
        return kFileName;
    return folder + kFileName;
}

QByteArray FormatSettings(const SettingsText& settings) {
    QByteArray out;
    for (int i = 0; i < kPositionalLines; ++i) {
        out += TextModeBytes(i < settings.lines.size() ? settings.lines[i] : QString());
        out += "\r\n";
    }
    out += kCharMarker + "\r\n";
    out += TextModeBytes(WithCrLf(settings.charSendText)) + "\r\n";
    out += kHexMarker + "\r\n";
    out += TextModeBytes(WithCrLf(settings.hexSendText));
    return out;
}

SettingsText ParseSettings(const QByteArray& bytes, Language language) {
    SettingsText settings;
    QList<QByteArray> lines = bytes.split('\n');
    // A final line end ends the last line; it does not start another one.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    for (int i = 0; i < kPositionalLines && i < lines.size(); ++i)
        settings.lines << DecodeLine(lines[i], language);
    if (lines.size() <= kPositionalLines || lines[kPositionalLines] != kCharMarker)
        return settings;
    settings.hasSendTexts = true;
    QString* current = &settings.charSendText;
    for (qsizetype i = kPositionalLines + 1; i < lines.size(); ++i) {
        if (lines[i] == kHexMarker)
            current = &settings.hexSendText;
        else
            current->append(DecodeLine(lines[i], language));
    }
    // Each line of a multi-line text kept the CR of its CR CR LF: put the LF back.
    settings.charSendText.replace(u'\r', QStringLiteral("\r\n"));
    settings.hexSendText.replace(u'\r', QStringLiteral("\r\n"));
    return settings;
}

QByteArray ReadSettingsFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.read(kMaxSettingsBytes);
}

QString WriteSettingsFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    // flush() reports what the disk refused; commit() alone may not.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString error = file.errorString();
        file.cancelWriting();
        return error;
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

}  // namespace quillon
